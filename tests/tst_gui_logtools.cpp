// The commands on the log list: key filter, search, sort, copies, popup, mouse selection.
#include "app/logline.h"
#include "app/messages.h"
#include "app/tfrmmain.h"
#include "data/tdm.h"

#include <QAction>
#include <QClipboard>
#include <QCommandLinkButton>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

using eschf::MessageKind;
using KeyScript = std::function<void(QWidget*)>;
Q_DECLARE_METATYPE(KeyScript)

namespace {

const QString kOrgMarker = QStringLiteral("Не найдено организации с УНП");
const QString kInitialMarker = QStringLiteral("Не найдена исходная ЭСЧФ");

QString orgNotFoundLine(const QString& number, const QString& unp)
{
    return number + QStringLiteral(" - ") + kOrgMarker + QStringLiteral(" - ") + unp +
           QStringLiteral(" - Код филиала(доп УНП) - 1");
}

QStringList lines(const QListWidget* list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result.append(list->item(row)->text());
    return result;
}

QString clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

// Receives the address the shell was asked to open instead of a browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

class TestLogTools : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keyFilter_data();
    void keyFilter();
    void pasteFromMenuIsNotFiltered();
    void search_data();
    void search();
    void searchScrollsLineIntoView();
    void enterInSearchBoxSearches();
    void sort_data();
    void sort();
    void copyAll_data();
    void copyAll();
    void popupState_data();
    void popupState();
    void popupCommandsOfALine_data();
    void popupCommandsOfALine();
    void copyFromLine_data();
    void copyFromLine();
    void copyWithoutSelectionDoesNothing();
    void mouseSelects_data();
    void mouseSelects();
    void rightClickOpensPopupOnClickedLine();
    void registerPage();

private:
    void fill(const QStringList& lines);

    QTemporaryDir m_dir;
    QList<QString> m_messages;
    std::unique_ptr<eschf::TDM> m_dm;
    std::unique_ptr<TfrmMain> m_window;
};

void TestLogTools::init()
{
    eschf::setMessageHandler([this](MessageKind, const QString& text) { m_messages.append(text); });
    m_dm = std::make_unique<eschf::TDM>();
    m_window = std::make_unique<TfrmMain>(*m_dm, m_dir.filePath(QStringLiteral("MdbConnect.ini")));
    m_messages.clear();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestLogTools::cleanup()
{
    m_window.reset();
    m_dm.reset();
    eschf::setMessageHandler({});
}

void TestLogTools::fill(const QStringList& newLines)
{
    m_window->LogLB->clear();
    m_window->LogLB->addItems(newLines);
}

void TestLogTools::keyFilter_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<KeyScript>("keys");
    QTest::addColumn<QString>("after");

    const auto typed = [](const char* text) {
        return KeyScript([text](QWidget* edit) { QTest::keyClicks(edit, QString::fromUtf8(text)); });
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return KeyScript([k, modifiers](QWidget* edit) { QTest::keyClick(edit, k, modifiers); });
    };
    const auto character = [](Qt::Key k, const QString& text) {
        return KeyScript([k, text](QWidget* edit) {
            QTest::sendKeyEvent(QTest::Press, edit, k, text, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, edit, k, text, Qt::NoModifier);
        });
    };

    QTest::newRow("digits") << QString() << typed("0123456789") << QStringLiteral("012345678");
    QTest::newRow("latin letter") << QStringLiteral("12") << typed("a") << QStringLiteral("12");
    QTest::newRow("cyrillic letter") << QStringLiteral("12")
                                     << character(static_cast<Qt::Key>(0x0410), QStringLiteral("А"))
                                     << QStringLiteral("12");
    QTest::newRow("hyphen and space") << QStringLiteral("12") << typed("- ") << QStringLiteral("12");
    QTest::newRow("tenth digit") << QStringLiteral("123456789") << typed("0") << QStringLiteral("123456789");
    QTest::newRow("backspace") << QStringLiteral("123") << key(Qt::Key_Backspace) << QStringLiteral("12");
    QTest::newRow("delete after home") << QStringLiteral("123") << KeyScript([](QWidget* edit) {
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete);
    }) << QStringLiteral("23");
    QTest::newRow("keyboard paste") << QStringLiteral("1") << key(Qt::Key_V, Qt::ControlModifier)
                                    << QStringLiteral("1");
    // The keys that type nothing work as the box's own commands; a paste still stops at nine.
    QTest::newRow("shift insert pastes")
        << QStringLiteral("1") << key(Qt::Key_Insert, Qt::ShiftModifier) << QStringLiteral("1ab");
    QTest::newRow("shift insert paste stops at nine")
        << QStringLiteral("1234567") << key(Qt::Key_Insert, Qt::ShiftModifier) << QStringLiteral("1234567ab");
    QTest::newRow("shift insert over a full box")
        << QStringLiteral("12345678") << key(Qt::Key_Insert, Qt::ShiftModifier)
        << QStringLiteral("12345678a");
    QTest::newRow("ctrl insert copies") << QStringLiteral("123") << KeyScript([](QWidget* edit) {
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(edit, Qt::Key_Insert, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    }) << QStringLiteral("123123");
    QTest::newRow("shift delete cuts") << QStringLiteral("123") << KeyScript([](QWidget* edit) {
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier);
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    }) << QStringLiteral("312");
    QTest::newRow("ctrl c types no character")
        << QStringLiteral("1") << key(Qt::Key_C, Qt::ControlModifier) << QStringLiteral("1");
    QTest::newRow("select all then digit") << QStringLiteral("123") << KeyScript([](QWidget* edit) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QStringLiteral("4"));
    }) << QStringLiteral("1234");
}

