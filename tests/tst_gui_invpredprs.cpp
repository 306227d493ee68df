// The branch redirection window on a real database: the SQLite file through QSQLITE, the same file
// through QODBC and the SQLite ODBC driver, and the SQL Server that ESCHF_TEST_MSSQL names.
#include "app/messages.h"
#include "app/program.h"
#include "app/tfrmmain.h"
#include "data/error.h"
#include "data/query.h"
#include "data/tdm.h"
#include "settings/invpredprsgrid.h"
#include "settings/invpredprsmessages.h"
#include "settings/invpredprsmodel.h"
#include "settings/tfrminvpredprs.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace eschf;
using namespace Qt::Literals::StringLiterals;

namespace {

enum class Backend
{
    Sqlite,
    OdbcSqlite,
    MsSql,
};

QString odbcSqliteDriver()
{
    QFile ini(u"/etc/odbcinst.ini"_s);
    if (ini.open(QIODevice::ReadOnly) && ini.readAll().contains("[SQLite3]"))
        return u"SQLite3"_s;
    return {};
}

// Key presses for every character, Cyrillic included.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

struct Message
{
    invpredprs::Ask kind;
    QString text;
};

} // namespace

Q_DECLARE_METATYPE(Backend)

class TestInvPredprsWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;
    Backend m_backend = Backend::Sqlite;
    std::unique_ptr<test::TestDatabase> m_database;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<TfrmInvPredprs> m_form;
    QList<Message> m_messages;
    bool m_answer = false; // to every question

    ConnectionParams connection() const;
    TfrmInvPredprs& openWindow();
    InvPredprsGrid* grid() { return m_form->InvPredprsDBGridEh; }
    InvPredprsModel* model() { return m_form->model(); }
    void seed(const QString& values);
    QString table() const;
    QString gridRows();
    QLineEdit* openCell(int row, int column);
    void typeCell(int row, int column, const QString& text);
    int rowOf(const QString& unn, int dopUnn);

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();

    void menuCommandOpensFreshModalWindow();
    void showsCurrentRowsEachTimeItOpens();
    void ordersUnnAsTextThenDopUnnAsNumber();
    void newRowPostedWhenLeavingIt_data();
    void newRowPostedWhenLeavingIt();
    void insertAndAppendKeys();
    void changesHitOnlyTheKeyedRow_data();
    void changesHitOnlyTheKeyedRow();
    void refusedRowStaysInEditing_data();
    void refusedRowStaysInEditing();
    void changeOfVanishedRowReported();
    void keyThatIsNotUniqueChangesNothing();
    void writeWaitsForTheImportAndKeepsTheRow();
    void closingPostsTheRow();
    void noConnectionGivesMessageAndEmptyGrid();
    void columnsFitTheGrid_data();
    void columnsFitTheGrid();
};

void TestInvPredprsWindow::initTestCase_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::newRow("QSQLITE") << Backend::Sqlite;
    QTest::newRow("QODBC-SQLite3") << Backend::OdbcSqlite;
    QTest::newRow("SQL Server") << Backend::MsSql;
}

void TestInvPredprsWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    prepareApplication(*qApp);
    invpredprs::setAskHandler([this](invpredprs::Ask kind, const QString& text) {
        m_messages.append({kind, text});
        return kind == invpredprs::Ask::Error || m_answer;
    });
}

void TestInvPredprsWindow::init()
{
    QFETCH_GLOBAL(Backend, backend);
    m_backend = backend;
    if (backend == Backend::OdbcSqlite && odbcSqliteDriver().isEmpty())
        QSKIP("the SQLite3 ODBC driver is not installed");
    if (backend == Backend::MsSql && test::serverConnectionString().isEmpty())
        QSKIP("ESCHF_TEST_MSSQL names no SQL Server");
    m_file = m_dir.filePath(u"window.db"_s);
    m_database = std::make_unique<test::TestDatabase>(
        backend == Backend::MsSql ? test::Backend::MsSql : test::Backend::Sqlite, m_file);
    m_dm = std::make_unique<TDM>(u"window"_s);
    m_dm->open(connection());
    m_messages.clear();
    m_answer = false;
}

