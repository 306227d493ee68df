// The invoice file commands: listing, deleting by mask, update mode, replacing files for sending,
// and starting the download script.
#include "app/messages.h"
#include "app/tfrmmain.h"
#include "data/tdm.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using eschf::MessageKind;

namespace {

#ifdef Q_OS_WIN
const QString kScriptName = QStringLiteral("receive2Dir.bat");
#else
const QString kScriptName = QStringLiteral("receive2Dir.sh");
#endif

QStringList lines(const QListWidget* list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result.append(list->item(row)->text());
    return result;
}

// Makes the entries under root: "a/b.xml=text" a file with that content, "a/c.xml/" a folder.
void makeEntries(const QString& root, const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(root).mkpath(entry));
            continue;
        }
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? entry : entry.left(equals);
        const QString filePath = root + QLatin1Char('/') + name;
        QVERIFY(QDir().mkpath(QFileInfo(filePath).path()));
        QFile file(filePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(equals < 0 ? QByteArray() : entry.mid(equals + 1).toUtf8());
    }
}

// What is under root, in the same notation; a folder's own content is not shown.
QStringList entriesUnder(const QString& root)
{
    QStringList result;
    const QDir base(root);
    for (const QString& sub : {QStringLiteral("recv"), QStringLiteral("recv3")}) {
        const QDir folder(base.filePath(sub));
        for (const QFileInfo& entry :
             folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
            if (entry.isDir()) {
                result.append(sub + QLatin1Char('/') + entry.fileName() + QLatin1Char('/'));
                continue;
            }
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray content = file.readAll();
            result.append(sub + QLatin1Char('/') + entry.fileName() +
                          (content.isEmpty() ? QString() : QLatin1Char('=') + QString::fromUtf8(content)));
        }
    }
    return result;
}

// A download script that notes where it was found and the directory it runs in.
void writeScript(const QString& folder, const QString& origin)
{
    QVERIFY(QDir().mkpath(folder));
    QFile script(QDir(folder).filePath(kScriptName));
    QVERIFY(script.open(QIODevice::WriteOnly));
#ifdef Q_OS_WIN
    script.write(QStringLiteral("@echo %1 %cd%>> \"%ESCHF_TEST_MARK%\"\r\n").arg(origin).toLocal8Bit());
#else
    script.write(QStringLiteral("echo %1 \"$(pwd)\" >> \"$ESCHF_TEST_MARK\"\n").arg(origin).toUtf8());
#endif
}

QString readMark(const QString& mark)
{
    QFile file(mark);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void listFiles_data();
    void listFiles();
    void listFilesKeepsLines();
    void deleteFilesLeavesFolders();
    void updateMode();
    void replaceSendingFiles_data();
    void replaceSendingFiles();
    void replaceWithoutFiles_data();
    void replaceWithoutFiles();
    void downloadScriptSearch_data();
    void downloadScriptSearch();
    void refreshOldFiles_data();
    void refreshOldFiles();

private:
    QString programFolder() const { return m_dir->path() + QStringLiteral("/program"); }
    QString markFile() const { return m_dir->filePath(QStringLiteral("mark.txt")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QPair<MessageKind, QString>> m_messages;
    std::unique_ptr<eschf::TDM> m_dm;
    std::unique_ptr<TfrmMain> m_window;
    QString m_workingDir;
    QByteArray m_path;
};

void TestFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(programFolder()));
    eschf::setMessageHandler([this](MessageKind kind, const QString& text) {
        m_messages.append({kind, text});
    });
    m_dm = std::make_unique<eschf::TDM>();
    m_window = std::make_unique<TfrmMain>(*m_dm, programFolder() + QStringLiteral("/MdbConnect.ini"));
    m_window->setProgramFolder(programFolder());
    m_messages.clear();
    m_workingDir = QDir::currentPath();
    m_path = qgetenv("PATH");
    qputenv("ESCHF_TEST_MARK", QDir::toNativeSeparators(markFile()).toLocal8Bit());
}

void TestFiles::cleanup()
{
    QDir::setCurrent(m_workingDir);
    qputenv("PATH", m_path);
    m_window.reset();
    m_dm.reset();
    eschf::setMessageHandler({});
    m_dir.reset();
}

void TestFiles::listFiles_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("folder"); // under the temporary folder
    QTest::addColumn<bool>("namesOnly");
    QTest::addColumn<QStringList>("expected"); // "~" stands for the temporary folder

    const QStringList entries{QStringLiteral("in/b.xml"),       QStringLiteral("in/A.XML"),
                              QStringLiteral("in/c.txt"),       QStringLiteral("in/d.xmlx"),
                              QStringLiteral("in/.hidden.xml"), QStringLiteral("in/sub.xml/"),
                              QStringLiteral("in/[1].xml"),     QStringLiteral("in/x1.xml")};
    const QStringList names{QStringLiteral(".hidden.xml"), QStringLiteral("[1].xml"),
                            QStringLiteral("A.XML"),       QStringLiteral("b.xml"),
                            QStringLiteral("sub.xml"),     QStringLiteral("x1.xml")};
    QTest::newRow("names only") << entries << QStringLiteral("in/") << true << names;
    QStringList paths;
    for (const QString& name : names)
        paths.append(QStringLiteral("~/in/") + name);
    QTest::newRow("with the folder") << entries << QStringLiteral("in/") << false << paths;
    // A folder text without its separator is a prefix of the names.
    QTest::newRow("prefix") << entries << QStringLiteral("in/x") << false
                            << QStringList{QStringLiteral("~/in/xx1.xml")};
    QTest::newRow("missing folder") << entries << QStringLiteral("none/") << true << QStringList();
}