void TestLogTools::keyFilter()
{
    QFETCH(QString, before);
    QFETCH(KeyScript, keys);
    QFETCH(QString, after);

    QGuiApplication::clipboard()->setText(QStringLiteral("ab"));
    QLineEdit* const edit = m_window->SearchEdit;
    edit->setText(before);
    edit->setFocus();
    keys(edit);
    QCOMPARE(edit->text(), after);
}

// The box's own menu pastes whatever is on the clipboard, cut at nine characters.
void TestLogTools::pasteFromMenuIsNotFiltered()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("12ab5678901"));
    const std::unique_ptr<QMenu> menu(m_window->SearchEdit->createStandardContextMenu());
    const QList<QAction*> actions = menu->actions();
    const auto paste = std::find_if(actions.cbegin(), actions.cend(), [](const QAction* action) {
        return action->text().startsWith(QStringLiteral("&Paste"));
    });
    QVERIFY(paste != actions.cend());
    QVERIFY((*paste)->isEnabled());
    (*paste)->trigger();
    QCOMPARE(m_window->SearchEdit->text(), QStringLiteral("12ab56789"));
}

void TestLogTools::search_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("selectedBefore");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("selectedAfter");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    QTest::newRow("inside a longer number first")
        << QStringList{QStringLiteral("x123"), QStringLiteral("y12")} << -1 << QStringLiteral("12") << 0
        << none;
    QTest::newRow("later line") << QStringList{QStringLiteral("x1"), QStringLiteral("y12"),
                                               QStringLiteral("z12")}
                                << 2 << QStringLiteral("12") << 1 << none;
    QTest::newRow("not found keeps selection")
        << QStringList{QStringLiteral("a1"), QStringLiteral("b2")} << 1 << QStringLiteral("3") << 1 << none;
    QTest::newRow("empty text matches nothing")
        << QStringList{QStringLiteral("a1"), QStringLiteral("b2")} << -1 << QString() << -1 << none;
    QTest::newRow("empty list") << QStringList() << -1 << QStringLiteral("1") << -1
                                << QStringList{QStringLiteral("Список ЭСЧФ пуст.")};
}

