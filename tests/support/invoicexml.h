#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace eschf::test {

// An invoice file as the portal writes it, with only what a test changes spelled out. An optional
// left empty leaves its element out of the file.
struct ItemXml
{
    std::optional<QString> number = QStringLiteral("1");
    QString name = QStringLiteral("Бумага офисная А4, 80 г/м2");
    QString code = QStringLiteral("4802569000");
    QString codeOced = QStringLiteral("17120");
    std::optional<QString> count = QStringLiteral("10");
    std::optional<QString> price = QStringLiteral("12.50");
    std::optional<QString> cost = QStringLiteral("125.00");
    std::optional<QString> summaExcise = QStringLiteral("0");
    QString rate = QStringLiteral("20");
    QString rateType = QStringLiteral("DECIMAL");
    QString summaVat = QStringLiteral("25.00");
    QString costVat = QStringLiteral("150.00");
    std::optional<QStringList> descriptions; // the <descriptions> element and its <description>s
};

struct DocumentXml
{
    QString code = QStringLiteral("603");
    std::optional<QString> date = QStringLiteral("2024-03-04");
    QString blankCode = QStringLiteral("402");
    QString seria = QStringLiteral("ЕА");
    std::optional<QString> number = QStringLiteral("0012345");
};

struct InvoiceXml
{
    std::optional<QString> sender = QStringLiteral("290000002");
    QString number = QStringLiteral("290000002-2024-0000000101");
    QString documentType = QStringLiteral("ORIGINAL");
    std::optional<QString> invoice;       // general/invoice: the initial invoice of an additional one
    std::optional<QString> dateCancelled; // general/dateCancelled
    QString dateTransaction = QStringLiteral("2024-03-04");

    QString providerUnp = QStringLiteral("290000002");
    std::optional<QString> providerBranch;
    QString providerName = QStringLiteral("ООО «Контрагент»");
    QString providerStatus = QStringLiteral("SELLER");
    std::optional<QString> principalNumber; // provider/principal/number (with a date)

    QString recipientUnp = QStringLiteral("190000001");
    std::optional<QString> recipientBranch;
    QString recipientStatus = QStringLiteral("CUSTOMER");

    QString consigneeUnp = QStringLiteral("190000001");

    bool deliveryCondition = true;
    std::optional<QString> contractNumber = QStringLiteral("15/2023");
    bool documentsElement = true;
    std::vector<DocumentXml> documents = {DocumentXml{}};

    bool roster = true;
    std::vector<ItemXml> items = {ItemXml{}};

    QString toXml() const;
};

// Writes the invoice as a UTF-8 file; returns its path.
QString writeInvoice(const QString& filePath, const InvoiceXml& invoice);
void writeText(const QString& filePath, const QByteArray& bytes);

} // namespace eschf::test
