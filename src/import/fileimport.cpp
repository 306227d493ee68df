#include "import/fileimport.h"

#include "data/error.h"
#include "data/fileaccess.h"
#include "data/tdm.h"
#include "import/resolution.h"
#include "mapping/header.h"
#include "mapping/invoicedocument.h"
#include "mapping/rows.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace eschf {

namespace {

const QString kLoaded = QStringLiteral("Загружен в базу - удалён");
const QString kAlreadyThere = QStringLiteral("Уже существует - удалён");
const QString kWouldLoad = QStringLiteral("Будет загружен");
const QString kAlreadyStored = QStringLiteral("Уже есть в базе");
const QString kNotFound = QStringLiteral(" - Не найдено организации с УНП - ");
const QString kBranch = QStringLiteral(" - Код филиала(доп УНП) - ");

QString reasonOf(const std::exception& e)
{
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->message();
    return QString::fromLocal8Bit(e.what());
}

// The invoice key texts, set once the sender organisation is known.
struct KeyTexts
{
    QString id;
    QString year;
    QString sequence;
};

// The party as the invoice gives it; unp is the number its lookup searched with.
MissingParty missingParty(const QString& role, const XmlElement& party, const QString& unp)
{
    return {role, unp, party.child(u"branchCode").text(), party.child(u"name").text(),
            party.child(u"address").text()};
}

} // namespace

QString outcomeLetter(Outcome outcome)
{
    return QString(QChar(u'A' + static_cast<int>(outcome)));
}

QString outcomeWords(const FileResult& result)
{
    const bool check = result.mode == RunMode::Check;
    switch (result.outcome) {
    case Outcome::A:
        return QStringLiteral("Не найдена исходная ЭСЧФ");
    case Outcome::B:
        return QStringLiteral("Не найден поставщик");
    case Outcome::C:
        return QStringLiteral("Нет документа для сверки");
    case Outcome::D:
        return QStringLiteral("Не найден получатель");
    case Outcome::E:
        return check ? QStringLiteral("Будет загружен, файл будет удалён")
                     : QStringLiteral("Загружен, файл удалён");
    case Outcome::F:
        return check ? QStringLiteral("Уже в базе, файл будет удалён")
                     : QStringLiteral("Уже был в базе, файл удалён");
    case Outcome::G:
        return check ? QStringLiteral("Будет загружен, но файл не удастся удалить")
                     : QStringLiteral("Загружен, файл не удалён");
    case Outcome::H:
        return check ? QStringLiteral("Ошибка после определения поставщика, файл останется")
                     : QStringLiteral("Ошибка после определения поставщика, файл оставлен");
    case Outcome::I:
        break;
    }
    return check ? QStringLiteral("Ошибка, файл останется") : QStringLiteral("Ошибка, файл оставлен");
}

Counter counterOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::E:
        return Counter::Loaded;
    case Outcome::F:
        return Counter::Skipped;
    case Outcome::G:
    case Outcome::H:
        return Counter::None;
    case Outcome::A:
    case Outcome::B:
    case Outcome::C:
    case Outcome::D:
    case Outcome::I:
        break;
    }
    return Counter::Error;
}

struct FileImporter::Private
{
    TDM& dm;
    InvoiceDocument& doc;
    OrganisationResolver resolver;
    HeaderMapping header;
    bool updateOld;
    RunMode mode;
    const std::atomic<bool>* cancel = nullptr;
    DocumentSource* source = nullptr;

    // State of the file in progress.
    QString path;
    QString number; // general/number, once the file is read
    std::optional<KeyTexts> key;
    bool inTransaction = false;
    // Update-old removed the stored copy within this file's transaction: a failure brings it back.
    bool removedStoredCopy = false;

    Private(TDM& dm, InvoiceDocument& doc, QString ownUnn, bool updateOld, RunMode mode)
        : dm(dm), doc(doc), resolver(dm, std::move(ownUnn)), header(dm, resolver), updateOld(updateOld),
          mode(mode)
    {
    }

    bool checking() const { return mode == RunMode::Check; }

    void checkCancel() const
    {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw ImportCancelled{};
    }

    void beginTransaction()
    {
        if (!inTransaction) {
            if (checking())
                dm.savepoint();
            else
                dm.transaction();
            inTransaction = true;
        }
    }

