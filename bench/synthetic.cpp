#include "synthetic.h"

#include <array>

namespace eschf::bench {

namespace {

const std::array<const char*, 12> kGoods = {
    "Бумага офисная А4, 80 г/м2",
    "Картридж лазерный черный",
    "Папка-регистратор 75 мм",
    "Масло моторное 5W-40, 4 л",
    "Кабель ВВГнг 3х2,5",
    "Перчатки трикотажные с ПВХ",
    "Краска водоэмульсионная белая",
    "Саморез по дереву 4,2х76",
    "Услуги по доставке груза",
    "Молоко питьевое 3,2%, 1 л",
    "Хлеб \"Нарочанский\" нарезной",
    "Антифриз G12, 5 кг",
};
const std::array<const char*, 3> kDescriptions = {"DEDUCTION_IN_FULL", "VAT_EXEMPTION", "ANALYZED_DEAL"};

QString money(qint64 cents)
{
    return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0'));
}

QString padded(qint64 value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QString date(int index)
{
    return QStringLiteral("2024-%1-%2")
        .arg(index % 12 + 1, 2, 10, QLatin1Char('0'))
        .arg(index % 28 + 1, 2, 10, QLatin1Char('0'));
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString Directory::supplierUnn(int supplier)
{
    return QStringLiteral("2%1").arg(supplier + 1, 8, 10, QLatin1Char('0'));
}

int Directory::supplierId(int supplier)
{
    return 2 + 2 * supplier;
}

bool Directory::hasBranches(int supplier)
{
    return supplier % 5 == 0;
}

int Directory::branchId(int supplier)
{
    return 3 + 2 * supplier;
}

QString Directory::seedSql()
{
    QString sql =
        QStringLiteral("INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES (%1, '%2', NULL, NULL);\n"
                       "INSERT INTO tbNastrPredpr(idPredpr) VALUES (%1);\n")
            .arg(kOwnId)
            .arg(ownUnn());
    for (int s = 0; s < kSuppliers; ++s) {
        if (hasBranches(s)) {
            sql += QStringLiteral(
                       "INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES (%1, '%2', 1, NULL);\n"
                       "INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES (%3, '%2', 2, %3);\n"
                       "INSERT INTO invPredprs(unn, dopUnn, newDopUnn) VALUES ('%2', 5, 2);\n")
                       .arg(supplierId(s))
                       .arg(supplierUnn(s))
                       .arg(branchId(s));
        } else {
            sql += QStringLiteral(
                       "INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES (%1, '%2', NULL, NULL);\n")
                       .arg(supplierId(s))
                       .arg(supplierUnn(s));
        }
    }
    return sql;
}

SyntheticInvoice syntheticInvoice(int index)
{
    SyntheticInvoice invoice;
    const int supplier = index % Directory::kSuppliers;
    invoice.own = index % 10 == 9;
    if (invoice.own) {
        invoice.sender = Directory::ownUnn();
        invoice.senderId = Directory::kOwnId;
        invoice.recipientUnn = Directory::supplierUnn(supplier);
        invoice.recipientId = Directory::supplierId(supplier);
        invoice.consigneeUnn = invoice.recipientUnn;
        invoice.consigneeId = invoice.recipientId;
    } else {
        invoice.sender = Directory::supplierUnn(supplier);
        invoice.senderId = Directory::supplierId(supplier);
        if (Directory::hasBranches(supplier) && index % 4 == 0) {
            invoice.providerBranch = QStringLiteral("2");
            invoice.senderId = Directory::branchId(supplier);
        } else if (Directory::hasBranches(supplier) && index % 4 == 2) {
            invoice.providerBranch = QStringLiteral("5"); // redirected to branch 2
            invoice.senderId = Directory::branchId(supplier);
        }
        invoice.recipientUnn = Directory::ownUnn();
        invoice.recipientId = Directory::kOwnId;
        invoice.consigneeUnn = Directory::ownUnn();
        invoice.consigneeId = Directory::kOwnId;
    }
    invoice.number = invoice.sender + QStringLiteral("-2024-") + padded(index + 1, 10);
    invoice.dateTransaction = date(index);
    invoice.contractNumber = QStringLiteral("%1/2023").arg(supplier + 1);
    invoice.contractDate = QStringLiteral("2023-01-10");
    invoice.description = QStringLiteral("Поставка по заявке №%1").arg(index % 997 + 1);
    invoice.docCode = QStringLiteral("603");
    invoice.docDate = invoice.dateTransaction;
    invoice.docBlank = QStringLiteral("402");
    invoice.docSeria = QStringLiteral("ЕА");
    invoice.docNumber = QStringLiteral("00") + padded(index + 1, 7);

    qint64 totalCost = 0;
    qint64 totalVat = 0;
    for (int j = 0; j < 10; ++j) {
        SyntheticItem item;
        const qint64 count = (index + j) % 9 + 1;
        const qint64 price = 150 + (index * 7 + j * 13) % 5000;
        const qint64 cost = count * price;
        const qint64 vat = (cost * 20 + 50) / 100;
        item.number = QString::number(j + 1);
        item.name = QString::fromUtf8(kGoods[(index + j) % kGoods.size()]);
        item.code = QStringLiteral("48025%1").arg(j, 5, 10, QLatin1Char('0'));
        item.codeOced = QStringLiteral("17120");
        item.count = QString::number(count);
        item.price = money(price);
        item.cost = money(cost);
        item.summaExcise = QStringLiteral("0");
        item.rate = QStringLiteral("20");
        item.rateType = QStringLiteral("DECIMAL");
        item.summaVat = money(vat);
        item.costVat = money(cost + vat);
        item.descriptions.append(QString::fromLatin1(kDescriptions[0]));
        if ((index + j) % 2 == 1)
            item.descriptions.append(QString::fromLatin1(kDescriptions[1 + j % 2]));
        totalCost += cost;
        totalVat += vat;
        invoice.items.push_back(std::move(item));
    }
    invoice.totalCost = money(totalCost);
    invoice.totalVat = money(totalVat);
    invoice.totalCostVat = money(totalCost + totalVat);
    invoice.totalExcise = QStringLiteral("0");
    return invoice;
}

QByteArray invoiceXml(const SyntheticInvoice& invoice)
{
    QString xml;
    xml.reserve(8192);
    const auto element = [&xml](const char* name, const QString& text) {
        xml += QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>') + escaped(text) +
               QLatin1String("</") + QLatin1String(name) + QLatin1String(">");
    };
    xml += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<issuance xmlns=\"http://www.w3schools.com\" sender=\"%1\">\n  <general>")
               .arg(invoice.sender);
    element("number", invoice.number);
    element("dateIssuance", invoice.dateTransaction);
    element("dateTransaction", invoice.dateTransaction);
    element("documentType", QStringLiteral("ORIGINAL"));
    xml += QStringLiteral("</general>\n  <provider>");
    element("providerStatus", QStringLiteral("SELLER"));
    xml += QStringLiteral(
        "<dependentPerson>false</dependentPerson><residentsOfOffshore>false</residentsOfOffshore>"
        "<specialDealGoods>false</specialDealGoods><bigCompany>false</bigCompany>"
        "<countryCode>112</countryCode>");
    element("unp", invoice.sender);
    if (!invoice.providerBranch.isEmpty())
        element("branchCode", invoice.providerBranch);
    xml += QStringLiteral("<name>ООО «Поставщик»</name><address>г. Минск, ул. Тимирязева, 65</address>"
                          "</provider>\n  <recipient>");
    element("recipientStatus", QStringLiteral("CUSTOMER"));
    xml += QStringLiteral(
        "<dependentPerson>false</dependentPerson><residentsOfOffshore>false</residentsOfOffshore>"
        "<specialDealGoods>false</specialDealGoods><bigCompany>false</bigCompany>"
        "<countryCode>112</countryCode>");
    element("unp", invoice.recipientUnn);
    xml += QStringLiteral(
        "<name>ОАО «Покупатель»</name><address>г. Гомель, ул. Советская, 1</address>"
        "</recipient>\n  <senderReceiver><consignors><consignor><countryCode>112</countryCode>");
    element("unp", invoice.sender);
    xml += QStringLiteral("<name>ООО «Поставщик»</name><address>г. Минск, ул. Тимирязева, 65</address>"
                          "</consignor></consignors><consignees><consignee><countryCode>112</countryCode>");
    element("unp", invoice.consigneeUnn);
    xml += QStringLiteral("<name>Склад №2</name><address>г. Гомель, ул. Складская, 4</address></consignee>"
                          "</consignees></senderReceiver>\n  <deliveryCondition><contract>");
    element("number", invoice.contractNumber);
    element("date", invoice.contractDate);
    xml += QStringLiteral("<documents><document><docType>");
    element("code", invoice.docCode);
    xml += QStringLiteral("</docType>");
    element("date", invoice.docDate);
    element("blankCode", invoice.docBlank);
    element("seria", invoice.docSeria);
    element("number", invoice.docNumber);
    xml += QStringLiteral("</document></documents></contract>");
    element("description", invoice.description);
    xml += QStringLiteral(
               "</deliveryCondition>\n  <roster totalCostVat=\"%1\" totalExcise=\"%2\" totalVat=\"%3\" "
               "totalCost=\"%4\">\n")
               .arg(invoice.totalCostVat, invoice.totalExcise, invoice.totalVat, invoice.totalCost);
    for (const SyntheticItem& item : invoice.items) {
        xml += QStringLiteral("    <rosterItem>");
        element("number", item.number);
        element("name", item.name);
        element("code", item.code);
        element("code_oced", item.codeOced);
        xml += QStringLiteral("<units>796</units>");
        element("count", item.count);
        element("price", item.price);
        element("cost", item.cost);
        element("summaExcise", item.summaExcise);
        xml += QStringLiteral("<vat>");
        element("rate", item.rate);
        element("rateType", item.rateType);
        element("summaVat", item.summaVat);
        xml += QStringLiteral("</vat>");
        element("costVat", item.costVat);
        xml += QStringLiteral("<descriptions>");
        for (const QString& description : item.descriptions)
            element("description", description);
        xml += QStringLiteral("</descriptions></rosterItem>\n");
    }
    xml += QStringLiteral("  </roster>\n</issuance>\n");
    return xml.toUtf8();
}

} // namespace eschf::bench
