#include "mapping/header.h"

#include "data/error.h"
#include "data/tdm.h"
#include "mapping/codes.h"
#include "mapping/invoicedocument.h"
#include "mapping/partylookup.h"

#include <algorithm>

namespace eschf {

namespace {

// A text column that takes the empty text must never get a null QString: drivers may bind that
// as NULL.
QString nonNull(QString text)
{
    if (text.isNull())
        return QStringLiteral("");
    return text;
}

void setIdOrNull(Statement& statement, QStringView name, const std::optional<int>& id)
{
    if (id)
        statement.setParam(name, *id);
    else
        statement.setNull(name);
}

void setTextIfPresent(Statement& statement, QStringView name, const XmlElement& element, const char16_t* path)
{
    if (element.present())
        statement.setParam(name, element.text(), {path});
}

} // namespace

QString cutChars(const QString& text, int first, int last)
{
    const qsizetype from = std::max(first, 1) - 1;
    if (last < first || from >= text.size())
        return QStringLiteral("");
    return text.mid(from, last - from);
}

QString yearText(const QString& invoiceNumber)
{
    return cutChars(invoiceNumber, 11, 14);
}

QString sequenceText(const QString& invoiceNumber)
{
    return cutChars(invoiceNumber, 16, 25);
}

QString taxpayerText(const QString& invoiceNumber)
{
    return cutChars(invoiceNumber, 1, 9);
}

QString shortDate(const QString& text)
{
    return nonNull(text.trimmed().left(10));
}

QString decimalText(const QString& text)
{
    QString result = nonNull(text);
    result.replace(u'.', u',');
    return result;
}

HeaderMapping::HeaderMapping(TDM& dm, PartyLookup& parties) : m_dm(dm), m_parties(parties) {}

void HeaderMapping::fillGeneral(const XmlElement& root, int senderId, const QString& year,
                                const QString& sequence)
{
    Statement& insert = m_dm.InvoicesInsert;
    const XmlElement general = root.child(u"general");
    insert.setParam(u"idSender", senderId);
    insert.setParam(u"compilingYear", nonNull(year), {u"general/number"});
    insert.setParam(u"number", nonNull(sequence), {u"general/number"});
    insert.setParam(u"idProvider", senderId);
    insert.setParam(u"invoice", nonNull(general.child(u"invoice").text()), {u"general/invoice"});
    setTextIfPresent(insert, u"dateCancelled", general.child(u"dateCancelled"), u"general/dateCancelled");
    insert.setParam(u"documentType", codes::DocumentTypeCode(general.child(u"documentType").text()),
                    {u"general/documentType"});
    insert.setParam(u"dateTransaction", shortDate(general.child(u"dateTransaction").text()),
                    {u"general/dateTransaction"});

    const XmlElement delivery = root.child(u"deliveryCondition");
    if (!delivery.present())
        return;
    const XmlElement contractNumber = delivery.at(u"contract/number");
    if (contractNumber.present())
        insert.setParam(u"contractNumber", contractNumber.text().trimmed(),
                        {u"deliveryCondition/contract/number"});
    const XmlElement contractDate = delivery.at(u"contract/date");
    if (contractDate.present())
        insert.setParam(u"contractDate", shortDate(contractDate.text()),
                        {u"deliveryCondition/contract/date"});
    setTextIfPresent(insert, u"description", delivery.child(u"description"),
                     u"deliveryCondition/description");
}

bool HeaderMapping::hasDocumentToMatch(const XmlElement& root)
{
    const XmlElement documents = root.at(u"deliveryCondition/contract/documents");
    if (!documents.present())
        return false;
    const XmlElement first = documents.child(u"document");
    return !(first.at(u"docType/code").text() == u"600" && first.child(u"number").text().isEmpty());
}

void HeaderMapping::fillProvider(const XmlElement& root)
{
    Statement& insert = m_dm.InvoicesInsert;
    const XmlElement provider = root.child(u"provider");
    insert.setParam(u"providerStatus", codes::ProviderStatusCode(provider.child(u"providerStatus").text()),
                    {u"provider/providerStatus"});
    insert.setParam(u"specialDealGoods", provider.child(u"specialDealGoods").text() == u"true");

    struct Party
    {
        const char16_t* element;
        const char16_t* id;
        const char16_t* year;
        const char16_t* number;
        const char16_t* date;
        const char16_t* numberPath;
        const char16_t* datePath;
        QString role; // for the operator, in a failed lookup's message
    };
    const Party parties[] = {
        {u"principal", u"principalId", u"principalYear", u"principalNumber", u"principalDate",
         u"provider/principal/number", u"provider/principal/date", QStringLiteral("комитента")},
        {u"vendor", u"vendorId", u"vendorYear", u"vendorNumber", u"vendorDate", u"provider/vendor/number",
         u"provider/vendor/date", QStringLiteral("продавца")},
    };
    for (const Party& party : parties) {
        const XmlElement element = provider.child(party.element);
        if (!element.present())
            continue;
        const QString number = element.child(u"number").text();
        std::optional<int> id;
        try {
            id = m_parties.organisationByUnn(taxpayerText(number));
        } catch (const Error& e) {
            throw Error(QStringLiteral("Поиск %1: %2").arg(party.role, e.message()));
        }
        setIdOrNull(insert, party.id, id);
        insert.setParam(party.year, yearText(number), {party.numberPath});
        insert.setParam(party.number, sequenceText(number), {party.numberPath});
        setTextIfPresent(insert, party.date, element.child(u"date"), party.datePath);
    }

    setTextIfPresent(insert, u"pDeclaration", provider.child(u"declaration"), u"provider/declaration");
    setTextIfPresent(insert, u"dateRelease", provider.child(u"dateRelease"), u"provider/dateRelease");
    setTextIfPresent(insert, u"dateActualExport", provider.child(u"dateActualExport"),
                     u"provider/dateActualExport");
    const XmlElement taxes = provider.child(u"taxes");
    if (taxes.present()) {
        insert.setParam(u"pTaxesNumber", nonNull(taxes.child(u"number").text()), {u"provider/taxes/number"});
        setTextIfPresent(insert, u"pTaxesDate", taxes.child(u"date"), u"provider/taxes/date");
    }
}

bool HeaderMapping::fillRecipient(const XmlElement& root)
{
    const std::optional<int> id = m_parties.recipient(root);
    if (!id)
        return false;
    Statement& insert = m_dm.InvoicesInsert;
    const XmlElement recipient = root.child(u"recipient");
    insert.setParam(u"idRecipient", *id);
    insert.setParam(u"recipientStatus",
                    codes::RecipientStatusCode(recipient.child(u"recipientStatus").text()),
                    {u"recipient/recipientStatus"});
    setTextIfPresent(insert, u"rDeclaration", recipient.child(u"declaration"), u"recipient/declaration");
    const XmlElement taxes = recipient.child(u"taxes");
    if (taxes.present()) {
        insert.setParam(u"rTaxesNumber", nonNull(taxes.child(u"number").text()), {u"recipient/taxes/number"});
        setTextIfPresent(insert, u"rTaxesDate", taxes.child(u"date"), u"recipient/taxes/date");
    }
    setTextIfPresent(insert, u"dateImport", recipient.child(u"dateImport"), u"recipient/dateImport");
    return true;
}

void HeaderMapping::fillTotals(const XmlElement& root)
{
    Statement& insert = m_dm.InvoicesInsert;
    const XmlElement roster = root.child(u"roster");
    struct Total
    {
        const char16_t* name;
        const char16_t* path;
    };
    for (const Total& total :
         {Total{u"totalCostVat", u"roster/@totalCostVat"}, Total{u"totalExcise", u"roster/@totalExcise"},
          Total{u"totalVat", u"roster/@totalVat"}, Total{u"totalCost", u"roster/@totalCost"}})
        insert.setParam(total.name, decimalText(roster.attribute(total.name)), {total.path});
}

} // namespace eschf