    void commit()
    {
        if (checking())
            dm.releaseSavepoint();
        else
            dm.commit();
        inTransaction = false;
    }

    void rollback()
    {
        if (inTransaction) {
            inTransaction = false;
            if (checking())
                dm.rollbackToSavepoint();
            else
                dm.rollback();
        }
    }

    // An outcome that ends the file before anything is kept (A to D): whatever the file began
    // in the database is undone.
    FileResult endWith(Outcome outcome, QString lineText, QString reason, const char16_t* element,
                       std::optional<MissingParty> party = std::nullopt)
    {
        rollback();
        FileResult result{outcome, std::move(lineText), std::move(reason)};
        result.party = std::move(party);
        result.place = ValuePlace{QString::fromUtf16(element)};
        return result;
    }

    FileResult importFile();
    void loadFile();
    FileResult handleFailure(const QString& reason);
    bool removeFile(QString* why) const;
    // A check's stand-in for removeFile: whether a run could delete the file.
    bool mayRemoveFile(QString* why) const;
    bool fileGoes(QString* why) const { return checking() ? mayRemoveFile(why) : removeFile(why); }
};

bool FileImporter::Private::mayRemoveFile(QString* why) const
{
    QString obstacle;
    if (mayDeleteFile(path, &obstacle))
        return true;
    *why = QStringLiteral("Файл не удастся удалить после загрузки: %1").arg(obstacle);
    return false;
}

void FileImporter::Private::loadFile()
{
    if (source)
        source->load(doc, path);
    else
        doc.load(path);
}

bool FileImporter::Private::removeFile(QString* why) const
{
    if (source)
        source->removing(path);
    QString error;
    // Gone already (another operator's run took it): what the deletion was for holds.
    if (deleteFile(path, &error) || !QFileInfo::exists(path))
        return true;
    *why = QStringLiteral("Не удалось удалить файл: %1").arg(error);
    return false;
}

FileResult FileImporter::Private::importFile()
{
    loadFile();
    const XmlElement root = doc.root();
    const QString sender = root.attribute(u"sender");
    checkCancel();

    dm.InvoicesInsert.setAllNull();
    dm.RosterInsert.setAllNull();
    dm.DocumentsInsert.setAllNull();

    const XmlElement general = root.child(u"general");
    number = general.child(u"number").text();
    const bool additional = general.child(u"documentType").text() == u"ADDITIONAL";

    const std::optional<int> senderId =
        additional ? resolver.additionalSender(root, sender) : resolver.ordinarySender(root, sender);
    const XmlElement provider = root.child(u"provider");
    if (!senderId) {
        if (additional) {
            return endWith(Outcome::A,
                           number + QStringLiteral(" - Не найдена исходная ЭСЧФ - ") +
                               general.child(u"invoice").text(),
                           QStringLiteral("Исходная ЭСЧФ не найдена в базе"), u"general/invoice",
                           missingParty(QStringLiteral("исходная ЭСЧФ"), provider, sender));
        }
        return endWith(Outcome::B,
                       number + kNotFound + provider.child(u"unp").text() + kBranch +
                           provider.child(u"branchCode").text(),
                       QStringLiteral("Поставщик не найден в справочнике организаций"), u"provider",
                       missingParty(QStringLiteral("поставщик"), provider, sender));
    }

    key = KeyTexts{QString::number(*senderId), yearText(number), sequenceText(number)};
    checkCancel();

    if (updateOld) {
        beginTransaction();
        Statement& remove = dm.DeleteInvoice;
        remove.setParam(u"idSender", key->id);
        remove.setParam(u"compilingyear", key->year);
        remove.setParam(u"number", key->sequence);
        remove.exec();
        removedStoredCopy = remove.numRowsAffected() > 0;
    }

    header.fillGeneral(root, *senderId, key->year, key->sequence);
    if (!additional) {
        if (!HeaderMapping::hasDocumentToMatch(root)) {
            return endWith(
                Outcome::C,
                QStringLiteral("У ЭСЧФ - ") + number + QStringLiteral(" - нет документа для сверки."),
                QStringLiteral("В ЭСЧФ нет документа для сверки"), u"deliveryCondition/contract/documents");
        }
        header.fillProvider(root);
        if (!header.fillRecipient(root)) {
            const XmlElement recipient = root.child(u"recipient");
            return endWith(
                Outcome::D,
                number + kNotFound + recipient.child(u"unp").text() + kBranch +
                    recipient.child(u"branchCode").text(),
                QStringLiteral("Получатель не найден в справочнике организаций"), u"recipient",
                missingParty(QStringLiteral("получатель"), recipient, recipient.child(u"unp").text()));
        }
    }
    header.fillTotals(root);
    checkCancel();

    beginTransaction();
    dm.InvoicesInsert.exec();
    writeItems(dm, root);
    checkCancel();
    writeDocument(dm, resolver, root, sender == resolver.ownUnn(), additional);

    Statement& complete = dm.UpdateAsComplete;
    complete.setParam(u"idSender", dm.InvoicesInsert.param(u"idSender"));
    complete.setParam(u"compilingYear", yearText(number));
    complete.setParam(u"number", sequenceText(number));
    complete.exec();
    checkCancel();
    if (!dm.databaseStillThere())
        throw Error(QStringLiteral("Файл базы данных удалён или заменён во время загрузки"));
    // The file goes only once its invoice is on disk.
    commit();

    QString why;
    if (!fileGoes(&why))
        return {Outcome::G, path, why};
    return {Outcome::E, checking() ? kWouldLoad : kLoaded, QString()};
}

