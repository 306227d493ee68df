#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace eschf::bench {

// The organisation directory the synthetic invoices are issued within.
struct Directory
{
    static constexpr int kOwnId = 1;
    static constexpr int kSuppliers = 50;
    static QString ownUnn() { return QStringLiteral("190000001"); }
    static QString supplierUnn(int supplier); // 0 .. kSuppliers-1
    static int supplierId(int supplier);      // head office or the only row
    static bool hasBranches(int supplier);    // head office at branch 1 and a branch 2
    static int branchId(int supplier);        // the branch 2 row
    // The rows of tbPredpr, tbNastrPredpr and invPredprs, as SQL.
    static QString seedSql();
};

struct SyntheticItem
{
    QString number;
    QString name;
    QString code;
    QString codeOced;
    QString count;
    QString price;
    QString cost;
    QString summaExcise;
    QString rate;
    QString rateType;
    QString summaVat;
    QString costVat;
    QStringList descriptions;
};

// One realistic invoice: ten items with one or two descriptions each and one accompanying document.
// Every value is the text the file carries, so the floor binds exactly what the import reads.
struct SyntheticInvoice
{
    bool own = false; // issued by the own organisation (FindSkl and the consignee come into play)
    QString sender;
    QString number;
    QString dateTransaction;
    QString providerBranch; // empty: no branchCode element
    int senderId = 0;
    int recipientId = 0;
    QString recipientUnn;
    QString consigneeUnn;
    int consigneeId = 0;
    QString contractNumber;
    QString contractDate;
    QString description;
    QString docCode;
    QString docDate;
    QString docBlank;
    QString docSeria;
    QString docNumber;
    QString totalCostVat;
    QString totalExcise;
    QString totalVat;
    QString totalCost;
    std::vector<SyntheticItem> items;

    QString year() const { return number.mid(10, 4); }
    QString sequence() const { return number.mid(15, 10); }
};

SyntheticInvoice syntheticInvoice(int index);
QByteArray invoiceXml(const SyntheticInvoice& invoice);

} // namespace eschf::bench