void TestLogTools::search()
{
    QFETCH(QStringList, list);
    QFETCH(int, selectedBefore);
    QFETCH(QString, text);
    QFETCH(int, selectedAfter);
    QFETCH(QStringList, messages);

    fill(list);
    if (selectedBefore >= 0)
        m_window->selectLogLine(selectedBefore);
    m_window->SearchEdit->setText(text);
    // A second search starts again from the first line.
    for (int press = 0; press < 2; ++press) {
        QTest::mouseClick(m_window->SearchBtn, Qt::LeftButton);
        const QList<QListWidgetItem*> selected = m_window->LogLB->selectedItems();
        QCOMPARE(selected.isEmpty() ? -1 : m_window->LogLB->row(selected.first()), selectedAfter);
    }
    if (!messages.isEmpty())
        messages.append(messages.first());
    QCOMPARE(m_messages, messages);
}

void TestLogTools::searchScrollsLineIntoView()
{
    QStringList many;
    for (int i = 0; i < 500; ++i)
        many.append(QStringLiteral("line %1").arg(i, 3, 10, QLatin1Char('0')));
    fill(many);
    m_window->SearchEdit->setText(QStringLiteral("456"));
    m_window->SearchBtnClick();
    QListWidget* const list = m_window->LogLB;
    QCOMPARE(list->currentRow(), 456);
    QVERIFY(list->viewport()->rect().contains(list->visualItemRect(list->item(456))));
}

// Enter runs the search, as the button does.
void TestLogTools::enterInSearchBoxSearches()
{
    fill({QStringLiteral("a1"), QStringLiteral("b12")});
    m_window->SearchEdit->setFocus();
    QTest::keyClicks(m_window->SearchEdit, QStringLiteral("12"));
    QTest::keyClick(m_window->SearchEdit, Qt::Key_Return);
    QCOMPARE(m_window->LogLB->currentRow(), 1);
    QCOMPARE(m_window->SearchEdit->text(), QStringLiteral("12"));
}

void TestLogTools::sort_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");

    const QString a = QStringLiteral("A Загружен в базу - удалён");
    const QString b = QStringLiteral("B - ") + kInitialMarker + QStringLiteral(" - 1");
    const QString d = orgNotFoundLine(QStringLiteral("D"), QStringLiteral("100000001"));
    const QString f = orgNotFoundLine(QStringLiteral("F"), QStringLiteral("100000002"));
    const QString both = QStringLiteral("C - ") + kInitialMarker + QStringLiteral(" ") + kOrgMarker;
    QTest::newRow("groups keep their order") << QStringList{a, b, d, f} << QStringList{d, f, b, a};
    QTest::newRow("both markers go first") << QStringList{b, both, a} << QStringList{both, b, a};
    QTest::newRow("already sorted") << QStringList{d, f, b, a} << QStringList{d, f, b, a};
    QTest::newRow("no marker") << QStringList{QStringLiteral("z"), QStringLiteral("a")}
                               << QStringList{QStringLiteral("z"), QStringLiteral("a")};
    QTest::newRow("empty") << QStringList() << QStringList();
}

void TestLogTools::sort()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);

    fill(before);
    // A line's reason and file travel with it.
    for (int row = 0; row < m_window->LogLB->count(); ++row) {
        m_window->LogLB->item(row)->setToolTip(QStringLiteral("why ") + before.at(row));
        eschf::logline::setFile(*m_window->LogLB->item(row), QStringLiteral("/in/") + before.at(row));
    }
    if (!before.isEmpty())
        m_window->selectLogLine(before.size() - 1);
    m_window->SortBtnClick();
    QCOMPARE(lines(m_window->LogLB), after);
    QVERIFY(m_window->LogLB->selectedItems().isEmpty());
    for (int row = 0; row < m_window->LogLB->count(); ++row) {
        QCOMPARE(m_window->LogLB->item(row)->toolTip(), QStringLiteral("why ") + after.at(row));
        QCOMPARE(eschf::logline::fileOf(*m_window->LogLB->item(row)), QStringLiteral("/in/") + after.at(row));
    }
    m_window->SortBtnClick();
    QCOMPARE(lines(m_window->LogLB), after);
}

void TestLogTools::copyAll_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("copied");

    QTest::newRow("two lines") << QStringList{QStringLiteral("первая"), QStringLiteral("second")}
                               << QStringLiteral("первая\r\nsecond\r\n");
    QTest::newRow("empty list") << QStringList() << QString();
}