void TestInvPredprsWindow::cleanup()
{
    m_form.reset();
    m_dm.reset();
    m_database.reset();
}

ConnectionParams TestInvPredprsWindow::connection() const
{
    if (m_backend == Backend::MsSql)
        return m_database->connectionParams();
    if (m_backend == Backend::OdbcSqlite)
        return {
            u"QODBC"_s,
            u"Driver=%1;Database=%2;Timeout=5000"_s.arg(odbcSqliteDriver(), eschf::test::hostPath(m_file)),
            {},
            {}};
    return {u"QSQLITE"_s, m_file, {}, {}};
}

TfrmInvPredprs& TestInvPredprsWindow::openWindow()
{
    m_form.reset();
    m_form = std::make_unique<TfrmInvPredprs>(*m_dm);
    m_form->show();
    if (!QTest::qWaitForWindowExposed(m_form.get()))
        qWarning("window not exposed");
    return *m_form;
}

void TestInvPredprsWindow::seed(const QString& values)
{
    m_database->exec(u"INSERT INTO invPredprs(unn, dopUnn, newDopUnn) VALUES "_s + values);
}

// The table as "unn/dopUnn/newDopUnn" rows in key order.
QString TestInvPredprsWindow::table() const
{
    QStringList rows;
    for (const QStringList& row :
         m_database->select(u"SELECT unn, dopUnn, newDopUnn FROM invPredprs ORDER BY unn, dopUnn"_s).rows)
        rows << row.join(u'/');
    return rows.join(u' ');
}

QString TestInvPredprsWindow::gridRows()
{
    QStringList rows;
    for (int row = 0; row < model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model()->columnCount(); ++column)
            cells << model()->index(row, column).data().toString();
        rows << cells.join(u'/');
    }
    return rows.join(u' ');
}

QLineEdit* TestInvPredprsWindow::openCell(int row, int column)
{
    const QModelIndex index = model()->index(row, column);
    grid()->setCurrentIndex(index);
    grid()->edit(index);
    for (QLineEdit* editor : grid()->viewport()->findChildren<QLineEdit*>()) {
        if (!editor->isHidden())
            return editor;
    }
    return nullptr;
}

// Types into a cell as the operator does and ends the cell with Enter, staying in the row.
void TestInvPredprsWindow::typeCell(int row, int column, const QString& text)
{
    QLineEdit* editor = openCell(row, column);
    QVERIFY(editor);
    editor->selectAll();
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    else
        typeText(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits an Enter queued
}

int TestInvPredprsWindow::rowOf(const QString& unn, int dopUnn)
{
    for (int row = 0; row < model()->rowCount(); ++row) {
        if (model()->index(row, 0).data().toString() == unn &&
            model()->index(row, 1).data().toString() == QString::number(dopUnn))
            return row;
    }
    return -1;
}

void TestInvPredprsWindow::menuCommandOpensFreshModalWindow()
{
    seed(u"('100', 1, 2)"_s);
    const QString settings = m_dir.filePath(u"MdbConnect.ini"_s);
    test::writeSettings(settings, m_database->connectionString(), m_dir.path() + u"/"_s);
    setMessageHandler([](MessageKind, const QString&) {});
    TDM mainDm(u"MDBConnection"_s);
    TfrmMain owner(mainDm, settings);
    owner.show();
    QList<QPointer<QWidget>> seen;
    for (int use = 0; use < 2; ++use) {
        bool checked = false;
        QTimer::singleShot(0, this, [&] {
            auto* form = qobject_cast<TfrmInvPredprs*>(QApplication::activeModalWidget());
            QVERIFY(form);
            checked = true;
            seen << form;
            QCOMPARE(form->parentWidget(), static_cast<QWidget*>(&owner));
            QCOMPARE(form->windowTitle(), u"Настройка перенаправления филиалов"_s);
            QVERIFY(form->windowFlags().testFlags(Qt::WindowMinMaxButtonsHint));
            QCOMPARE(form->font().family(), u"Tahoma"_s);
            QCOMPARE(form->model()->rowCount(), 1);
            const QStringList titles{u"УНП"_s, u"Код филиала"_s, u"Новый код филиала"_s};
            for (int column = 0; column < titles.size(); ++column)
                QCOMPARE(form->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
            form->close();
        });
        owner.FilialSettingsMMBtn->trigger();
        QVERIFY(checked);
        QVERIFY(owner.findChildren<TfrmInvPredprs*>().isEmpty());
    }
    setMessageHandler({});
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].isNull() && seen[1].isNull());
}

