#include "invoicexml.h"

#include "data/error.h"

#include <QFile>

namespace eschf::test {

namespace {

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString element(const QString& name, const QString& text)
{
    return QStringLiteral("<%1>%2</%1>").arg(name, escaped(text));
}

QString optionalElement(const QString& name, const std::optional<QString>& text)
{
    return text ? element(name, *text) : QString();
}

QString party(const QString& name, const QString& status, const QString& statusName, const QString& unp,
              const std::optional<QString>& branch, const QString& extra,
              const QString& partyName = QStringLiteral("ООО «Контрагент»"))
{
    return QStringLiteral("<%1>").arg(name) + element(statusName, status) +
           QStringLiteral("<dependentPerson>false</dependentPerson><residentsOfOffshore>false"
                          "</residentsOfOffshore><specialDealGoods>false</specialDealGoods>"
                          "<bigCompany>false</bigCompany><countryCode>112</countryCode>") +
           element(QStringLiteral("unp"), unp) + optionalElement(QStringLiteral("branchCode"), branch) +
           element(QStringLiteral("name"), partyName) +
           QStringLiteral("<address>г. Минск, ул. Притыцкого, 29</address>") + extra +
           QStringLiteral("</%1>").arg(name);
}

QString documentXml(const DocumentXml& document)
{
    return QStringLiteral("<document><docType>") + element(QStringLiteral("code"), document.code) +
           QStringLiteral("</docType>") + optionalElement(QStringLiteral("date"), document.date) +
           element(QStringLiteral("blankCode"), document.blankCode) +
           element(QStringLiteral("seria"), document.seria) +
           optionalElement(QStringLiteral("number"), document.number) + QStringLiteral("</document>");
}

QString itemXml(const ItemXml& item)
{
    QString xml = QStringLiteral("<rosterItem>") + optionalElement(QStringLiteral("number"), item.number) +
                  element(QStringLiteral("name"), item.name) + element(QStringLiteral("code"), item.code) +
                  element(QStringLiteral("code_oced"), item.codeOced) + QStringLiteral("<units>796</units>") +
                  optionalElement(QStringLiteral("count"), item.count) +
                  optionalElement(QStringLiteral("price"), item.price) +
                  optionalElement(QStringLiteral("cost"), item.cost) +
                  optionalElement(QStringLiteral("summaExcise"), item.summaExcise) + QStringLiteral("<vat>") +
                  element(QStringLiteral("rate"), item.rate) +
                  element(QStringLiteral("rateType"), item.rateType) +
                  element(QStringLiteral("summaVat"), item.summaVat) + QStringLiteral("</vat>") +
                  element(QStringLiteral("costVat"), item.costVat);
    if (item.descriptions) {
        xml += QStringLiteral("<descriptions>");
        for (const QString& description : *item.descriptions)
            xml += element(QStringLiteral("description"), description);
        xml += QStringLiteral("</descriptions>");
    }
    return xml + QStringLiteral("</rosterItem>");
}

} // namespace

QString InvoiceXml::toXml() const
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<issuance "
                                 "xmlns=\"http://www.w3schools.com\"");
    if (sender)
        xml += QStringLiteral(" sender=\"%1\"").arg(escaped(*sender));
    xml += QStringLiteral(">\n<general>") + element(QStringLiteral("number"), number) +
           QStringLiteral("<dateIssuance>2024-03-05</dateIssuance>") +
           element(QStringLiteral("dateTransaction"), dateTransaction) +
           element(QStringLiteral("documentType"), documentType) +
           optionalElement(QStringLiteral("invoice"), invoice) +
           optionalElement(QStringLiteral("dateCancelled"), dateCancelled) + QStringLiteral("</general>\n");

    QString principal;
    if (principalNumber) {
        principal = QStringLiteral("<principal>") + element(QStringLiteral("number"), *principalNumber) +
                    QStringLiteral("<date>2024-02-01</date></principal>");
    }
    xml += party(QStringLiteral("provider"), providerStatus, QStringLiteral("providerStatus"), providerUnp,
                 providerBranch, principal, providerName) +
           QStringLiteral("\n");
    xml += party(QStringLiteral("recipient"), recipientStatus, QStringLiteral("recipientStatus"),
                 recipientUnp, recipientBranch, QString()) +
           QStringLiteral("\n");
    xml += QStringLiteral("<senderReceiver><consignees><consignee><countryCode>112</countryCode>") +
           element(QStringLiteral("unp"), consigneeUnp) +
           QStringLiteral("<name>Склад №2</name><address>г. Минск, ул. Складская, 4</address></consignee>"
                          "</consignees></senderReceiver>\n");

    if (deliveryCondition) {
        xml += QStringLiteral("<deliveryCondition><contract>") +
               optionalElement(QStringLiteral("number"), contractNumber) +
               QStringLiteral("<date>2023-01-10</date>");
        if (documentsElement) {
            xml += QStringLiteral("<documents>");
            for (const DocumentXml& document : documents)
                xml += documentXml(document);
            xml += QStringLiteral("</documents>");
        }
        xml +=
            QStringLiteral("</contract><description>Поставка по заявке</description></deliveryCondition>\n");
    }

    if (roster) {
        xml += QStringLiteral("<roster totalCostVat=\"150.00\" totalExcise=\"0\" totalVat=\"25.00\" "
                              "totalCost=\"125.00\">\n");
        for (const ItemXml& item : items)
            xml += itemXml(item) + QStringLiteral("\n");
        xml += QStringLiteral("</roster>\n");
    }
    return xml + QStringLiteral("</issuance>\n");
}

void writeText(const QString& filePath, const QByteArray& bytes)
{
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw Error(QStringLiteral("cannot write %1").arg(filePath));
}

QString writeInvoice(const QString& filePath, const InvoiceXml& invoice)
{
    writeText(filePath, invoice.toXml().toUtf8());
    return filePath;
}

} // namespace eschf::test
