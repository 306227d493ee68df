// The statement texts: SQL Server's must reach the server exactly as the department's database has
// always received them, and a typo there would show only on a real server.
#include "data/tdm.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace eschf;
using namespace Qt::Literals::StringLiterals;

using StatementOf = Statement TDM::*;
Q_DECLARE_METATYPE(StatementOf)

namespace {

QString joined(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + u"\r\n"_s;
    return text;
}

// The placeholders of a text, outside quoted literals.
QSet<QString> placeholders(QString text)
{
    text.remove(QRegularExpression(u"'[^']*'"_s));
    QSet<QString> names;
    static const QRegularExpression placeholder(u":([A-Za-z0-9_]+)"_s);
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        names.insert(it.next().captured(1));
    return names;
}

} // namespace

class TestStatements : public QObject
{
    Q_OBJECT

private slots:
    void msSqlTextsExact_data();
    void msSqlTextsExact();
    void placeholdersDeclared_data();
    void placeholdersDeclared();
    void sqliteTextsDifferOnlyWhereNeeded();
};

void TestStatements::msSqlTextsExact_data()
{
    QTest::addColumn<StatementOf>("statement");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("InvoicesInsert")
        << &TDM::InvoicesInsert
        << QStringList{
               u"INSERT INTO invoices( idSender, compilingYear, number, invoice, dateCancelled, documentType, dateTransaction, idProvider, providerStatus, specialDealGoods, principalId, principalYear, "_s,
               u"principalNumber, principalDate, vendorId, vendorYear, vendorNumber, vendorDate, pDeclaration, dateRelease, dateActualExport, pTaxesNumber, pTaxesDate, idRecipient, "_s,
               u"recipientStatus, rDeclaration, rTaxesNumber, rTaxesDate, dateImport, contractNumber, contractDate, description, totalCostVat, totalExcise, totalVat, totalCost) "_s,
               u"VALUES (:idSender, :compilingYear, :number, :invoice, :dateCancelled, :documentType, :dateTransaction, :idProvider, :providerStatus, :specialDealGoods, :principalId, :principalYear, "_s,
               u":principalNumber, :principalDate, :vendorId, :vendorYear,:vendorNumber, :vendorDate, :pDeclaration, :dateRelease, :dateActualExport, :pTaxesNumber, :pTaxesDate, "_s,
               u":idRecipient, :recipientStatus, :rDeclaration,:rTaxesNumber, :rTaxesDate, :dateImport, :contractNumber, :contractDate, :description, :totalCostVat, :totalExcise, :totalVat, :totalCost)"_s,
           };
    QTest::newRow("RosterInsert")
        << &TDM::RosterInsert
        << QStringList{
               u"INSERT INTO roster(idSender, compilingYear, number, pnt, itemNumber, [name], code, code_oced, units, [count], price, cost, summaExcise, rate, idRateType, summaVat, costVat)"_s,
               u"VALUES (:idSender, :compilingYear, :number, :pnt, :itemNumber, :name_, :code, :code_oced, :units, :count_, :price, :cost, :summaExcise, :rate, :idRateType, :summaVat, :costVat)"_s,
               u""_s,
               u"Select Scope_Identity() as 'IdentValue'"_s,
           };
    QTest::newRow("DescriptionsInsert") << &TDM::DescriptionsInsert
                                        << QStringList{
                                               u"INSERT INTO descriptions(idDesc, idStr)"_s,
                                               u"VALUES (:idDesc, :idStr)"_s,
                                           };
    QTest::newRow("DocumentsInsert")
        << &TDM::DocumentsInsert
        << QStringList{
               u"INSERT INTO documents(idSender, compilingYear, number, code, docDate, blankCode, seria, docNumber,vidDoc,kodSkl,idPredpr)"_s,
               u"VALUES (:idSender, :compilingYear, :number, :code, :docDate, :blankCode, :seria, :docNumber,:vidDoc,:kodSkl,:idPredpr)"_s,
           };
    QTest::newRow("DocCheck")
        << &TDM::DocCheck
        << QStringList{
               u"Select * from documents where idSender=:idSen and compilingYear=:Year and number=:numb"_s,
           };
    QTest::newRow("FindSkl")
        << &TDM::FindSkl
        << QStringList{
               u"SELECT kodSkl "_s,
               u"FROM docCaption "_s,
               u"WHERE RIGHT('0000000000'+:DocNumber,10) = RIGHT('0000000000' + CAST(docCaption.NumDoc AS varchar), 10) and docCaption.vidDoc=:VidDoc AND docCaption.DateDoc=:DocDate"_s,
           };
    QTest::newRow("SelPredprByUnn") << &TDM::SelPredprByUnn
                                    << QStringList{
                                           u"Select TOP 1 idPredpr "_s,
                                           u"from tbPredpr "_s,
                                           u"WHERE UNN=:UNN"_s,
                                       };
    QTest::newRow("qSelectInvPredpr") << &TDM::qSelectInvPredpr
                                      << QStringList{
                                             u"SELECT newDopUnn"_s,
                                             u"FROM invPredprs"_s,
                                             u"WHERE unn=:unn and dopUnn=:dopUnn"_s,
                                         };
    QTest::newRow("FindOriginal")
        << &TDM::FindOriginal
        << QStringList{
               u"SELECT idSender "_s,
               u"FROM invoices "_s,
               u"WHERE idSender=:idSender and compilingYear=:compilingYear and Number=:Number"_s,
           };
    QTest::newRow("UpdateAsComplete")
        << &TDM::UpdateAsComplete
        << QStringList{
               u"Update invoices "_s,
               u"set completed=1 "_s,
               u"where idSender=:idSender and compilingYear=:compilingYear and number=:number"_s,
               u""_s,
           };
    QTest::newRow("DeleteInvoice")
        << &TDM::DeleteInvoice
        << QStringList{
               u"DELETE FROM invoices "_s,
               u"WHERE idSender=:idSender AND compilingyear=:compilingyear AND number=:number AND Sv=0"_s,
           };
    QTest::newRow("Check")
        << &TDM::Check
        << QStringList{
               u"Select completed from invoices where idSender=:idSen and compilingYear=:Year and number=:numb"_s,
           };
    QTest::newRow("SelNastr") << &TDM::SelNastr
                              << QStringList{
                                     u"Select UNN"_s,
                                     u"from tbPredpr "_s,
                                     u"WHERE idPredpr=(SELECT idPredpr FROM tbNastrPredpr)"_s,
                                 };
    QTest::newRow("DelZero") << &TDM::DelZero
                             << QStringList{
                                    u"DELETE FROM invoices"_s,
                                    u"WHERE completed is null"_s,
                                };
    QTest::newRow("qSelectInvPredprs") << &TDM::qSelectInvPredprs
                                       << QStringList{
                                              u"SELECT *"_s,
                                              u"FROM invPredprs"_s,
                                              u"ORDER BY unn, dopUnn"_s,
                                          };
}