void TestInvPredprsWindow::showsCurrentRowsEachTimeItOpens()
{
    seed(u"('100', 1, 2), ('200', 3, 4)"_s);
    openWindow();
    QCOMPARE(gridRows(), u"100/1/2 200/3/4"_s);
    m_form.reset();

    // Changed by someone else between the two openings, the window's connection staying open.
    m_database->exec(u"UPDATE invPredprs SET newDopUnn = 5 WHERE unn = '200';"
                     u"DELETE FROM invPredprs WHERE unn = '100';"
                     u"INSERT INTO invPredprs VALUES ('300', 6, 7)"_s);
    openWindow();
    QCOMPARE(gridRows(), u"200/3/5 300/6/7"_s);
    QVERIFY(m_messages.isEmpty());
}

void TestInvPredprsWindow::ordersUnnAsTextThenDopUnnAsNumber()
{
    seed(u"('9', 1, 1), ('10', 10, 1), ('10', 9, 1), ('100200300', 1, 1), ('10', 2, 1)"_s);
    openWindow();
    QCOMPARE(gridRows(), u"10/2/1 10/9/1 10/10/1 100200300/1/1 9/1/1"_s);
}

void TestInvPredprsWindow::newRowPostedWhenLeavingIt_data()
{
    QTest::addColumn<QString>("leaving");
    QTest::newRow("Up from the cell editor") << u"up"_s;
    QTest::newRow("Tab past the last cell") << u"tab"_s;
    QTest::newRow("click on another row") << u"click"_s;
    QTest::newRow("current row set by program") << u"program"_s;
    QTest::newRow("Insert of another row") << u"insert"_s;
}

void TestInvPredprsWindow::newRowPostedWhenLeavingIt()
{
    QFETCH(QString, leaving);
    if (m_backend == Backend::OdbcSqlite && test::underWine())
        QSKIP("Wine: the ODBC driver here is the host's SQLite (unix locking) inside a process whose "
              "checks read the same WAL database with the Windows SQLite (LockFileEx locking)");
    seed(u"('100', 1, 2)"_s);
    openWindow();
    // The import worker's own connection, as organisation resolution reads the redirection.
    TDM worker(u"worker"_s);
    worker.open(connection());
    const auto redirection = [&worker]() -> QVariant {
        worker.qSelectInvPredpr.setParam(u"unn", u"100200300"_s);
        worker.qSelectInvPredpr.setParam(u"dopUnn", 7);
        worker.qSelectInvPredpr.open();
        const QVariant value =
            worker.qSelectInvPredpr.eof() ? QVariant() : worker.qSelectInvPredpr.field(u"newDopUnn");
        worker.qSelectInvPredpr.close();
        return value;
    };

    QTest::keyClick(grid(), Qt::Key_Down); // past the last row: a new row
    QCOMPARE(model()->rowCount(), 2);
    QVERIFY(model()->isInserting());
    typeCell(1, 0, u"100200300"_s);
    typeCell(1, 1, u"7"_s);
    QLineEdit* editor = openCell(1, 2);
    QVERIFY(editor);
    typeText(editor, u"12"_s);

    // Still in editing: nothing is in the table, the resolution does not see it.
    QCOMPARE(table(), u"100/1/2"_s);
    QVERIFY(redirection().isNull());

    if (leaving == u"up"_s) {
        QTest::keyClick(editor, Qt::Key_Up);
    } else if (leaving == u"tab"_s) {
        QTest::keyClick(editor, Qt::Key_Tab);
    } else if (leaving == u"click"_s) {
        const QRect cell = grid()->visualRect(model()->index(0, 1));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    } else if (leaving == u"program"_s) {
        QTest::keyClick(editor, Qt::Key_Return);
        grid()->setCurrentIndex(model()->index(0, 0));
    } else {
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClick(grid(), Qt::Key_Insert);
    }

    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
    QCOMPARE(table(), u"100/1/2 100200300/7/12"_s);
    QCOMPARE(redirection().toInt(), 12);
    if (leaving == u"insert"_s) {
        QCOMPARE(model()->editRow(), 1); // the new one, before the posted row
        QCOMPARE(model()->index(2, 0).data().toString(), u"100200300"_s);
    } else {
        QCOMPARE(model()->editRow(), -1);
        QCOMPARE(gridRows(), u"100/1/2 100200300/7/12"_s);
    }
}

