#include "import/resolution.h"

#include "data/error.h"
#include "data/tdm.h"
#include "mapping/header.h"
#include "mapping/invoicedocument.h"

#include <limits>
#include <vector>

namespace eschf {

namespace {

const QString kSelectLine = QStringLiteral("Select idPredpr from tbPredpr");
const QString kOwnRows = QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and ");

// A branch code as it may enter a statement: ASCII digits with an optional sign and nothing else,
// within the range of DopUNN. Anything else (hex, letters, blanks inside, an empty text) is refused,
// so no text of the file's making reaches the SQL.
enum class WholeNumber
{
    Ok,
    NotWhole,
    OutOfRange,
};

WholeNumber readWholeNumber(QStringView text, int* value)
{
    qsizetype i = 0;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-'))
        ++i;
    if (i == text.size())
        return WholeNumber::NotWhole;
    for (qsizetype k = i; k < text.size(); ++k) {
        if (text[k] < u'0' || text[k] > u'9')
            return WholeNumber::NotWhole;
    }
    bool ok = false;
    const qint64 number = text.toLongLong(&ok, 10);
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return WholeNumber::OutOfRange;
    *value = static_cast<int>(number);
    return WholeNumber::Ok;
}

// The branch code of a party ("поставщика", "получателя") as a number, or an Error naming both.
int branchNumber(QStringView text, const QString& written, const QString& party, const QString& element)
{
    int value = 0;
    switch (readWholeNumber(text, &value)) {
    case WholeNumber::Ok:
        return value;
    case WholeNumber::NotWhole:
        break;
    case WholeNumber::OutOfRange:
        throw Error(QStringLiteral("Код филиала %1 \"%2\" вне допустимого диапазона").arg(party, written),
                    ValuePlace{element});
    }
    throw Error(QStringLiteral("Код филиала %1 \"%2\" не является целым числом").arg(party, written),
                ValuePlace{element});
}

QString unnText(const QString& unn)
{
    return QStringLiteral("УНП «%1»").arg(unn);
}

QString branchWhereLine(int branchCode)
{
    return kOwnRows + QStringLiteral("DopUNN=") + QString::number(branchCode) + QStringLiteral(" and UNN=");
}

// Runs an organisation query whose text and parameters are set, and gives the first row's id.
std::optional<int> firstId(Statement& query)
{
    query.open();
    std::optional<int> id;
    if (!query.eof())
        id = query.field(u"idPredpr").toInt();
    query.close();
    return id;
}

// Runs SelectVariousPredprs with the where-line given and gives the first row's id.
std::optional<int> firstOrganisation(Statement& query, const QString& whereLine)
{
    query.close();
    query.setText({kSelectLine, whereLine});
    return firstId(query);
}

Error lookupFailed(const QString& what, const Error& cause)
{
    Error failed(what + QStringLiteral(": ") + cause.message(), cause.place());
    if (cause.lockTimedOut())
        failed.markLockTimedOut();
    return failed;
}

// The branch code a redirection (sender, code) puts instead; nothing when there is none.
std::optional<int> redirectedBranch(TDM& dm, const QString& sender, const QString& branch, int code)
{
    QVariant newCode;
    bool found = false;
    try {
        Statement& query = dm.qSelectInvPredpr;
        query.close();
        query.setParam(u"unn", sender);
        query.setParam(u"dopUnn", code);
        query.open();
        found = !query.eof();
        if (found)
            newCode = query.field(u"newDopUnn");
        query.close();
    } catch (const Error& e) {
        throw lookupFailed(
            QStringLiteral("Перенаправление кода филиала поставщика \"%1\" (УНП \"%2\")").arg(branch, sender),
            e);
    }
    if (!found)
        return std::nullopt;
    // An empty new code would leave a where-line the database refuses; say so before it gets there.
    if (newCode.isNull())
        throw Error(
            QStringLiteral("Для кода филиала поставщика \"%1\" (УНП \"%2\") в перенаправлениях не задан "
                           "новый код")
                .arg(branch, sender),
            ValuePlace{QStringLiteral("provider/branchCode")});
    const QString newText = newCode.toString();
    int value = 0;
    if (readWholeNumber(newText, &value) != WholeNumber::Ok)
        throw Error(
            QStringLiteral("Новый код филиала \"%1\" для кода \"%2\" поставщика (УНП \"%3\") не является "
                           "целым числом")
                .arg(newText, branch, sender),
            ValuePlace{QStringLiteral("provider/branchCode")});
    return value;
}

} // namespace

QString quoted(const QString& text)
{
    QString inner = text;
    inner.replace(u'\'', QStringLiteral("''"));
    return u'\'' + inner + u'\'';
}

OrganisationResolver::OrganisationResolver(TDM& dm, QString ownUnn) : m_dm(dm), m_ownUnn(std::move(ownUnn)) {}

Resolution OrganisationResolver::resolveOrdinarySender(const XmlElement& root, const QString& sender)
{
    const XmlElement branchElement = root.at(u"provider/branchCode");
    const QString written = branchElement.present() ? branchElement.text() : QString();

    Resolution found;
    QString whereLine = kOwnRows + QStringLiteral("(DopUNN=1 or DopUNN is NULL) and UNN=");
    found.searched = unnText(sender) + QStringLiteral(", филиал 1 или без кода филиала");
    if (!written.isEmpty()) {
        QString branch = written.trimmed();
        int value = branchNumber(branch, written, QStringLiteral("поставщика"),
                                 QStringLiteral("provider/branchCode"));
        if (const std::optional<int> redirected = redirectedBranch(m_dm, sender, branch, value)) {
            found.redirected = std::pair{value, *redirected};
            value = *redirected;
            branch = QString::number(value);
        }
        // The text decides between the two forms, as it always has; only the number enters the SQL.
        if (branch != u"1") {
            whereLine = branchWhereLine(value);
            found.searched = unnText(sender) + QStringLiteral(", код филиала %1").arg(value);
        }
    }

    try {
        found.id = firstOrganisation(m_dm.SelectVariousPredprs, whereLine + quoted(sender));
        return found;
    } catch (const Error& e) {
        throw lookupFailed(
            QStringLiteral("Поиск поставщика с УНП \"%1\", код филиала \"%2\"").arg(sender, written), e);
    }
}

Resolution OrganisationResolver::resolveAdditionalSender(const XmlElement& root, const QString& sender)
{
    const QString initial = root.at(u"general/invoice").text();
    Resolution found;
    found.searched = unnText(sender) +
                     QStringLiteral(", любой филиал, у которого хранится исходная ЭСЧФ «%1»").arg(initial);
    try {
        // Every candidate is read before FindOriginal runs: a connection without multiple active
        // result sets cannot run one statement while another still holds unread rows.
        Statement& candidates = m_dm.SelectVariousPredprs;
        candidates.close();
        candidates.setText(
            {kSelectLine,
             QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and UNN=") + quoted(sender)});
        candidates.open();
        std::vector<int> ids;
        for (; !candidates.eof(); candidates.next())
            ids.push_back(candidates.field(u"idPredpr").toInt());
        candidates.close();

        Statement& findOriginal = m_dm.FindOriginal;
        for (const int id : ids) {
            findOriginal.close();
            findOriginal.setParam(u"idSender", id);
            findOriginal.setParam(u"compilingYear", yearText(initial));
            findOriginal.setParam(u"Number", sequenceText(initial));
            findOriginal.open();
            const bool stored = !findOriginal.eof();
            findOriginal.close();
            if (stored) {
                found.id = id;
                break;
            }
        }
        return found;
    } catch (const Error& e) {
        throw lookupFailed(
            QStringLiteral("Поиск исходной ЭСЧФ \"%1\" поставщика с УНП \"%2\"").arg(initial, sender), e);
    }
}

Resolution OrganisationResolver::resolveByUnn(const QString& unn)
{
    try {
        Statement& query = m_dm.SelPredprByUnn;
        query.close();
        query.setParam(u"UNN", unn);
        return {firstId(query), unnText(unn) + QStringLiteral(", любой филиал"), std::nullopt};
    } catch (const Error& e) {
        throw lookupFailed(QStringLiteral("Поиск организации с УНП \"%1\"").arg(unn), e);
    }
}

Resolution OrganisationResolver::resolveRecipient(const XmlElement& root)
{
    const QString unn = root.at(u"recipient/unp").text();
    const XmlElement branchElement = root.at(u"recipient/branchCode");
    const QString written = branchElement.present() ? branchElement.text() : QString();

    Resolution found;
    QString whereLine;
    if (!written.isEmpty()) {
        // Blanks around the code are allowed (they never changed what the statement meant); the
        // code itself must be a plain whole number.
        const int branch = branchNumber(QStringView(written).trimmed(), written, QStringLiteral("получателя"),
                                        QStringLiteral("recipient/branchCode"));
        whereLine = branchWhereLine(branch);
        found.searched = unnText(unn) + QStringLiteral(", код филиала %1").arg(branch);
    } else {
        const bool ownDefault8000 = m_ownUnn == u"100200300" || m_ownUnn == u"200300400";
        const QString defaultBranch = ownDefault8000 ? QStringLiteral("8000") : QStringLiteral("1");
        whereLine = kOwnRows + QStringLiteral("(DopUNN=") + defaultBranch +
                    QStringLiteral(" or DopUNN is NULL) and UNN=");
        found.searched = unnText(unn) + QStringLiteral(", филиал %1 или без кода филиала").arg(defaultBranch);
    }

    try {
        found.id = firstOrganisation(m_dm.SelectVariousPredprs, whereLine + quoted(unn));
        return found;
    } catch (const Error& e) {
        throw lookupFailed(
            QStringLiteral("Поиск получателя с УНП \"%1\", код филиала \"%2\"").arg(unn, written), e);
    }
}

Resolution OrganisationResolver::resolveConsignee(const XmlElement& root)
{
    const QString unn = root.at(u"senderReceiver/consignees/consignee/unp").text();
    try {
        return {firstOrganisation(m_dm.SelectVariousPredprs, QStringLiteral("where UNN=") + quoted(unn)),
                unnText(unn) + QStringLiteral(", любой филиал"), std::nullopt};
    } catch (const Error& e) {
        throw lookupFailed(QStringLiteral("Поиск грузополучателя с УНП \"%1\"").arg(unn), e);
    }
}

} // namespace eschf
