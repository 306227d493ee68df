#include <QtTest>

class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void builds() { QVERIFY(true); }
};

QTEST_APPLESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