void TestInvPredprsWindow::insertAndAppendKeys()
{
    seed(u"('100', 1, 2), ('200', 3, 4)"_s);
    openWindow();

    // Insert puts the new row before the current one and keeps it there after the post.
    grid()->setCurrentIndex(model()->index(1, 0));
    QTest::keyClick(grid(), Qt::Key_Insert);
    QCOMPARE(model()->editRow(), 1);
    QCOMPARE(grid()->currentIndex().row(), 1);
    QTest::keyClick(grid(), Qt::Key_Insert); // already on an empty new row: nothing more
    QCOMPARE(model()->rowCount(), 3);
    typeCell(1, 0, u"300"_s);
    typeCell(1, 1, u"5"_s);
    typeCell(1, 2, u"6"_s);
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(gridRows(), u"100/1/2 300/5/6 200/3/4"_s);
    QCOMPARE(grid()->currentIndex().row(), 2);

    // A new row nothing was typed into goes away when left, and is never written.
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(model()->rowCount(), 4);
    QTest::keyClick(grid(), Qt::Key_Down); // on the empty new row: no second one
    QCOMPARE(model()->rowCount(), 4);
    QTest::keyClick(grid(), Qt::Key_Up);
    QCOMPARE(model()->rowCount(), 3);
    QCOMPARE(grid()->currentIndex().row(), 2);

    // Esc drops a new row and returns to the row it was inserted before.
    grid()->setCurrentIndex(model()->index(0, 0));
    QTest::keyClick(grid(), Qt::Key_Insert);
    typeCell(0, 0, u"400"_s);
    QTest::keyClick(grid(), Qt::Key_Escape);
    QCOMPARE(gridRows(), u"100/1/2 300/5/6 200/3/4"_s);
    QCOMPARE(grid()->currentIndex().row(), 0);
    QVERIFY(m_form->isVisible()); // Esc does not close the window
    QCOMPARE(table(), u"100/1/2 200/3/4 300/5/6"_s);
    QVERIFY(m_messages.isEmpty());
}

void TestInvPredprsWindow::changesHitOnlyTheKeyedRow_data()
{
    QTest::addColumn<int>("column"); // -1: delete the row
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString others = u"100/1/5 1000/2/7 200/2/8"_s;
    QTest::newRow("new code") << 2 << u"9"_s << u"100/1/5 100/2/9 1000/2/7 200/2/8"_s;
    QTest::newRow("branch code, part of the key") << 1 << u"3"_s << u"100/1/5 100/3/6 1000/2/7 200/2/8"_s;
    QTest::newRow("taxpayer number, part of the key")
        << 0 << u"300"_s << u"100/1/5 1000/2/7 200/2/8 300/2/6"_s;
    QTest::newRow("blanks around are not kept") << 0 << u" 300 "_s << u"100/1/5 1000/2/7 200/2/8 300/2/6"_s;
    QTest::newRow("typed back as it was") << 2 << u"6"_s << u"100/1/5 100/2/6 1000/2/7 200/2/8"_s;
    QTest::newRow("deleted") << -1 << QString() << others;
}