void TestLogTools::copyAll()
{
    QFETCH(QStringList, list);
    QFETCH(QString, copied);

    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    fill(list);
    m_window->CopyErrorsBtnClick();
    QCOMPARE(clipboardText(), copied);
}

void TestLogTools::popupState_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("invNumber");
    QTest::addColumn<bool>("unn");

    const QStringList list{
        QStringLiteral("190000001-2024-0000000001 - ok"),
        orgNotFoundLine(QStringLiteral("190000001-2024-0000000002"), QStringLiteral("191234567"))};
    QTest::newRow("empty list") << QStringList() << -1 << false << false;
    QTest::newRow("no selected line") << list << -1 << false << false;
    QTest::newRow("line without marker") << list << 0 << true << false;
    QTest::newRow("line of a missing organisation") << list << 1 << true << true;
}

void TestLogTools::popupState()
{
    QFETCH(QStringList, list);
    QFETCH(int, selected);
    QFETCH(bool, invNumber);
    QFETCH(bool, unn);

    fill(list);
    if (selected >= 0)
        m_window->selectLogLine(selected);
    // The state is worked out on each opening, whatever it was before.
    m_window->CopyInvNumberPBtn->setEnabled(!invNumber);
    m_window->CopyUNNPBtn->setEnabled(!unn);
    m_window->ListPopup->popup(m_window->LogLB->mapToGlobal(QPoint(10, 10)));
    QCOMPARE(m_window->CopyInvNumberPBtn->isEnabled(), invNumber);
    QCOMPARE(m_window->CopyUNNPBtn->isEnabled(), unn);
    m_window->ListPopup->close();
}

void TestLogTools::popupCommandsOfALine_data()
{
    QTest::addColumn<QString>("outcome"); // of the line's file; "" for a line without a result
    QTest::addColumn<QString>("branch");  // the party's branch code as written
    QTest::addColumn<bool>("redirect");

    QTest::newRow("no organisation for the sender, a branch code") << "B"
                                                                   << " 0005" << true;
    QTest::newRow("no organisation for the sender, no branch code") << "B"
                                                                    << "" << false;
    QTest::newRow("no organisation for the sender, a blank branch code") << "B"
                                                                         << "  " << false;
    QTest::newRow("no organisation for the recipient") << "D"
                                                       << "5" << false;
    QTest::newRow("no initial invoice") << "A"
                                        << "5" << false;
    QTest::newRow("file not handled") << ""
                                      << "" << false;
}

// The report is offered for any list, the redirection only for a sender's missing branch.
void TestLogTools::popupCommandsOfALine()
{
    QFETCH(QString, outcome);
    QFETCH(QString, branch);
    QFETCH(bool, redirect);

    fill({QStringLiteral("/in/1.xml")});
    if (!outcome.isEmpty()) {
        eschf::FileResult result(
            outcome == u"A"   ? eschf::Outcome::A
            : outcome == u"B" ? eschf::Outcome::B
                              : eschf::Outcome::D,
            orgNotFoundLine(QStringLiteral("190000001-2024-0000000007"), QStringLiteral("191234567")));
        result.party = eschf::MissingParty{QStringLiteral("поставщик"), QStringLiteral("191234567"), branch,
                                           QString(), QString()};
        eschf::logline::setResult(*m_window->LogLB->item(0), result);
    }
    m_window->selectLogLine(0);
    m_window->ListPopupPopup();
    QVERIFY(m_window->SaveReportPBtn->isEnabled());
    QCOMPARE(m_window->RedirectBranchPBtn->isEnabled(), redirect);

    m_window->LogLB->clear();
    m_window->ListPopupPopup();
    QVERIFY(!m_window->SaveReportPBtn->isEnabled());
    QVERIFY(!m_window->RedirectBranchPBtn->isEnabled());
}

