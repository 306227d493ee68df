#include "import/invoiceview.h"

#include "data/error.h"
#include "data/paramconvert.h"
#include "data/tdm.h"
#include "import/resolution.h"
#include "mapping/codes.h"
#include "mapping/header.h"
#include "mapping/invoicedocument.h"
#include "mapping/rows.h"

#include <functional>

namespace eschf {

namespace {

const QString kNotLookedUp = QStringLiteral("не ищется");
const QString kItemElement = QStringLiteral("roster/rosterItem");

ViewCell plain(QString text)
{
    return {std::move(text), false};
}

ViewCell marked(QString text)
{
    return {std::move(text), true};
}

// A read of the invoice that fails shows its reason in its cell instead of stopping the view.
ViewCell readCell(const std::function<QString()>& read)
{
    try {
        return plain(read());
    } catch (const Error& e) {
        return marked(e.message());
    }
}

ViewCell textCell(const XmlElement& element)
{
    return readCell([&element] { return element.text(); });
}

ViewCell trimmedCell(const XmlElement& element)
{
    return readCell([&element] { return element.text().trimmed(); });
}

QString safeText(const XmlElement& element)
{
    try {
        return element.text();
    } catch (const Error&) {
        return QString();
    }
}

// A lookup of the directory that could not run: a run's uncommitted rows it would have had to wait
// for are said as such.
ViewCell lookupFailure(const Error& e)
{
    if (e.lockTimedOut())
        return marked(QStringLiteral("не проверено: идёт загрузка, база занята ею; откройте ещё раз после "
                                     "загрузки"));
    return marked(QStringLiteral("не проверено: ") + e.message());
}

// The directory's answer for a party: the organisation, the redirection applied, or "не найден".
QList<ViewCell> resolutionCells(const std::function<Resolution()>& resolve, const QString& whenMissing)
{
    try {
        const Resolution found = resolve();
        if (!found.id)
            return {marked(whenMissing), plain(found.searched)};
        QString text = QStringLiteral("организация %1").arg(*found.id);
        if (found.redirected)
            text += QStringLiteral(" (код филиала %1 перенаправлен на %2)")
                        .arg(found.redirected->first)
                        .arg(found.redirected->second);
        return {plain(text), plain(found.searched)};
    } catch (const Error& e) {
        return {lookupFailure(e), plain(QString())};
    }
}

// The view's lookups wait briefly for a run's locks, then say so; the connection waits as before
// afterwards (the branch redirection window shares it).
class ShortLockWait
{
public:
    explicit ShortLockWait(TDM& dm) : m_dm(dm)
    {
        try {
            m_dm.setLockWait(kViewLockWaitMs);
        } catch (const Error&) {
            // The lookups then fail with the connection's own message, each in its cell.
        }
    }
    ~ShortLockWait()
    {
        try {
            m_dm.setLockWait(-1);
        } catch (const Error&) {
            // A connection that fails here fails the next statement with its own message.
        }
    }
    ShortLockWait(const ShortLockWait&) = delete;
    ShortLockWait& operator=(const ShortLockWait&) = delete;

private:
    TDM& m_dm;
};

QString documentTypeWords(const QString& keyword)
{
    switch (codes::DocumentTypeCode(keyword)) {
    case 1:
        return QStringLiteral("исходная");
    case 2:
        return QStringLiteral("дополнительная");
    case 3:
        return QStringLiteral("исправленная");
    case 4:
        return QStringLiteral("дополнительная без ссылки на ЭСЧФ");
    default:
        return QStringLiteral("неизвестный вид");
    }
}

// A decimal as the data module stores it in a decimal(18,3) column, in thousandths; nothing when
// the import would refuse it.
std::optional<qint64> thousandths(const QString& written, QString* problem)
{
    const ParamDecl decl{QStringLiteral("value"), ParamType::Decimal, 18, 3, true};
    try {
        const QString canonical = convertParam(QStringLiteral("view"), decl, decimalText(written)).toString();
        bool ok = false;
        const qint64 value = QString(canonical).remove(u'.').toLongLong(&ok);
        if (ok)
            return value;
    } catch (const ParamRefused& e) {
        *problem = e.problem();
    }
    return std::nullopt;
}

QString decimalWords(qint64 value)
{
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    const qint64 magnitude = value < 0 ? -value : value;
    return sign + QString::number(magnitude / 1000) + u'.' +
           QStringLiteral("%1").arg(magnitude % 1000, 3, 10, QLatin1Char('0'));
}

class ViewBuilder
{
public:
    ViewBuilder(TDM& dm, const QString& ownUnn, InvoiceView& view, const XmlElement& root)
        : m_resolver(dm, ownUnn), m_dm(dm), m_view(view), m_root(root)
    {
        m_sender = readCell([this] { return m_root.attribute(u"sender"); });
        m_additional = safeText(m_root.at(u"general/documentType")) == u"ADDITIONAL";
        m_own = !m_sender.marked && m_sender.text == m_resolver.ownUnn();
    }