void TestInvPredprsWindow::changesHitOnlyTheKeyedRow()
{
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    seed(u"('100', 1, 5), ('100', 2, 6), ('1000', 2, 7), ('200', 2, 8)"_s);
    openWindow();
    const int row = rowOf(u"100"_s, 2);
    QVERIFY(row >= 0);
    if (column < 0) {
        grid()->setCurrentIndex(model()->index(row, 0));
        m_answer = false;
        QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].text, u"Удалить запись?"_s);
        QCOMPARE(model()->rowCount(), 4); // answered No
        m_answer = true;
        QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(model()->rowCount(), 3);
        QCOMPARE(m_messages.size(), 2);
    } else {
        typeCell(row, column, text);
        grid()->setCurrentIndex(model()->index(row == 0 ? 1 : 0, 0));
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
    }
    QCOMPARE(table(), expected);
    QCOMPARE(model()->editRow(), -1);
}

void TestInvPredprsWindow::refusedRowStaysInEditing_data()
{
    QTest::addColumn<int>("row"); // -1: a new row
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<int>("column"); // the cell the cursor is put on
    QTest::addColumn<QString>("message");
    QTest::newRow("letters in a branch code") << -1 << QStringList{u"300"_s, u"12а"_s, u"1"_s} << 1
                                              << u"Код филиала «12а» не является целым числом"_s;
    QTest::newRow("letters in the new code")
        << -1 << QStringList{u"300"_s, u"1"_s, u"x"_s} << 2 << u"Новый код филиала «x» не является целым"_s;
    QTest::newRow("branch code beyond 32 bits")
        << -1 << QStringList{u"300"_s, u"2147483648"_s, u"1"_s} << 1 << u"вне допустимых пределов"_s;
    QTest::newRow("taxpayer number of 21 characters")
        << -1 << QStringList{u"123456789012345678901"_s, u"1"_s, u"1"_s} << 0 << u"длиннее 20 знаков"_s;
    QTest::newRow("no taxpayer number")
        << -1 << QStringList{u"  "_s, u"1"_s, u"1"_s} << 0 << u"Не задан УНП"_s;
    QTest::newRow("no new code") << -1 << QStringList{u"300"_s, u"1"_s, QString()} << 2
                                 << u"Не задан новый код филиала"_s;
    QTest::newRow("new row with a key already there")
        << -1 << QStringList{u"100"_s, u"1"_s, u"9"_s} << 1 << u"УНП 100 с кодом филиала 1 уже есть"_s;
    QTest::newRow("stored row moved onto another's key")
        << 1 << QStringList{u"100"_s, u"1"_s, u"6"_s} << 1 << u"УНП 100 с кодом филиала 1 уже есть"_s;
    QTest::newRow("stored row with letters") << 0 << QStringList{u"100"_s, u"1"_s, u"пять"_s} << 2
                                             << u"Новый код филиала «пять» не является целым"_s;
}

