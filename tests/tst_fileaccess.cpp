#include "data/fileaccess.h"

#include <QtTest>

#include <thread>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

using namespace eschf;
using namespace Qt::StringLiterals;

class TestFileAccess : public QObject
{
    Q_OBJECT
private slots:
    void readsWhole_data();
    void readsWhole();
    void missingFile();
    void deletesFile();
#ifdef Q_OS_WIN
    void deletionWaitsForAnotherReader();
#endif

private:
    QTemporaryDir m_dir;
};

void TestFileAccess::readsWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    // Byte for byte: no text mode anywhere.
    QTest::newRow("CR LF and NUL") << "<a>\r\n\0\x1A</a>\n"_ba;
    QByteArray large(300 * 1024, 'x');
    for (qsizetype i = 0; i < large.size(); i += 997)
        large[i] = char(i % 251);
    QTest::newRow("larger than one read") << large;
}

void TestFileAccess::readsWhole()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath(u"whole.xml"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    const WholeFile read = readWholeFile(path);
    QVERIFY(read.opened);
    QVERIFY(read.complete);
    QCOMPARE(read.bytes, bytes);
    // Nothing holds the file afterwards: it can be deleted at once.
    QString error;
    QVERIFY2(deleteFile(path, &error), qPrintable(error));
}

void TestFileAccess::missingFile()
{
    const WholeFile read = readWholeFile(m_dir.filePath(u"absent.xml"_s));
    QVERIFY(!read.opened);
    QVERIFY(!read.complete);
    QVERIFY(!read.error.isEmpty());
    QString error;
    QVERIFY(!deleteFile(m_dir.filePath(u"absent.xml"_s), &error));
    QVERIFY(!error.isEmpty());
}

void TestFileAccess::deletesFile()
{
    const QString path = m_dir.filePath(u"gone.xml"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QString error;
    QVERIFY2(deleteFile(path, &error), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

#ifdef Q_OS_WIN
// Another program reading the file without delete sharing (another run, an antivirus): the
// deletion is refused while it reads and goes through once it has finished.
void TestFileAccess::deletionWaitsForAnotherReader()
{
    const QString path = m_dir.filePath(u"held.xml"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString native = QDir::toNativeSeparators(path);
    const auto hold = [&native] {
        return CreateFileW(reinterpret_cast<const wchar_t*>(native.utf16()), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    };

    HANDLE reader = hold();
    QVERIFY(reader != INVALID_HANDLE_VALUE);
    std::thread release([reader] {
        Sleep(200);
        CloseHandle(reader);
    });
    QString error;
    const bool deleted = deleteFile(path, &error);
    release.join();
    QVERIFY2(deleted, qPrintable(error));
    QVERIFY(!QFile::exists(path));

    // Held throughout: refused, with the system's reason.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    reader = hold();
    QVERIFY(reader != INVALID_HANDLE_VALUE);
    QElapsedTimer clock;
    clock.start();
    const bool refused = !deleteFile(path, &error);
    const qint64 waited = clock.elapsed();
    CloseHandle(reader);
    QVERIFY(refused);
    QVERIFY(!error.isEmpty());
    QVERIFY2(waited >= 500, qPrintable(QString::number(waited)));
    QVERIFY(QFile::exists(path));
}
#endif

QTEST_APPLESS_MAIN(TestFileAccess)
#include "tst_fileaccess.moc"
