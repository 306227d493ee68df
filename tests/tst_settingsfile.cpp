#include "data/error.h"
#include "data/settingsfile.h"

#include <QtTest>

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void readsLines_data();
    void readsLines();
    void missingFileIsAnError();
    void invoiceFolderPrefix_data();
    void invoiceFolderPrefix();

private:
    QString write(const QByteArray& bytes);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestSettingsFile::write(const QByteArray& bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("MdbConnect%1.ini").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestSettingsFile::readsLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<QString>("line2");

    const QString cs = QStringLiteral("Provider=SQLOLEDB.1;Data Source=SRV01;Initial Catalog=Бухгалтерия");
    const QString folder = QStringLiteral("D:\\ЭСЧФ\\Входящие\\");
    const QByteArray csUtf8 = cs.toUtf8();
    const QByteArray folderUtf8 = folder.toUtf8();
    // The same two lines as Windows wrote them in the Cyrillic ANSI code page.
    const QByteArray csAnsi = "Provider=SQLOLEDB.1;Data Source=SRV01;Initial Catalog="
                              "\xC1\xF3\xF5\xE3\xE0\xEB\xF2\xE5\xF0\xE8\xFF";
    const QByteArray folderAnsi = "D:\\\xDD\xD1\xD7\xD4\\\xC2\xF5\xEE\xE4\xFF\xF9\xE8\xE5\\";

    QTest::newRow("UTF-8, CR LF") << csUtf8 + "\r\n" + folderUtf8 + "\r\n" << cs << folder;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + csUtf8 + "\r\n" + folderUtf8 + "\r\n" << cs << folder;
    QTest::newRow("UTF-8, LF, no final newline") << csUtf8 + "\n" + folderUtf8 << cs << folder;
#ifndef Q_OS_WIN
    QTest::newRow("windows-1251") << csAnsi + "\r\n" + folderAnsi + "\r\n" << cs << folder;
    QTest::newRow("windows-1251 only in line 2")
        << QByteArray("Provider=SQLite;Data Source=a.db\r\n") + folderAnsi
        << QStringLiteral("Provider=SQLite;Data Source=a.db") << folder;
#endif
    QTest::newRow("lines after the second are ignored")
        << QByteArray("one\r\ntwo\r\nthree\r\n") << QStringLiteral("one") << QStringLiteral("two");
    QTest::newRow("one line only") << csUtf8 + "\r\n" << cs << QString();
    QTest::newRow("one line, no newline") << csUtf8 << cs << QString();
    QTest::newRow("empty file") << QByteArray() << QString() << QString();
    QTest::newRow("blanks are kept") << QByteArray(" a ; b \r\n C:\\x \r\n") << QStringLiteral(" a ; b ")
                                     << QStringLiteral(" C:\\x ");
    QTest::newRow("only the last CR goes")
        << QByteArray("a\r\r\nb\r\n") << QStringLiteral("a\r") << QStringLiteral("b");
}

void TestSettingsFile::readsLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line1);
    QFETCH(QString, line2);
    const QString path = write(bytes);
    const eschf::SettingsFile settings = eschf::readSettingsFile(path);
    QCOMPARE(settings.connectionString, line1);
    QCOMPARE(settings.invoiceFolder, line2);
    QCOMPARE(settings.directory, QFileInfo(path).absolutePath());
}

void TestSettingsFile::missingFileIsAnError()
{
    const QString path = m_dir.filePath(QStringLiteral("absent.ini"));
    try {
        eschf::readSettingsFile(path);
        QFAIL("read a missing file");
    } catch (const eschf::Error& e) {
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(path)), qPrintable(e.message()));
    }
}

void TestSettingsFile::invoiceFolderPrefix_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("prefix");

    const QString folder = m_dir.filePath(QStringLiteral("Входящие ЭСЧФ"));
    QVERIFY(QDir().mkpath(folder));
    const QString sep = QDir::separator();

    QTest::newRow("existing folder without separator") << folder << folder + sep;
    QTest::newRow("with separator") << folder + "/" << folder + "/";
    QTest::newRow("a prefix of file names stays") << m_dir.filePath(QStringLiteral("Входящие ЭСЧФ/2022-"))
                                                  << m_dir.filePath(QStringLiteral("Входящие ЭСЧФ/2022-"));
    QTest::newRow("no such folder stays")
        << m_dir.filePath(QStringLiteral("nothing")) << m_dir.filePath(QStringLiteral("nothing"));
    QTest::newRow("empty stays") << QString() << QString();
#ifdef Q_OS_WIN
    QTest::newRow("backslash counts")
        << QDir::toNativeSeparators(folder) + "\\" << QDir::toNativeSeparators(folder) + "\\";
    QTest::newRow("native, without separator")
        << QDir::toNativeSeparators(folder) << QDir::toNativeSeparators(folder) + "\\";
#else
    // Outside Windows a backslash is part of a name, so this is a prefix in the temporary folder.
    QTest::newRow("backslash is not a separator here") << folder + "\\" << folder + "\\";
#endif
}

void TestSettingsFile::invoiceFolderPrefix()
{
    QFETCH(QString, line);
    QFETCH(QString, prefix);
    QCOMPARE(eschf::invoiceFolderPrefix(line), prefix);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