    void build()
    {
        buildHead();
        buildParties();
        buildItems();
        buildDocument();
    }

private:
    void addRow(ViewTable& table, const QString& element, QList<ViewCell> cells)
    {
        table.rowElements.append(element);
        table.rows.append(std::move(cells));
    }
    void addField(ViewTable& table, const QString& label, const QString& element, ViewCell value)
    {
        addRow(table, element, {plain(label), std::move(value)});
    }

    // Asked once: the initial invoice's row and the provider's both show it.
    const QList<ViewCell>& additionalSender()
    {
        if (!m_additionalSender)
            m_additionalSender = resolutionCells(
                [this] { return m_resolver.resolveAdditionalSender(m_root, m_sender.text); },
                QStringLiteral("не найден: ни у одной организации с этим УНП нет исходной ЭСЧФ"));
        return *m_additionalSender;
    }

    void buildHead();
    void buildInitialInvoice();
    void buildParties();
    void addParty(const QString& role, const QString& element, const XmlElement& party,
                  QList<ViewCell> found);
    void buildItems();
    void buildTotals(const QList<std::optional<qint64>>& sums);
    void buildDocument();
    void buildAccountingDocument(const XmlElement& document);

    OrganisationResolver m_resolver;
    TDM& m_dm;
    InvoiceView& m_view;
    const XmlElement& m_root;
    ViewCell m_sender;
    bool m_additional = false;
    bool m_own = false;
    std::optional<QList<ViewCell>> m_additionalSender;
};

void ViewBuilder::buildHead()
{
    ViewTable& head = m_view.head;
    head.title = QStringLiteral("ЭСЧФ");
    head.columns = {QStringLiteral("Поле"), QStringLiteral("Значение")};
    const XmlElement general = m_root.child(u"general");
    addField(head, QStringLiteral("Номер ЭСЧФ"), QStringLiteral("general/number"),
             textCell(general.child(u"number")));
    addField(head, QStringLiteral("Вид"), QStringLiteral("general/documentType"), readCell([&general] {
                 const QString keyword = general.child(u"documentType").text();
                 return QStringLiteral("%1 (%2, код %3)")
                     .arg(documentTypeWords(keyword), keyword)
                     .arg(codes::DocumentTypeCode(keyword));
             }));
    addField(head, QStringLiteral("Дата выставления"), QStringLiteral("general/dateIssuance"),
             textCell(general.child(u"dateIssuance")));
    addField(head, QStringLiteral("Дата совершения операции"), QStringLiteral("general/dateTransaction"),
             textCell(general.child(u"dateTransaction")));
    addField(head, QStringLiteral("Дата аннулирования"), QStringLiteral("general/dateCancelled"),
             textCell(general.child(u"dateCancelled")));
    if (m_additional || general.child(u"invoice").present())
        buildInitialInvoice();
    addField(head, QStringLiteral("Своя ЭСЧФ"), QString(),
             plain(m_own ? QStringLiteral("да: отправитель — своя организация") : QStringLiteral("нет")));
    const XmlElement contract = m_root.at(u"deliveryCondition/contract");
    addField(head, QStringLiteral("Номер договора"), QStringLiteral("deliveryCondition/contract/number"),
             trimmedCell(contract.child(u"number")));
    addField(head, QStringLiteral("Дата договора"), QStringLiteral("deliveryCondition/contract/date"),
             textCell(contract.child(u"date")));
}

// Both rows stand for general/invoice; the one that says whether it is stored comes last, so that
// a failure about the initial invoice selects it.
void ViewBuilder::buildInitialInvoice()
{
    const QString element = QStringLiteral("general/invoice");
    addField(m_view.head, QStringLiteral("Исходная ЭСЧФ"), element, textCell(m_root.at(u"general/invoice")));
    if (!m_additional)
        return;
    ViewCell stored;
    if (m_sender.marked) {
        stored = marked(QStringLiteral("не проверено: нет УНП отправителя"));
    } else {
        stored = additionalSender().front();
        if (stored.marked && !stored.text.startsWith(QStringLiteral("не проверено")))
            stored.text = QStringLiteral("не найдена в базе");
        else if (!stored.marked)
            stored.text = QStringLiteral("хранится в базе у ") + stored.text;
    }
    addField(m_view.head, QStringLiteral("Исходная ЭСЧФ в базе"), element, stored);
}

void ViewBuilder::addParty(const QString& role, const QString& element, const XmlElement& party,
                           QList<ViewCell> found)
{
    QList<ViewCell> cells{plain(role), textCell(party.child(u"unp")), textCell(party.child(u"branchCode")),
                          textCell(party.child(u"name")), textCell(party.child(u"address"))};
    cells.append(std::move(found));
    addRow(m_view.parties, element, std::move(cells));
}

void ViewBuilder::buildParties()
{
    ViewTable& parties = m_view.parties;
    parties.title = QStringLiteral("Стороны");
    parties.columns = {QStringLiteral("Сторона"),     QStringLiteral("УНП"),
                       QStringLiteral("Код филиала"), QStringLiteral("Наименование"),
                       QStringLiteral("Адрес"),       QStringLiteral("В справочнике"),
                       QStringLiteral("Как искали")};
    parties.columnElements = {QString(), QStringLiteral("unp"), QStringLiteral("branchCode"),
                              QStringLiteral("name"), QStringLiteral("address")};
    parties.explainingColumn = 5;
    const QString notForAdditional = QStringLiteral("не ищется у дополнительной ЭСЧФ");

    addRow(parties, QString(),
           {plain(QStringLiteral("Отправитель")), m_sender, plain(QString()), plain(QString()),
            plain(QString()), plain(QStringLiteral("—")),
            plain(QStringLiteral("по этому УНП ищется поставщик"))});

    const XmlElement provider = m_root.child(u"provider");
    QList<ViewCell> providerFound;
    if (m_sender.marked) {
        providerFound = {marked(QStringLiteral("не проверено: нет УНП отправителя")), plain(QString())};
    } else if (m_additional) {
        providerFound = additionalSender();
    } else {
        providerFound =
            resolutionCells([this] { return m_resolver.resolveOrdinarySender(m_root, m_sender.text); },
                            QStringLiteral("не найден"));
    }
    addParty(QStringLiteral("Поставщик"), QStringLiteral("provider"), provider, providerFound);

    const struct
    {
        const char16_t* element;
        QString role;
    } agents[] = {{u"provider/principal", QStringLiteral("Комитент")},
                  {u"provider/vendor", QStringLiteral("Продавец")}};
    for (const auto& agent : agents) {
        const XmlElement party = m_root.at(agent.element);
        if (!party.present())
            continue;
        const QString unn = taxpayerText(safeText(party.child(u"number")));
        QList<ViewCell> found{plain(notForAdditional), plain(QString())};
        if (!m_additional)
            found = resolutionCells([this, &unn] { return m_resolver.resolveByUnn(unn); },
                                    QStringLiteral("не найден: в ЭСЧФ будет пусто"));
        addRow(parties, QString::fromUtf16(agent.element),
               QList<ViewCell>{plain(agent.role), plain(unn), plain(QString()),
                               textCell(party.child(u"number")), plain(QString())} +
                   found);
    }

    const XmlElement recipient = m_root.child(u"recipient");
    QList<ViewCell> recipientFound{plain(notForAdditional), plain(QString())};
    if (!m_additional)
        recipientFound = resolutionCells([this] { return m_resolver.resolveRecipient(m_root); },
                                         QStringLiteral("не найден"));
    addParty(QStringLiteral("Получатель"), QStringLiteral("recipient"), recipient, recipientFound);

    const QString notLookedUp = kNotLookedUp + QStringLiteral(" при загрузке");
    for (const XmlElement& consignor : m_root.at(u"senderReceiver/consignors").children(u"consignor"))
        addParty(QStringLiteral("Грузоотправитель"), QStringLiteral("senderReceiver/consignors/consignor"),
                 consignor, {plain(notLookedUp), plain(QString())});
    bool first = true;
    for (const XmlElement& consignee : m_root.at(u"senderReceiver/consignees").children(u"consignee")) {
        QList<ViewCell> found{plain(notLookedUp), plain(QString())};
        if (first && m_own)
            found = resolutionCells([this] { return m_resolver.resolveConsignee(m_root); },
                                    QStringLiteral("не найден: в документ запишется 0"));
        else if (first)
            found = {plain(QStringLiteral("не ищется: ЭСЧФ не своя")), plain(QString())};
        first = false;
        addParty(QStringLiteral("Грузополучатель"), QStringLiteral("senderReceiver/consignees/consignee"),
                 consignee, found);
    }
}

void ViewBuilder::buildItems()
{
    ViewTable& items = m_view.items;
    items.title = QStringLiteral("Позиции");
    items.explainingColumn = 0;
    items.columns = {QStringLiteral("Позиция"),      QStringLiteral("Номер"),
                     QStringLiteral("Наименование"), QStringLiteral("Код"),
                     QStringLiteral("Код ОКЭД"),     QStringLiteral("Ед. изм."),
                     QStringLiteral("Количество"),   QStringLiteral("Цена"),
                     QStringLiteral("Стоимость"),    QStringLiteral("Акциз"),
                     QStringLiteral("Ставка НДС"),   QStringLiteral("Вид ставки"),
                     QStringLiteral("НДС"),          QStringLiteral("Стоимость с НДС"),
                     QStringLiteral("Описания")};
    items.columnElements = {QString(),
                            QStringLiteral("number"),
                            QStringLiteral("name"),
                            QStringLiteral("code"),
                            QStringLiteral("code_oced"),
                            QStringLiteral("units"),
                            QStringLiteral("count"),
                            QStringLiteral("price"),
                            QStringLiteral("cost"),
                            QStringLiteral("summaExcise"),
                            QStringLiteral("vat/rate"),
                            QStringLiteral("vat/rateType"),
                            QStringLiteral("vat/summaVat"),
                            QStringLiteral("costVat"),
                            QStringLiteral("descriptions")};

    // The sums of cost, excise, VAT and cost with VAT; nothing once an item's value is not a number.
    QList<std::optional<qint64>> sums(4, qint64(0));
    const char16_t* const summed[] = {u"cost", u"summaExcise", u"vat/summaVat", u"costVat"};
    int position = 0;
    for (const XmlElement& item : m_root.child(u"roster").children(u"rosterItem")) {
        ++position;
        QList<ViewCell> cells{plain(QString::number(position))};
        for (qsizetype column = 1; column < items.columnElements.size() - 1; ++column)
            cells.append(textCell(item.at(items.columnElements.at(column))));
        cells[2] = trimmedCell(item.child(u"name"));
        for (int s = 0; s < 4; ++s) {
            // An absent excise is no excise; the other three the import requires.
            if (s == 1 && !item.at(summed[s]).present())
                continue;
            ViewCell& cell = cells[items.columnElements.indexOf(QString::fromUtf16(summed[s]))];
            QString problem;
            const std::optional<qint64> value = cell.marked ? std::nullopt : thousandths(cell.text, &problem);
            if (value) {
                if (sums[s])
                    *sums[s] += *value;
            } else {
                sums[s].reset();
                cell.marked = true;
                if (!problem.isEmpty())
                    cell.text = QStringLiteral("«%1» — %2").arg(cell.text, problem);
            }
        }
        QStringList descriptions;
        for (const XmlElement& description : item.child(u"descriptions").children(u"description"))
            descriptions.append(safeText(description));
        cells.append(plain(descriptions.join(QStringLiteral(", "))));
        addRow(items, kItemElement, std::move(cells));
    }
    buildTotals(sums);
}

void ViewBuilder::buildTotals(const QList<std::optional<qint64>>& sums)
{
    ViewTable& totals = m_view.totals;
    totals.title = QStringLiteral("Итоги");
    totals.columns = {QStringLiteral("Итог"), QStringLiteral("В ЭСЧФ"), QStringLiteral("Сумма позиций"),
                      QStringLiteral("Разница")};
    const XmlElement roster = m_root.child(u"roster");
    const struct
    {
        const char16_t* attribute;
        QString label;
    } rows[] = {{u"totalCost", QStringLiteral("Стоимость")},
                {u"totalExcise", QStringLiteral("Акциз")},
                {u"totalVat", QStringLiteral("НДС")},
                {u"totalCostVat", QStringLiteral("Стоимость с НДС")}};
    for (int s = 0; s < 4; ++s) {
        ViewCell written = readCell([&roster, &rows, s] { return roster.attribute(rows[s].attribute); });
        QString problem;
        const std::optional<qint64> total =
            written.marked ? std::nullopt : thousandths(written.text, &problem);
        if (!total && !written.marked) {
            written.marked = true;
            written.text = QStringLiteral("«%1» — %2").arg(written.text, problem);
        }
        const ViewCell sum = sums[s] ? plain(decimalWords(*sums[s])) : marked(QStringLiteral("—"));
        ViewCell difference = plain(QString());
        if (total && sums[s]) {
            const qint64 delta = *total - *sums[s];
            difference = delta == 0 ? plain(QStringLiteral("нет")) : marked(decimalWords(delta));
        }
        addRow(totals, QStringLiteral("roster/@") + QString::fromUtf16(rows[s].attribute),
               {plain(rows[s].label), written, sum, difference});
    }
}

void ViewBuilder::buildDocument()
{
    ViewTable& table = m_view.document;
    table.title = QStringLiteral("Документ для сверки");
    table.columns = {QStringLiteral("Поле"), QStringLiteral("Значение")};
    const QString documentsPath = QStringLiteral("deliveryCondition/contract/documents");
    const bool matchable = HeaderMapping::hasDocumentToMatch(m_root);
    ViewCell check = plain(QStringLiteral("есть"));
    if (!matchable)
        check = m_additional ? plain(QStringLiteral("нет (дополнительной ЭСЧФ он не нужен)"))
                             : marked(QStringLiteral("нет: ЭСЧФ не загрузится"));
    addField(table, QStringLiteral("Документ для сверки"), documentsPath, check);

    const std::vector<XmlElement> documents = m_root.at(documentsPath).children(u"document");
    if (documents.empty())
        return;
    const XmlElement& document = documents.front();
    const QString path = documentsPath + QStringLiteral("/document/");
    addField(table, QStringLiteral("Код вида документа"), path + QStringLiteral("docType/code"),
             textCell(document.at(u"docType/code")));
    addField(table, QStringLiteral("Дата"), path + QStringLiteral("date"), textCell(document.child(u"date")));
    addField(table, QStringLiteral("Код бланка"), path + QStringLiteral("blankCode"),
             trimmedCell(document.child(u"blankCode")));
    addField(table, QStringLiteral("Серия"), path + QStringLiteral("seria"),
             trimmedCell(document.child(u"seria")));
    addField(table, QStringLiteral("Номер"), path + QStringLiteral("number"),
             textCell(document.child(u"number")));
    addField(table, QStringLiteral("Номер для сверки"), path + QStringLiteral("number"),
             readCell([&document] { return normalisedDocNumber(document.child(u"number").text()); }));
    buildAccountingDocument(document);
}

// Only an own invoice's document is matched with the accounting system's, as the import does.
void ViewBuilder::buildAccountingDocument(const XmlElement& document)
{
    const QString label = QStringLiteral("Документ учёта");
    if (!m_own) {
        addField(m_view.document, label, QString(), plain(QStringLiteral("не ищется: ЭСЧФ не своя")));
        return;
    }
    ViewCell found;
    try {
        const int kind =
            ownDocumentKind(codes::DocumentTypeCode(safeText(m_root.at(u"general/documentType"))));
        const XmlElement date = document.child(u"date");
        const std::optional<QVariant> kodSkl =
            findAccountingDocument(m_dm, normalisedDocNumber(document.child(u"number").text()), kind,
                                   date.present() ? QVariant(shortDate(date.text())) : QVariant());
        if (!kodSkl)
            found = plain(QStringLiteral("не найден: kodSkl останется пустым"));
        else if (kodSkl->isNull())
            found = plain(QStringLiteral("найден, kodSkl пуст"));
        else
            found = plain(QStringLiteral("найден, kodSkl %1").arg(kodSkl->toString()));
    } catch (const Error& e) {
        found = lookupFailure(e);
    }
    addField(m_view.document, label, QString(), found);
}

bool underElement(const QString& element, const QString& ancestor)
{
    return !ancestor.isEmpty() &&
           (element == ancestor || (element.startsWith(ancestor) && element.at(ancestor.size()) == u'/'));
}

std::optional<ViewPlace> placeIn(const ViewTable& table, ViewSection section, const ValuePlace& place)
{
    int best = -1;
    for (int row = 0; row < table.rowElements.size(); ++row) {
        const QString& element = table.rowElements.at(row);
        if (underElement(place.element, element) &&
            (best < 0 || element.size() >= table.rowElements.at(best).size()))
            best = row;
    }
    if (best < 0)
        return std::nullopt;
    const QString& rowElement = table.rowElements.at(best);
    const QString below = place.element.mid(rowElement.size() + 1);
    const qsizetype column = below.isEmpty() ? -1 : table.columnElements.indexOf(below);
    return ViewPlace{section, best, column > 0 ? int(column) : table.explainingColumn};
}

void appendTable(QString& text, const ViewTable& table, ViewSection section,
                 const std::optional<ViewPlace>& selected)
{
    if (table.rows.isEmpty())
        return;
    text += u'\n' + table.title + u'\n';
    for (int row = 0; row < table.rows.size(); ++row) {
        const QList<ViewCell>& cells = table.rows.at(row);
        const bool here = selected && selected->section == section && selected->row == row;
        QStringList parts;
        for (int column = 0; column < cells.size(); ++column) {
            const ViewCell& cell = cells.at(column);
            if (cell.text.isEmpty())
                continue;
            const QString mark = cell.marked ? QStringLiteral("!") : QString();
            // Two columns are a field and its value; wider tables name every value.
            if (table.columns.size() == 2 || column == 0)
                parts.append(mark + cell.text);
            else
                parts.append(table.columns.at(column) + QStringLiteral(": ") + mark + cell.text);
        }
        text += (here ? QStringLiteral("» ") : QStringLiteral("  ")) +
                parts.join(table.columns.size() == 2 ? QStringLiteral(": ") : QStringLiteral("; ")) + u'\n';
    }
}

} // namespace

const ViewTable& InvoiceView::table(ViewSection section) const
{
    return const_cast<InvoiceView*>(this)->table(section);
}

ViewTable& InvoiceView::table(ViewSection section)
{
    switch (section) {
    case ViewSection::Head:
        break;
    case ViewSection::Parties:
        return parties;
    case ViewSection::Items:
        return items;
    case ViewSection::Totals:
        return totals;
    case ViewSection::Document:
        return document;
    }
    return head;
}

std::optional<ViewPlace> viewPlaceOf(const InvoiceView& view, const ValuePlace& place)
{
    if (place.item > 0 && place.element.startsWith(kItemElement + u'/')) {
        if (place.item > view.items.rows.size())
            return std::nullopt;
        const qsizetype column =
            view.items.columnElements.indexOf(place.element.mid(kItemElement.size() + 1));
        return ViewPlace{ViewSection::Items, place.item - 1,
                         column > 0 ? int(column) : view.items.explainingColumn};
    }
    for (const ViewSection section :
         {ViewSection::Head, ViewSection::Parties, ViewSection::Totals, ViewSection::Document}) {
        if (const std::optional<ViewPlace> found = placeIn(view.table(section), section, place))
            return found;
    }
    return std::nullopt;
}

InvoiceView readInvoiceView(TDM& dm, const QString& ownUnn, const QString& filePath,
                            std::optional<FileResult> result)
{
    InvoiceView view;
    view.filePath = filePath;
    view.result = std::move(result);
    InvoiceDocument doc;
    try {
        doc.load(filePath);
    } catch (const Error& e) {
        view.unreadable = e.message();
        return view;
    }
    {
        const ShortLockWait wait(dm);
        const XmlElement root = doc.root();
        ViewBuilder(dm, ownUnn, view, root).build();
    }
    if (view.result && view.result->place)
        view.selected = viewPlaceOf(view, *view.result->place);
    if (view.selected) {
        ViewTable& table = view.table(view.selected->section);
        table.rows[view.selected->row][view.selected->column].marked = true;
    }
    return view;
}

QString invoiceViewText(const InvoiceView& view)
{
    QString text = QStringLiteral("Файл: %1\n").arg(view.filePath);
    if (view.result) {
        text += QStringLiteral("Итог: %1 — %2\n")
                    .arg(outcomeLetter(view.result->outcome), outcomeWords(*view.result));
        if (!view.result->reason.isEmpty())
            text += QStringLiteral("Причина: %1\n").arg(view.result->reason);
    }
    if (!view.unreadable.isEmpty())
        return text + QStringLiteral("ЭСЧФ не читается: %1\n").arg(view.unreadable);
    for (const ViewSection section : {ViewSection::Head, ViewSection::Parties, ViewSection::Items,
                                      ViewSection::Totals, ViewSection::Document})
        appendTable(text, view.table(section), section, view.selected);
    return text;
}

} // namespace eschf