void TestFiles::listFiles()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, folder);
    QFETCH(bool, namesOnly);
    QFETCH(QStringList, expected);

    makeEntries(m_dir->path(), entries);
    m_window->ListFiles(m_dir->path() + QLatin1Char('/') + folder, QStringLiteral("*.xml"), namesOnly);
    expected.replaceInStrings(QStringLiteral("~"), m_dir->path());
    QCOMPARE(lines(m_window->LogLB), expected);
}

void TestFiles::listFilesKeepsLines()
{
    makeEntries(m_dir->path(), {QStringLiteral("in/a.xml")});
    m_window->LogLB->addItem(QStringLiteral("before"));
    m_window->ListFiles(m_dir->path() + QStringLiteral("/in/"), QStringLiteral("*.xml"), true);
    QCOMPARE(lines(m_window->LogLB), (QStringList{QStringLiteral("before"), QStringLiteral("a.xml")}));
}

// A folder whose name matches the mask keeps itself and everything in it.
void TestFiles::deleteFilesLeavesFolders()
{
    const QString root = programFolder();
    makeEntries(root,
                {QStringLiteral("recv/a.xml"), QStringLiteral("recv/B.XML"), QStringLiteral("recv/.h.xml"),
                 QStringLiteral("recv/keep.txt"), QStringLiteral("recv/sub.xml/inside.xml")});
    QFile readOnly(root + QStringLiteral("/recv/ro.xml"));
    QVERIFY(readOnly.open(QIODevice::WriteOnly));
    readOnly.close();
    readOnly.setPermissions(QFileDevice::ReadOwner);

    TfrmMain::DeleteFiles(root + QStringLiteral("/recv/*.xml"));
    QCOMPARE(entriesUnder(root),
             (QStringList{QStringLiteral("recv/keep.txt"), QStringLiteral("recv/sub.xml/")}));
    QVERIFY(QFileInfo::exists(root + QStringLiteral("/recv/sub.xml/inside.xml")));
}

void TestFiles::updateMode()
{
    const QList<QWidget*> controls{m_window->UpdateOldFiles, m_window->UpdateSendingFiles,
                                   m_window->UpdateOldInDBCB};
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCheckBox* const mode = m_window->EnableUpdateOldCB;
    QTest::mouseClick(mode, Qt::LeftButton, Qt::NoModifier, QPoint(5, mode->height() / 2));
    QVERIFY(mode->isChecked());
    for (const QWidget* control : controls)
        QVERIFY(control->isEnabled());

    m_window->UpdateOldInDBCB->setChecked(true);
    QTest::mouseClick(mode, Qt::LeftButton, Qt::NoModifier, QPoint(5, mode->height() / 2));
    QVERIFY(!mode->isChecked());
    for (const QWidget* control : controls)
        QVERIFY(!control->isEnabled());
    // Switched off, the box keeps its tick: the import reads it.
    QVERIFY(m_window->UpdateOldInDBCB->isChecked());
}

void TestFiles::replaceSendingFiles_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("replaced and missing")
        << QStringList{QStringLiteral("recv3/a.xml=old a"), QStringLiteral("recv3/b.xml=old b"),
                       QStringLiteral("recv/a.xml=new a"), QStringLiteral("recv/c.xml=new c")}
        << QStringList{QStringLiteral("a.xml - Заменён"), QStringLiteral("b.xml - Не найден")}
        << QStringList{QStringLiteral("recv/c.xml=new c"), QStringLiteral("recv3/a.xml=new a"),
                       QStringLiteral("recv3/b.xml=old b")};
    QTest::newRow("sub-folder named like a file")
        << QStringList{QStringLiteral("recv3/x.xml/"), QStringLiteral("recv/")}
        << QStringList{QStringLiteral("x.xml - Не найден")} << QStringList{QStringLiteral("recv3/x.xml/")};
    // Nothing can be copied onto a folder: both sides stay as they were.
    QTest::newRow("sub-folder with a namesake file")
        << QStringList{QStringLiteral("recv3/y.xml/"), QStringLiteral("recv/y.xml=new y")}
        << QStringList{QStringLiteral("y.xml - Ошибка замены")}
        << QStringList{QStringLiteral("recv/y.xml=new y"), QStringLiteral("recv3/y.xml/")};
    QTest::newRow("namesake in recv is a folder")
        << QStringList{QStringLiteral("recv3/z.xml=old z"), QStringLiteral("recv/z.xml/")}
        << QStringList{QStringLiteral("z.xml - Не найден")}
        << QStringList{QStringLiteral("recv/z.xml/"), QStringLiteral("recv3/z.xml=old z")};
    QTest::newRow("names matched without case")
        << QStringList{QStringLiteral("recv3/Q.XML=old"), QStringLiteral("recv/Q.XML=new")}
        << QStringList{QStringLiteral("Q.XML - Заменён")} << QStringList{QStringLiteral("recv3/Q.XML=new")};
}