void TestInvPredprsWindow::refusedRowStaysInEditing()
{
    QFETCH(int, row);
    QFETCH(QStringList, typed);
    QFETCH(int, column);
    QFETCH(QString, message);
    seed(u"('100', 1, 5), ('100', 2, 6)"_s);
    const QString before = table();
    openWindow();
    if (row < 0) {
        grid()->setCurrentIndex(model()->index(1, 0));
        QTest::keyClick(grid(), Qt::Key_Down);
        row = 2;
    }
    for (int c = 0; c < typed.size(); ++c)
        typeCell(row, c, typed[c]);

    grid()->setCurrentIndex(model()->index(row == 0 ? 1 : 0, 0));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].kind, invpredprs::Ask::Error);
    QVERIFY2(m_messages[0].text.contains(message), qPrintable(m_messages[0].text));
    QCOMPARE(model()->editRow(), row);
    QCOMPARE(grid()->currentIndex(), model()->index(row, column));
    for (int c = 0; c < typed.size(); ++c)
        QCOMPARE(model()->index(row, c).data().toString(), typed[c]);
    QCOMPARE(table(), before);

    // Leaving again by the keys is refused the same way; Esc gives the stored row back.
    QTest::keyClick(grid(), row == 0 ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(m_messages.size(), 2);
    QCOMPARE(model()->editRow(), row);
    QTest::keyClick(grid(), Qt::Key_Escape);
    QCOMPARE(model()->editRow(), -1);
    QCOMPARE(gridRows(), u"100/1/5 100/2/6"_s);
    QCOMPARE(table(), before);
}

void TestInvPredprsWindow::changeOfVanishedRowReported()
{
    seed(u"('100', 1, 5), ('100', 2, 6)"_s);
    openWindow();
    m_database->exec(u"DELETE FROM invPredprs WHERE dopUnn = 2"_s);
    typeCell(1, 2, u"9"_s);
    grid()->setCurrentIndex(model()->index(0, 0));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].text.contains(u"не найдена в таблице"_s), qPrintable(m_messages[0].text));
    QCOMPARE(model()->editRow(), 1);
    QCOMPARE(model()->index(1, 2).data().toString(), u"9"_s);
    QCOMPARE(table(), u"100/1/5"_s); // not inserted in its place either

    m_answer = true;
    QTest::keyClick(grid(), Qt::Key_Escape);
    QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_messages.size(), 3);
    QVERIFY2(m_messages[2].text.startsWith(u"Запись не удалена"_s), qPrintable(m_messages[2].text));
    QCOMPARE(model()->rowCount(), 2);
}

// A database whose table has no key: an update or delete that would hit two rows is not done.
void TestInvPredprsWindow::keyThatIsNotUniqueChangesNothing()
{
    m_dm->close();
    m_database->exec(u"DROP TABLE invPredprs;"
                     u"CREATE TABLE invPredprs (unn varchar(20), dopUnn int, newDopUnn int);"
                     u"INSERT INTO invPredprs VALUES ('100', 1, 5), ('100', 1, 5), ('200', 1, 7)"_s);
    m_dm->open(connection());
    openWindow();
    typeCell(0, 2, u"9"_s);
    grid()->setCurrentIndex(model()->index(2, 0));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].text.contains(u"2 строк"_s), qPrintable(m_messages[0].text));
    QCOMPARE(model()->editRow(), 0);
    QTest::keyClick(grid(), Qt::Key_Escape);

    m_answer = true;
    QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_messages.size(), 3);
    QVERIFY2(m_messages[2].text.contains(u"2 строк"_s), qPrintable(m_messages[2].text));
    QCOMPARE(table(), u"100/1/5 100/1/5 200/1/7"_s);
}

// The import worker writes each file in a transaction of its own connection: on SQLite the window
// waits for it at most the busy timeout, and a row it could not write stays in editing.
void TestInvPredprsWindow::writeWaitsForTheImportAndKeepsTheRow()
{
    seed(u"('100', 1, 5)"_s);
    openWindow();
    TDM worker(u"worker"_s);
    worker.open(connection());
    worker.transaction();
    QSqlQuery write = newQuery(worker.database());
    QVERIFY(write.exec(u"INSERT INTO tbPredpr(UNN, DopUNN) VALUES ('500', 1)"_s));

    // Reading goes on while the worker writes.
    m_form.reset();
    openWindow();
    QCOMPARE(gridRows(), u"100/1/5"_s);

    typeCell(0, 2, u"6"_s);
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(grid(), Qt::Key_Down);
    QVERIFY(clock.elapsed() < 30000);
    if (m_backend == Backend::MsSql) {
        // The server locks rows, not the whole database: the worker's holds nothing of this table.
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
        QCOMPARE(table(), u"100/1/6"_s);
        worker.commit();
        return;
    }
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].text.startsWith(u"База данных не приняла строку"_s),
             qPrintable(m_messages[0].text));
    QCOMPARE(model()->editRow(), 0);
    QCOMPARE(model()->index(0, 2).data().toString(), u"6"_s);

    worker.commit();
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(table(), u"100/1/6"_s);
}