void TestLogTools::copyFromLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("invNumber");
    QTest::addColumn<QString>("unn");

    const QString number = QStringLiteral("190000001-2024-0000000007");
    QTest::newRow("missing organisation")
        << orgNotFoundLine(number, QStringLiteral("191234567")) << number << QStringLiteral("191234567");
    QTest::newRow("short taxpayer number")
        << orgNotFoundLine(number, QStringLiteral("19123")) << number << QStringLiteral("19123 - К");
    QTest::newRow("line ends early") << number + QStringLiteral(" - ") + kOrgMarker + QStringLiteral(" - 12")
                                     << number << QStringLiteral("12");
    QTest::newRow("short line") << QStringLiteral("коротко") << QStringLiteral("коротко") << QString();
}

void TestLogTools::copyFromLine()
{
    QFETCH(QString, line);
    QFETCH(QString, invNumber);
    QFETCH(QString, unn);

    fill({QStringLiteral("другая"), line});
    m_window->selectLogLine(1);
    m_window->ListPopupPopup();
    m_window->CopyInvNumberPBtn->trigger();
    QCOMPARE(clipboardText(), invNumber);
    if (!m_window->CopyUNNPBtn->isEnabled()) {
        QVERIFY(unn.isEmpty());
        return;
    }
    m_window->CopyUNNPBtn->trigger();
    QCOMPARE(clipboardText(), unn);
}

void TestLogTools::copyWithoutSelectionDoesNothing()
{
    fill({orgNotFoundLine(QStringLiteral("190000001-2024-0000000007"), QStringLiteral("191234567"))});
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    m_window->CopyInvNumberPBtnClick();
    m_window->CopyUNNPBtnClick();
    QCOMPARE(clipboardText(), QStringLiteral("kept"));
}

void TestLogTools::mouseSelects_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("belowLastLine");
    QTest::addColumn<int>("selectedAfter");

    QTest::newRow("left") << Qt::LeftButton << false << 2;
    QTest::newRow("right") << Qt::RightButton << false << 2;
    QTest::newRow("middle") << Qt::MiddleButton << false << 2;
    QTest::newRow("right below last line") << Qt::RightButton << true << 0;
    QTest::newRow("left below last line") << Qt::LeftButton << true << 0;
}

void TestLogTools::mouseSelects()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, belowLastLine);
    QFETCH(int, selectedAfter);

    fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    m_window->selectLogLine(0);
    QListWidget* const list = m_window->LogLB;
    const QRect last = list->visualItemRect(list->item(2));
    const QPoint where =
        belowLastLine ? QPoint(last.center().x(), last.bottom() + last.height() * 2) : last.center();
    QTest::mousePress(list->viewport(), button, Qt::NoModifier, where);
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(list->row(list->selectedItems().first()), selectedAfter);
    QTest::mouseRelease(list->viewport(), button, Qt::NoModifier, where);
    m_window->ListPopup->close();
}

// The popup opened by a right click works on the line clicked, not on the one selected before.
void TestLogTools::rightClickOpensPopupOnClickedLine()
{
    const QString number = QStringLiteral("190000001-2024-0000000009");
    fill({QStringLiteral("190000001-2024-0000000001 - ok"),
          orgNotFoundLine(number, QStringLiteral("191234567"))});
    m_window->selectLogLine(0);
    QListWidget* const list = m_window->LogLB;
    const QPoint where = list->visualItemRect(list->item(1)).center();
    QTest::mousePress(list->viewport(), Qt::RightButton, Qt::NoModifier, where);
    QContextMenuEvent request(QContextMenuEvent::Mouse, where, list->viewport()->mapToGlobal(where));
    QCoreApplication::sendEvent(list->viewport(), &request);
    QTRY_VERIFY(m_window->ListPopup->isVisible());
    QVERIFY(m_window->CopyUNNPBtn->isEnabled());
    m_window->ListPopup->close();
    m_window->CopyUNNPBtn->trigger();
    QCOMPARE(clipboardText(), QStringLiteral("191234567"));
}

// The register page opens as it is: nothing from the search box goes with it.
void TestLogTools::registerPage()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    m_window->SearchEdit->setText(QStringLiteral("191234567"));
    QTest::mouseClick(m_window->SearchOrganizationBtn, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("https://www.portal.nalog.gov.by/grp/"))});
}

QTEST_MAIN(TestLogTools)
#include "tst_gui_logtools.moc"