void TestStatements::msSqlTextsExact()
{
    QFETCH(StatementOf, statement);
    QFETCH(QStringList, lines);
    TDM dm;
    QCOMPARE((dm.*statement).text(Dialect::MsSql), joined(lines));
}

void TestStatements::placeholdersDeclared_data()
{
    QTest::addColumn<StatementOf>("statement");
    QTest::addColumn<int>("count");
    QTest::newRow("InvoicesInsert") << &TDM::InvoicesInsert << 36;
    QTest::newRow("RosterInsert") << &TDM::RosterInsert << 17;
    QTest::newRow("DescriptionsInsert") << &TDM::DescriptionsInsert << 2;
    QTest::newRow("DocumentsInsert") << &TDM::DocumentsInsert << 11;
    QTest::newRow("DocCheck") << &TDM::DocCheck << 3;
    QTest::newRow("FindSkl") << &TDM::FindSkl << 3;
    QTest::newRow("SelPredprByUnn") << &TDM::SelPredprByUnn << 1;
    QTest::newRow("qSelectInvPredpr") << &TDM::qSelectInvPredpr << 2;
    QTest::newRow("FindOriginal") << &TDM::FindOriginal << 3;
    QTest::newRow("UpdateAsComplete") << &TDM::UpdateAsComplete << 3;
    QTest::newRow("DeleteInvoice") << &TDM::DeleteInvoice << 3;
    QTest::newRow("Check") << &TDM::Check << 3;
    QTest::newRow("SelNastr") << &TDM::SelNastr << 0;
    QTest::newRow("DelZero") << &TDM::DelZero << 0;
    QTest::newRow("qSelectInvPredprs") << &TDM::qSelectInvPredprs << 0;
}

// Every placeholder names a declared parameter, in both dialects, and each stands once.
void TestStatements::placeholdersDeclared()
{
    QFETCH(StatementOf, statement);
    QFETCH(int, count);
    TDM dm;
    Statement& s = dm.*statement;
    for (const Dialect dialect : {Dialect::MsSql, Dialect::Sqlite}) {
        const QString text = s.text(dialect);
        const QSet<QString> names = placeholders(text);
        QCOMPARE(names.size(), count);
        for (const QString& placeholder : names) {
            QCOMPARE(text.count(QRegularExpression(u":%1(?![A-Za-z0-9_])"_s.arg(placeholder))), 1);
            // "[name]" stands as :name_, since Qt binds only letters, digits and _.
            const QString name =
                placeholder.endsWith(u'_') ? u'[' + placeholder.chopped(1) + u']' : placeholder;
            s.setNull(name); // throws for an undeclared one
        }
    }
}

void TestStatements::sqliteTextsDifferOnlyWhereNeeded()
{
    TDM dm;
    QCOMPARE(dm.InvoicesInsert.text(Dialect::Sqlite), dm.InvoicesInsert.text(Dialect::MsSql));
    QCOMPARE(dm.DelZero.text(Dialect::Sqlite), dm.DelZero.text(Dialect::MsSql));
    QVERIFY(dm.SelPredprByUnn.text(Dialect::Sqlite).contains(u"LIMIT 1"_s));
    QVERIFY(!dm.SelPredprByUnn.text(Dialect::Sqlite).contains(u"TOP"_s));
    QVERIFY(dm.FindSkl.text(Dialect::Sqlite).contains(u"substr("_s));
    QVERIFY(dm.RosterInsert.text(Dialect::Sqlite).contains(u"last_insert_rowid()"_s));
    // The default dialect of a module not yet open is SQLite.
    QCOMPARE(dm.FindSkl.text(), dm.FindSkl.text(Dialect::Sqlite));
}

QTEST_APPLESS_MAIN(TestStatements)
#include "tst_statements.moc"
