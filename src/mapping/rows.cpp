#include "mapping/rows.h"

#include "data/error.h"
#include "data/tdm.h"
#include "mapping/codes.h"
#include "mapping/header.h"
#include "mapping/invoicedocument.h"
#include "mapping/partylookup.h"

#include <QMetaType>

namespace eschf {

namespace {

const QString kIdSender = QStringLiteral("idSender");
const QString kCompilingYear = QStringLiteral("compilingYear");
const QString kNumber = QStringLiteral("number");

// Every later row of an invoice carries the key exactly as the header got it.
void copyInvoiceKey(TDM& dm, Statement& to)
{
    for (const QString& name : {kIdSender, kCompilingYear, kNumber})
        to.setParam(name, dm.InvoicesInsert.param(name));
}

QVariant textOrNull(const XmlElement& element)
{
    return element.present() ? QVariant(element.text()) : QVariant();
}

QVariant decimalOrNull(const XmlElement& element)
{
    return element.present() ? QVariant(decimalText(element.text())) : QVariant();
}

// Every parameter but the invoice key, which writeItems sets once for all the rows of an invoice.
// position: the item's place in the roster, from 1.
void fillItem(TDM& dm, const XmlElement& item, int position)
{
    Statement& roster = dm.RosterInsert;
    const auto set = [&roster, position](QStringView name, const QVariant& value, const char16_t* path) {
        roster.setParam(name, value, {path, position});
    };
    roster.setNull(u"pnt");
    set(u"itemNumber", textOrNull(item.child(u"number")), u"roster/rosterItem/number");
    set(u"[name]", item.child(u"name").text().trimmed(), u"roster/rosterItem/name");
    set(u"code", item.child(u"code").text(), u"roster/rosterItem/code");
    set(u"code_oced", item.child(u"code_oced").text(), u"roster/rosterItem/code_oced");
    roster.setNull(u"units");
    set(u"[count]", decimalOrNull(item.child(u"count")), u"roster/rosterItem/count");
    set(u"price", decimalOrNull(item.child(u"price")), u"roster/rosterItem/price");
    set(u"cost", decimalText(item.child(u"cost").text()), u"roster/rosterItem/cost");
    set(u"summaExcise", decimalOrNull(item.child(u"summaExcise")), u"roster/rosterItem/summaExcise");
    const XmlElement vat = item.child(u"vat");
    set(u"rate", decimalText(vat.child(u"rate").text()), u"roster/rosterItem/vat/rate");
    set(u"idRateType", codes::RateTypeCode(vat.child(u"rateType").text()), u"roster/rosterItem/vat/rateType");
    set(u"summaVat", decimalText(vat.child(u"summaVat").text()), u"roster/rosterItem/vat/summaVat");
    set(u"costVat", decimalText(item.child(u"costVat").text()), u"roster/rosterItem/costVat");
}

int insertedItemId(const Statement& roster)
{
    bool ok = false;
    const int id = roster.field(u"IdentValue").toString().toInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("База данных не вернула номер строки товара."));
    return id;
}

void writeDescriptions(TDM& dm, const XmlElement& item, int itemId)
{
    const XmlElement descriptions = item.child(u"descriptions");
    if (!descriptions.present())
        return;
    for (const XmlElement& description : descriptions.children(u"description")) {
        dm.DescriptionsInsert.setParam(u"idDesc", codes::DescriptionCode(description.text()));
        dm.DescriptionsInsert.setParam(u"idStr", itemId);
        dm.DescriptionsInsert.exec();
    }
}

bool invoiceHasDocumentRows(TDM& dm)
{
    Statement& check = dm.DocCheck;
    check.close();
    check.setParam(u"idSen", dm.InvoicesInsert.param(kIdSender));
    check.setParam(u"Year", dm.InvoicesInsert.param(kCompilingYear));
    check.setParam(u"numb", dm.InvoicesInsert.param(kNumber));
    check.open();
    const bool found = !check.eof();
    check.close();
    return found;
}

// The accounting system's document that matches, and the consignee, for an invoice we issued.
void linkOwnDocument(TDM& dm, PartyLookup& parties, const XmlElement& root)
{
    Statement& row = dm.DocumentsInsert;
    row.setParam(u"vidDoc", ownDocumentKind(dm.InvoicesInsert.param(u"documentType").toInt()));
    const std::optional<QVariant> kodSkl =
        findAccountingDocument(dm, row.param(u"docNumber"), row.param(u"vidDoc"), row.param(u"docDate"));
    row.setParam(u"kodSkl", kodSkl.value_or(QVariant()));
    row.setParam(u"idPredpr", parties.consignee(root));
}

} // namespace