void TestFiles::replaceSendingFiles()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, after);

    makeEntries(programFolder(), before);
    m_window->LogLB->addItem(QStringLiteral("an earlier line"));
    m_window->UpdateSendingFilesClick();
    QCOMPARE(::lines(m_window->LogLB), lines);
    QCOMPARE(entriesUnder(programFolder()), after);
    QCOMPARE(m_window->MainProgressBar->maximum(), lines.size() - 1);
    QCOMPARE(m_window->MainProgressBar->value(), lines.size() - 1);
    QVERIFY(m_messages.isEmpty());
}

void TestFiles::replaceWithoutFiles_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::newRow("no recv3") << QStringList();
    QTest::newRow("recv3 without invoices")
        << QStringList{QStringLiteral("recv3/readme.txt"), QStringLiteral("recv/a.xml")};
}

void TestFiles::replaceWithoutFiles()
{
    QFETCH(QStringList, before);

    makeEntries(programFolder(), before);
    m_window->LogLB->addItem(QStringLiteral("an earlier line"));
    m_window->UpdateSendingFilesClick();
    QCOMPARE(m_window->LogLB->count(), 0);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().first, MessageKind::Warning);
    QCOMPARE(m_messages.first().second, QStringLiteral("В папке нет файлов."));
}

void TestFiles::downloadScriptSearch_data()
{
    QTest::addColumn<QStringList>("placed"); // where scripts lie: program, cwd, path
    QTest::addColumn<QString>("started");    // whose script ran; empty: none

    QTest::newRow("program folder first")
        << QStringList{QStringLiteral("program"), QStringLiteral("cwd"), QStringLiteral("path")}
        << QStringLiteral("program");
    QTest::newRow("working directory next")
        << QStringList{QStringLiteral("cwd"), QStringLiteral("path")} << QStringLiteral("cwd");
    QTest::newRow("then PATH") << QStringList{QStringLiteral("path")} << QStringLiteral("path");
    QTest::newRow("nowhere") << QStringList() << QString();
}

void TestFiles::downloadScriptSearch()
{
    QFETCH(QStringList, placed);
    QFETCH(QString, started);

    const QString cwd = m_dir->filePath(QStringLiteral("cwd"));
    const QString onPath = m_dir->filePath(QStringLiteral("path"));
    QVERIFY(QDir().mkpath(cwd));
    for (const QString& place : placed)
        writeScript(place == QStringLiteral("program") ? programFolder() : m_dir->filePath(place), place);
    QVERIFY(QDir::setCurrent(cwd));
    qputenv("PATH", (QDir::toNativeSeparators(onPath) + QDir::listSeparator()).toLocal8Bit() + m_path);

    m_window->GetInvoicesBtnClick();
    if (started.isEmpty()) {
        QTest::qWait(300);
        QVERIFY(!QFileInfo::exists(markFile()));
    } else {
        // The script runs in the program's working directory.
        QTRY_COMPARE_WITH_TIMEOUT(readMark(markFile()),
                                  started + QLatin1Char(' ') + QDir::toNativeSeparators(cwd), 10000);
    }
    QVERIFY(m_messages.isEmpty());
}

void TestFiles::refreshOldFiles_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("invoices deleted")
        << QStringList{QStringLiteral("recv/a.xml"), QStringLiteral("recv/B.XML"),
                       QStringLiteral("recv/keep.txt"), QStringLiteral("recv/sub.xml/inside.xml"),
                       QStringLiteral("recv3/a.xml")}
        << QStringList{QStringLiteral("recv/keep.txt"), QStringLiteral("recv/sub.xml/"),
                       QStringLiteral("recv3/a.xml")};
    QTest::newRow("empty recv") << QStringList{QStringLiteral("recv/")} << QStringList();
    QTest::newRow("no recv") << QStringList() << QStringList();
}

// The download starts afterwards in every case, even with its own button disabled.
void TestFiles::refreshOldFiles()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);

    makeEntries(programFolder(), before);
    writeScript(programFolder(), QStringLiteral("program"));
    m_window->GetInvoicesBtn->setEnabled(false);
    m_window->UpdateOldFilesClick();
    QCOMPARE(entriesUnder(programFolder()), after);
    QTRY_VERIFY_WITH_TIMEOUT(readMark(markFile()).startsWith(QStringLiteral("program")), 10000);
    QVERIFY(m_messages.isEmpty());
}

QTEST_MAIN(TestFiles)
#include "tst_gui_files.moc"