FileResult FileImporter::Private::handleFailure(const QString& reason)
{
    rollback();
    if (!key)
        return {Outcome::I, path, reason};
    // The copy found complete now is the one this file was to replace: the file is the correction.
    if (removedStoredCopy)
        return {Outcome::H, path, reason};

    Statement& check = dm.Check;
    bool ok = false;
    const qlonglong sequence = key->sequence.toLongLong(&ok);
    if (!ok)
        throw Error(QStringLiteral("Номер ЭСЧФ \"%1\" не является целым числом").arg(key->sequence));
    check.close();
    check.setParam(u"idSen", key->id);
    check.setParam(u"Year", key->year);
    check.setParam(u"numb", sequence);
    check.open();
    const bool complete = !check.eof() && check.field(u"completed").toBool();
    check.close();
    if (!complete)
        return {Outcome::H, path, reason};

    QString why;
    if (!fileGoes(&why))
        return {Outcome::H, path, reason + QStringLiteral("; ") + why};
    return {Outcome::F, checking() ? kAlreadyStored : kAlreadyThere, QString()};
}

FileImporter::FileImporter(TDM& dm, InvoiceDocument& doc, QString ownUnn, bool updateOld, RunMode mode)
    : d(std::make_unique<Private>(dm, doc, std::move(ownUnn), updateOld, mode))
{
}

FileImporter::~FileImporter() = default;

void FileImporter::setCancelFlag(const std::atomic<bool>* cancel)
{
    d->cancel = cancel;
}

void FileImporter::setDocumentSource(DocumentSource* source)
{
    d->source = source;
}

FileResult FileImporter::importFile(const QString& path)
{
    FileResult result = importOne(path);
    result.invoiceNumber = d->number;
    result.mode = d->mode;
    return result;
}

FileResult FileImporter::importOne(const QString& path)
{
    d->path = path;
    d->number.clear();
    d->key.reset();
    d->inTransaction = false;
    d->removedStoredCopy = false;
    QString reason;
    std::optional<ValuePlace> place;
    try {
        return d->importFile();
    } catch (const ImportCancelled&) {
        try {
            d->rollback();
        } catch (const std::exception&) {
            // The run is ending; an open transaction dies with the connection.
        }
        throw;
    } catch (const Error& e) {
        reason = e.message();
        place = e.place();
    } catch (const std::exception& e) {
        reason = reasonOf(e);
    } catch (...) {
        reason = QStringLiteral("Неизвестная ошибка");
    }
    try {
        FileResult result = d->handleFailure(reason);
        if (!result.reason.isEmpty())
            result.place = place;
        return result;
    } catch (const std::exception& e) {
        // Whether the invoice is stored cannot be told: the file stays and counts as failed.
        return {Outcome::I, path, reason + QStringLiteral("; ") + reasonOf(e)};
    }
}

} // namespace eschf