int ownDocumentKind(int documentTypeCode)
{
    return documentTypeCode == 1 ? 2 : 1;
}

std::optional<QVariant> findAccountingDocument(TDM& dm, const QVariant& docNumber, const QVariant& vidDoc,
                                               const QVariant& docDate)
{
    Statement& skl = dm.FindSkl;
    skl.close();
    skl.setParam(u"DocNumber", docNumber);
    skl.setParam(u"VidDoc", vidDoc);
    skl.setParam(u"DocDate", docDate);
    skl.open();
    std::optional<QVariant> kodSkl;
    if (!skl.eof())
        kodSkl = skl.field(u"KodSkl");
    skl.close();
    return kodSkl;
}

QString normalisedDocNumber(const QString& number)
{
    QStringView kept(number);
    if (kept.size() > 25)
        kept = kept.right(25);
    qsizetype zeros = 0;
    while (zeros < kept.size() && kept[zeros] == u'0')
        ++zeros;
    return kept.mid(zeros).toString();
}

void writeItems(TDM& dm, const XmlElement& root)
{
    // The key is the same for every row of the invoice and a parameter keeps its value.
    copyInvoiceKey(dm, dm.RosterInsert);
    int position = 0;
    for (const XmlElement& item : root.child(u"roster").children(u"rosterItem")) {
        dm.RosterInsert.close();
        fillItem(dm, item, ++position);
        dm.RosterInsert.open();
        const int itemId = insertedItemId(dm.RosterInsert);
        dm.RosterInsert.close();
        writeDescriptions(dm, item, itemId);
    }
}

void writeDocument(TDM& dm, PartyLookup& parties, const XmlElement& root, bool own, bool additional)
{
    if (invoiceHasDocumentRows(dm))
        return;
    const XmlElement delivery = root.child(u"deliveryCondition");
    if (!delivery.present())
        return;
    const std::vector<XmlElement> documents = delivery.at(u"contract/documents").children(u"document");
    if (documents.empty())
        return;
    const XmlElement& document = documents.front();
    if (additional && (!document.child(u"number").present() || document.at(u"docType/code").text() == u"600"))
        return;

    Statement& row = dm.DocumentsInsert;
    copyInvoiceKey(dm, row);
    row.setParam(u"code", document.at(u"docType/code").text(),
                 {u"deliveryCondition/contract/documents/document/docType/code"});
    const XmlElement date = document.child(u"date");
    if (date.present())
        row.setParam(u"docDate", shortDate(date.text()),
                     {u"deliveryCondition/contract/documents/document/date"});
    row.setParam(u"blankCode", document.child(u"blankCode").text().trimmed(),
                 {u"deliveryCondition/contract/documents/document/blankCode"});
    row.setParam(u"seria", document.child(u"seria").text().trimmed(),
                 {u"deliveryCondition/contract/documents/document/seria"});
    row.setParam(u"docNumber", normalisedDocNumber(document.child(u"number").text()),
                 {u"deliveryCondition/contract/documents/document/number"});
    if (own) {
        linkOwnDocument(dm, parties, root);
    } else {
        row.setParam(u"vidDoc", 1);
        row.setNull(u"kodSkl");
        row.setNull(u"idPredpr");
    }
    row.exec();
}

} // namespace eschf