void TestInvPredprsWindow::closingPostsTheRow()
{
    seed(u"('100', 1, 5)"_s);
    openWindow();
    typeCell(0, 2, u"6"_s);
    m_form->close();
    QVERIFY(!m_form->isVisible());
    QCOMPARE(table(), u"100/1/6"_s);

    // A row that cannot be written: the operator decides.
    openWindow();
    typeCell(0, 2, u"шесть"_s);
    m_answer = false;
    m_form->close();
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].kind, invpredprs::Ask::Question);
    QVERIFY(m_messages[0].text.contains(u"не является целым числом"_s));
    QCOMPARE(model()->editRow(), 0);
    m_answer = true;
    m_form->close();
    QVERIFY(!m_form->isVisible());
    QCOMPARE(table(), u"100/1/6"_s);
}

void TestInvPredprsWindow::noConnectionGivesMessageAndEmptyGrid()
{
    seed(u"('100', 1, 5)"_s);
    m_dm->close();
    openWindow();
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].kind, invpredprs::Ask::Error);
    QVERIFY2(m_messages[0].text.contains(u"нет соединения"_s), qPrintable(m_messages[0].text));
    QCOMPARE(model()->rowCount(), 0);
    QVERIFY(model()->isReadOnly());
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Insert);
    QCOMPARE(model()->rowCount(), 0);
    QCOMPARE(m_messages.size(), 1);
}

void TestInvPredprsWindow::columnsFitTheGrid_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("narrow") << 260;
    QTest::newRow("designed") << 420;
    QTest::newRow("wide") << 1000;
}

void TestInvPredprsWindow::columnsFitTheGrid()
{
    QFETCH(int, width);
    seed(u"('100', 1, 5)"_s);
    openWindow();
    const auto widths = [this] {
        const QHeaderView* columns = grid()->horizontalHeader();
        return std::array<int, 3>{columns->sectionSize(0), columns->sectionSize(1), columns->sectionSize(2)};
    };
    const auto sum = [&] {
        const auto w = widths();
        return w[0] + w[1] + w[2];
    };
    const double designed = 156.0 / grid()->horizontalHeader()->defaultSectionSize();

    m_form->resize(width, 300);
    QTRY_COMPARE(sum(), grid()->viewport()->width());
    QVERIFY(qAbs(double(widths()[2]) / widths()[0] - designed) < 0.03);
    QVERIFY(qAbs(widths()[0] - widths()[1]) <= 1);

    // A row per line beyond the window's height brings the scroll bar: fitted again.
    for (int i = 0; i < 40; ++i)
        seed(u"('%1', 1, 1)"_s.arg(200 + i));
    openWindow();
    m_form->resize(width, 300);
    QTRY_VERIFY(grid()->verticalScrollBar()->isVisible());
    QTRY_COMPARE(sum(), grid()->viewport()->width());

    // A column the operator drags takes from the last; that proportion is kept on resizing.
    grid()->horizontalHeader()->resizeSection(0, widths()[0] + 20);
    QCOMPARE(sum(), grid()->viewport()->width());
    const double ratio = double(widths()[0]) / widths()[1];
    m_form->resize(width + 200, 300);
    QTRY_COMPARE(sum(), grid()->viewport()->width());
    QVERIFY(qAbs(double(widths()[0]) / widths()[1] - ratio) < 0.03);
}

QTEST_MAIN(TestInvPredprsWindow)
#include "tst_gui_invpredprs.moc"
