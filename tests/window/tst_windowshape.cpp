// The main window, the about box and Select Size as the user sees and handles them: on a
// fake line and a clock the test moves, so every step is instant and exact.

#include "faketransport.h"
#include "manualclock.h"
#include "simfixture.h"
#include "window/aboutbox.h"
#include "window/artwork.h"
#include "window/qtdialogbackend.h"
#include "window/savesizedialog.h"
#include "window/twips.h"
#include "windowrig.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>

namespace
{

// A window on the fake line; connect() puts a programmer on COM1 and lets it settle.
struct FakeWindow {
    ManualClock clock;
    FakeTransport line{clock};
    WindowRig rig{&line, &clock};
    int mark = 0;

    bool connect()
    {
        line.setDevice(1, FakeTransport::Device::Answering);
        line.answer(1, "i", "Vantor USB Programmer V2.10\r\n", 20);
        QSignalSpy settled(&rig.workbench.session(), &ProgrammerSession::settled);
        rig.start();
        const bool ok = clock.advanceUntil([&] { return settled.count() > 0; }, 3000);
        sent();
        return ok;
    }
    // What went on the line since the last look, after the pump's ticks have run.
    QByteArray sent()
    {
        clock.advance(50);
        const QByteArray all = line.line();
        const QByteArray fresh = all.mid(mark);
        mark = int(all.size());
        return fresh;
    }
};

int visibleTopLevels(const char *objectName)
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->objectName() == QLatin1String(objectName) && w->isVisible();
    return n;
}

// Presses a key in the widget that has the focus and names the one that has it then.
QString pressInFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("<no focus>");
    QTest::keyClick(focus, key, modifiers);
    focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QStringLiteral("<no focus>");
}

// A window's title, client area (in twips), title-bar buttons and icon.
void checkWindow(QWidget *window, const QString &title, const QSize &twips)
{
    auto *main = qobject_cast<QMainWindow *>(window);
    QCOMPARE((main ? main->centralWidget() : window)->size(),
             twipsRect(window, 0, 0, twips.width(), twips.height()).size());
    QCOMPARE(window->windowTitle(), title);
    // Only the main window can be minimised; none maximised. Select Size has no icon.
    QCOMPARE(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
             main ? Qt::WindowMinimizeButtonHint : Qt::WindowFlags());
    QCOMPARE(window->windowIcon().availableSizes().value(0),
             window->objectName() == QLatin1String("Form3") ? QSize() : QSize(32, 32));
}

// What a screen reader (and the eye) gets from a label: its text as displayed.
QString shownText(QWidget *label)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(label);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<no accessible text>");
}

} // namespace

class TstWindowShape : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void menuTree();
    void tabOrder();
    void tabEntersChipGroupAtChosenChip_data();
    void tabEntersChipGroupAtChosenChip();
    void keysRunActions_data();
    void keysRunActions();
    void selectSizeLeavesTheWindowUsable_data();
    void selectSizeLeavesTheWindowUsable();
    void textsArePlain_data();
    void textsArePlain();
    void longLatestFileWrapsOntoSecondLine_data();
    void longLatestFileWrapsOntoSecondLine();
    void aboutBoxComesUpCentred_data();
    void aboutBoxComesUpCentred();
    void aboutLogoLiesInVisiblePart_data();
    void aboutLogoLiesInVisiblePart();

private:
    std::unique_ptr<FakeWindow> m_idle;   // no programmer: its search gives up
    std::unique_ptr<FakeWindow> m_online; // a programmer on COM1, settled
};

void TstWindowShape::initTestCase()
{
    m_idle = std::make_unique<FakeWindow>();
    m_idle->rig.writeSetting(QStringLiteral("tsk.log"), "/images/blink.tsk");
    m_idle->rig.start();
    QVERIFY(QTest::qWaitForWindowExposed(&m_idle->rig.window));
    m_online = std::make_unique<FakeWindow>();
    QVERIFY(m_online->connect());
}

void TstWindowShape::controls_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<qreal>("points"); // 0: the platform's font
    const qreal c = 10.8;
    struct Row {
        const char *window, *name, *caption;
        QRect twips;
        qreal points;
    };
    const Row rows[] = {
        // The windows themselves: title and client area.
        {"Form1", "", "USB_Vantor Programmer", {0, 0, 8880, 6816}, 0},
        {"Form2", "", "Vantor 燒錄器  --  凡拓電子有限公司", {0, 0, 5040, 6012}, 0},
        {"Form3", "", "Select Size", {0, 0, 2760, 1608}, 0},
        {"Form1", "Text1", "", {120, 240, 8532, 2412}, c},
        {"Form1", "Text2", "", {120, 2880, 8532, 372}, 9},
        {"Form1", "Frame1", "Choose Chip", {240, 3480, 4092, 1212}, c},
        {"Form1", "Option1", "AT89C2051", {240, 360, 1692, 180}, c},
        {"Form1", "Option2", "AT89C4051", {2160, 360, 1692, 180}, c},
        {"Form1", "Option3", "AT89C1051U", {240, 760, 2412, 204}, c},
        {"Form1", "Command1", "Load", {240, 5520, 1692, 492}, c},
        {"Form1", "Command2", "Verify", {240, 6120, 1692, 492}, c},
        {"Form1", "Command3", "Programming", {2280, 6120, 2292, 492}, c},
        {"Form1", "Command4", "Express", {6600, 5520, 2052, 1092}, 12},
        {"Form1", "Command5", "Exit", {4920, 6120, 1332, 492}, c},
        {"Form1", "Frame2", "SRAM Function", {4680, 3480, 3852, 1212}, c},
        {"Form1", "Label1", "Fill Data", {240, 360, 1212, 252}, c},
        {"Form1", "Label2", "Data Dump", {240, 720, 1212, 252}, c},
        {"Form1", "Text3", "FF", {1440, 360, 1212, 276}, c},
        {"Form1", "Text4", "0000", {1440, 720, 1212, 288}, c},
        {"Form1", "Label3", "Latest File at /images/blink.tsk", {360, 4920, 8652, 492}, c},
        {"Form1", "Command6", "GO", {2880, 360, 732, 300}, c},
        {"Form1", "Command7", "GO", {2880, 720, 732, 300}, c},
        {"Form1", "Command9", "Program && Lock bit", {2280, 5520, 3972, 492}, 12},
        {"Form2", "Picture1", "", {360, 240, 4350, 3720}, 0},
        {"Form2", "Label1", "如果您對USB介面的Vantor燒錄器有任何的問題", {240, 4200, 5172, 252}, 0},
        {"Form2", "Label2", "歡迎上網查詢更多相關資訊", {240, 4440, 5292, 372}, 0},
        {"Form2", "Label5", "凡拓電子有限公司  Vantor Electronics Ltd.", {240, 4920, 5292, 372}, 0},
        {"Form2",
         "Label3",
         "我們的網址是 http://www.vantor-demo.example",
         {240, 5280, 5532, 372},
         0},
        {"Form2",
         "Label4",
         "我們的電話是 (00) 0000-1234 或 (00) 0000-5678",
         {240, 5520, 5172, 372},
         0},
        {"Form3", "Option1", "2K Bytes", {120, 360, 2000, 360}, 0},
        {"Form3", "Option2", "4K Bytes", {120, 720, 2000, 360}, 0},
        {"Form3", "Option3", "1K Bytes", {120, 1080, 2000, 360}, 0},
        {"Form3", "Label1", "選擇要儲存的檔案大小", {120, 120, 2412, 372}, 0},
        {"Form3", "Command1", "SAVE", {1440, 960, 1212, 492}, 0},
    };
    for (const Row &r : rows)
        QTest::addRow("%s.%s", r.window, r.name)
            << r.window << r.name << QString::fromUtf8(r.caption) << r.twips << r.points;
}

void TstWindowShape::controls()
{
    QFETCH(QString, window);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(qreal, points);
    AboutBox about;
    SaveSizeDialog sizes;
    QWidget *parent = window == QLatin1String("Form2")   ? static_cast<QWidget *>(&about)
                      : window == QLatin1String("Form3") ? static_cast<QWidget *>(&sizes)
                                                         : &m_idle->rig.window;
    QCOMPARE(parent->objectName(), window);
    if (name.isEmpty())
        return checkWindow(parent, caption, twips.size());
    QWidget *w = parent->findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->geometry(), twipsRect(w, twips.x(), twips.y(), twips.width(), twips.height()));
    QString shown;
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        shown = b->text();
        QVERIFY(QKeySequence::mnemonic(shown).isEmpty()); // "&&" is a literal ampersand
        // No chip is chosen before the programmer is found; 2K is offered first.
        QCOMPARE(b->isChecked(), window == QLatin1String("Form3") && name == "Option1");
    } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
        shown = g->title();
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        shown = l->text();
        // The part of the label inside its window (some reach past the edge) shows it all.
        const QRect inside = l->geometry().intersected(l->parentWidget()->rect());
        const QFontMetrics metrics(l->font(), l);
        QVERIFY(metrics.horizontalAdvance(shown) <= inside.width());
        QVERIFY(metrics.height() <= inside.height());
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        shown = e->text();
        // Any length is taken (Qt stops at 32,767 characters unless told otherwise).
        e->setText(QString(40000, QLatin1Char('7')));
        QCOMPARE(e->text(), QString(40000, QLatin1Char('7')));
        e->setText(shown);
    } else if (auto *t = qobject_cast<QPlainTextEdit *>(w)) {
        shown = t->toPlainText();
    }
    QCOMPARE(shown, caption);
    if (points > 0) {
        QCOMPARE(w->font().pointSizeF(), points);
        QCOMPARE(w->font().family(), kaiFont(12).family());
    } else {
        QCOMPARE(w->font().family(), QApplication::font().family());
    }
}

void TstWindowShape::menuTree()
{
    const QList<QStringList> expected = {
        {"muFile File(&F)", "muFileLoad Load(&L)", "muFileSave Save(&S)",
         "muFileComm ComPort check(&K)", "muFileC -", "muFileExit Exit(&X)"},
        {"muIc IC(&C)", "muIcSig Signature(&I)", "muIcC1 -", "muIcBlank Blank Check(&B)",
         "muIcErase Erase Chip(&E)", "muIcProg Programming(&P)", "muIcLock Lock bit(&L)",
         "muIcRead Read(&R)", "muIcVer Verify(&V)", "muIcC2 -", "muIcExp Express(&Q) Ctrl+P"},
        {"muProg Programmer(&P)", "muProgClear SRAM Clear(&C)", "muProgFill SRAM Fill(&F)",
         "muProgDump SRAM Dump(&D)", "muProgSum SRAM Checksum(&S)"},
        {"muDiag Diagnostic(&D)", "muDiagRAM Test 8K SRAM(&M)", "muDiagLED Test LED(&D)",
         "muDiagBuz Test Buzzer(&B)", "muDiagC1 -", "muDiagVpp Test Vpp at 12V(&V)",
         "muDiagHi Test Vpp at High(&H)", "muDiagLow Test Vpp at Low(&L)", "muDiagC2 -",
         "muDiagFirm Firmware Version(&N)"},
        {"muAbout About(&A)", "muAboutVer Version(&N)"},
    };
    auto describe = [](const QAction *a) {
        QString s = a->objectName() + ' ' + (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (!a->shortcut().isEmpty())
            s += ' ' + a->shortcut().toString();
        return s;
    };
    // The menu bar and its menus are drawn in the platform's menu font, not the window's.
    QMenuBar *bar = m_idle->rig.window.menuBar();
    QCOMPARE(bar->font(), QApplication::font("QMenuBar"));
    QList<QStringList> tree;
    for (QAction *heading : bar->actions()) {
        QCOMPARE(heading->menu()->font(), QApplication::font("QMenu"));
        QStringList menu{describe(heading)};
        for (QAction *item : heading->menu()->actions()) {
            menu << describe(item);
            QVERIFY(item->isEnabled() && item->isVisible() && !item->isCheckable());
        }
        tree << menu;
    }
    QCOMPARE(tree, expected);
}

void TstWindowShape::tabOrder()
{
    const QStringList expected = {"Text1",    "Text2",    "Option1",  "Option2",  "Option3",
                                  "Command1", "Command2", "Command3", "Command4", "Command5",
                                  "Text3",    "Text4",    "Command6", "Command7", "Command9"};
    QStringList chain;
    QWidget *w = m_idle->rig.find("Text1");
    for (int i = 0; i < expected.size(); ++i) {
        chain << w->objectName();
        do
            w = w->nextInFocusChain();
        while (w && w->focusPolicy() == Qt::NoFocus);
    }
    QCOMPARE(chain, expected);
    // Tab in the response box moves on; it types no tab.
    QVERIFY(focusOn(m_idle->rig.find("Text1")));
    QCOMPARE(pressInFocus(Qt::Key_Tab), QStringLiteral("Text2"));
}

void TstWindowShape::tabEntersChipGroupAtChosenChip_data()
{
    QTest::addColumn<QByteArray>("chipLog"); // the chip the settle step chooses; "2051 " none
    QTest::addColumn<QString>("landing");
    QTest::addColumn<QByteArray>("spaceSends");
    QTest::addColumn<int>("arrow");
    QTest::addColumn<QString>("arrowLands");
    QTest::addColumn<QByteArray>("arrowSends");
    QTest::addColumn<QByteArray>("chipLogAfter");
    struct Row {
        const char *chipLog, *landing, *spaceSends;
        int arrow;
        const char *arrowLands, *arrowSends, *chipLogAfter;
    };
    const Row rows[] = {
        {"2051", "Option1", "", Qt::Key_Right, "Option2", "@", "4051"},
        {"4051", "Option2", "", Qt::Key_Left, "Option1", "!", "2051"},
        {"1051U", "Option3", "", Qt::Key_Up, "Option1", "!", "2051"},
        {"2051 ", "Option1", "!", Qt::Key_Down, "Option3", "#", "1051U"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.chipLog) << QByteArray(r.chipLog) << r.landing << QByteArray(r.spaceSends)
                                 << r.arrow << r.arrowLands << QByteArray(r.arrowSends)
                                 << QByteArray(r.chipLogAfter);
}

void TstWindowShape::tabEntersChipGroupAtChosenChip()
{
    QFETCH(QByteArray, chipLog);
    QFETCH(QString, landing);
    QFETCH(QByteArray, spaceSends);
    QFETCH(int, arrow);
    QFETCH(QString, arrowLands);
    QFETCH(QByteArray, arrowSends);
    QFETCH(QByteArray, chipLogAfter);
    FakeWindow f;
    f.rig.writeSetting(QStringLiteral("chip.log"), chipLog);
    QVERIFY(f.connect());
    QVERIFY(focusOn(f.rig.find("Text2")));

    QCOMPARE(pressInFocus(Qt::Key_Tab), landing);
    // Space on the chosen chip changes nothing: no command, chip.log left alone.
    f.rig.writeSetting(QStringLiteral("chip.log"), "untouched");
    QCOMPARE(pressInFocus(Qt::Key_Space), landing);
    QCOMPARE(f.sent(), spaceSends);
    QCOMPARE(f.rig.setting(QStringLiteral("chip.log")),
             spaceSends.isEmpty() ? QByteArray("untouched") : QByteArray("2051"));
    QCOMPARE(pressInFocus(Qt::Key_Tab), QStringLiteral("Command1"));
    QCOMPARE(pressInFocus(Qt::Key_Tab, Qt::ShiftModifier), landing);

    // An arrow moves to the neighbouring chip and chooses it; Tab leaves the group from
    // there and comes back to it.
    QCOMPARE(pressInFocus(Qt::Key(arrow)), arrowLands);
    QCOMPARE(f.sent(), arrowSends);
    QCOMPARE(f.rig.setting(QStringLiteral("chip.log")), chipLogAfter);
    QCOMPARE(pressInFocus(Qt::Key_Tab), QStringLiteral("Command1"));
    QCOMPARE(pressInFocus(Qt::Key_Tab, Qt::ShiftModifier), arrowLands);
    QVERIFY(focusOn(f.rig.find("Text2")));
    QCOMPARE(pressInFocus(Qt::Key_Tab), arrowLands);
}

void TstWindowShape::keysRunActions_data()
{
    QTest::addColumn<QString>("target"); // focused; "Form3." for a control of Select Size
    QTest::addColumn<int>("key");        // 0: the window's close box instead
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("status"); // after "earlier text"
    struct Row {
        const char *tag, *target;
        int key, modifiers;
        QByteArray sent;
        int dialogs;
        const char *status;
    };
    const int ret = Qt::Key_Return, pad = Qt::Key_Enter, keypad = Qt::KeypadModifier;
    const char *kept = "earlier text";
    const Row rows[] = {
        {"Verify", "Command2", ret, 0, "V", 0, kept},
        {"Programming, keypad", "Command3", pad, keypad, "P", 0, kept},
        {"Program & Lock bit", "Command9", ret, 0, "q", 0, kept},
        {"fill GO", "Command6", ret, 0, "F\xFF", 0, ""},
        {"dump GO, keypad", "Command7", pad, keypad, QByteArray("d\0\0", 3), 0, ""},
        {"Load", "Command1", ret, 0, "", 1, "放棄載入。"},
        {"Express", "Command4", ret, 0, "", 1, kept},
        // Ctrl+P is Express (its dialog), not the IC menu's Programming ("P").
        {"Ctrl+P", "Text2", Qt::Key_P, Qt::ControlModifier, "", 1, kept},
        // Enter in the fill and dump boxes keeps its own meaning, and runs it once.
        {"in Text3", "Text3", ret, 0, "F\xFF", 0, ""},
        {"in Text4, keypad", "Text4", pad, keypad, QByteArray("d\0\0", 3), 0, ""},
        {"SAVE of Select Size", "Form3.Command1", ret, 0, "", 1, "放棄儲存。"},
        // Exit, and closing the window, close the port and end the program.
        {"Exit", "Command5", ret, 0, "", 0, kept},
        {"close box", "Text2", 0, 0, "", 0, kept},
    };
    for (const Row &r : rows)
        QTest::newRow(r.tag) << r.target << r.key << r.modifiers << r.sent << r.dialogs
                             << QString::fromUtf8(r.status);
}

void TstWindowShape::keysRunActions()
{
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, sent);
    QFETCH(int, dialogs);
    QFETCH(QString, status);
    const bool ends = key == 0 || target == QLatin1String("Command5");
    std::unique_ptr<FakeWindow> own;
    if (ends) { // on a window of its own
        own = std::make_unique<FakeWindow>();
        QVERIFY(own->connect());
    }
    FakeWindow &f = ends ? *own : *m_online;
    QSignalSpy ended(&f.rig.window, &MainWindow::programEnded);
    f.rig.find<QLineEdit>("Text2")->setText(QStringLiteral("earlier text"));
    f.rig.dialogs.asked.clear();
    QWidget *widget = f.rig.window.findChild<QWidget *>(target);
    if (target.startsWith(QLatin1String("Form3."))) {
        f.rig.use(QStringLiteral("muFileSave"));
        QVERIFY(f.rig.window.sizeDialog() && f.rig.window.sizeDialog()->isVisible());
        widget = f.rig.window.sizeDialog()->findChild<QWidget *>(target.mid(6));
    }
    QVERIFY2(widget && focusOn(widget), qPrintable(target));
    if (key == 0)
        f.rig.window.close();
    else
        QTest::keyClick(widget, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.sent(), sent);
    QCOMPARE(f.rig.dialogs.asked.size(), dialogs);
    QCOMPARE(f.rig.status(), status);
    QVERIFY(!f.rig.window.sizeDialog() || !f.rig.window.sizeDialog()->isVisible());
    QCOMPARE(ended.count(), ends ? 1 : 0);
    QCOMPARE(f.line.isOpen(), !ends);
}

void TstWindowShape::selectSizeLeavesTheWindowUsable_data()
{
    QTest::addColumn<bool>("sending"); // a Load's image is going out (and never drains)
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("stillOpen");
    QTest::addColumn<QString>("status"); // %1: the image's path
    QTest::addColumn<QByteArray>("sent");
    const QString busy = QStringLiteral("資料傳輸中，請等傳輸完成後再執行。");
    QTest::newRow("closed") << false << "close" << false << "放棄儲存。" << QByteArray();
    QTest::newRow("Load") << false << "muFileLoad" << true << "Load completed"
                          << QByteArray("L\0\3abc", 6);
    QTest::newRow("Express") << false << "Command4" << true
                             << "Load completed... ( Checksum = 126 )" << QByteArray("Q\0\3abc", 6);
    // While data moves a second Save only brings Select Size to the front; a chip click and
    // SAVE are refused, and SAVE keeps the choice.
    QTest::newRow("Save again, sending")
        << true << "muFileSave" << true << "Loading  %1   ( 3 Bytes)..." << QByteArray();
    QTest::newRow("chip, sending") << true << "Option2" << true << busy << QByteArray();
    QTest::newRow("SAVE, sending") << true << "SAVE" << true << busy << QByteArray();
}

void TstWindowShape::selectSizeLeavesTheWindowUsable()
{
    QFETCH(bool, sending);
    QFETCH(QString, action);
    QFETCH(bool, stillOpen);
    QFETCH(QString, status);
    QFETCH(QByteArray, sent);
    FakeWindow f;
    QVERIFY(f.connect());
    f.rig.find<QLineEdit>("Text2")->setText(QString());
    const QString image = writeFile(f.rig.path(QStringLiteral("abc.tsk")), "abc");
    f.rig.dialogs.choose(image);
    f.rig.use(QStringLiteral("muFileSave"));
    SaveSizeDialog *sizes = f.rig.window.sizeDialog();
    QVERIFY(sizes && sizes->isVisible());
    sizes->findChild<QRadioButton *>(QStringLiteral("Option3"))->click();
    if (sending) {
        f.line.setIntake(FakeTransport::Intake::Stalled);
        f.rig.use(QStringLiteral("Command1"));
        f.sent();
    }
    if (action == QLatin1String("close"))
        sizes->close();
    else if (action == QLatin1String("SAVE"))
        sizes->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    else
        f.rig.use(action);
    QCOMPARE(f.sent(), sent);
    QCOMPARE(sizes->isVisible(), stillOpen);
    QCOMPARE(visibleTopLevels("Form3"), stillOpen ? 1 : 0);
    QCOMPARE(f.rig.status(), QString(status).replace(QLatin1String("%1"), image));
    QCOMPARE(f.rig.dialogs.asked.size(), action == QLatin1String("close") ? 0 : 1);
    QCOMPARE(f.rig.chosenChip(), QStringLiteral("Option1"));
    QVERIFY(sizes->findChild<QRadioButton *>(QStringLiteral("Option3"))->isChecked());
    sizes->hide();
}

void TstWindowShape::textsArePlain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style"); // 0: the latest-file line; else a message box's style
    QTest::newRow("Label3, tags and entities") << "/img/<i>italic</i>&lt;x&gt;.tsk" << 0;
    QTest::newRow("Label3, line break tag") << "/img/a<br>b.tsk" << 0;
    QTest::newRow("OK box") << "/img/<i>italic</i>&lt;x&gt;.tsk 這個檔案" << 48;
    QTest::newRow("Yes/No box") << "/img/<b>a</b>&amp;b.tsk 這個檔案" << 52;
}

void TstWindowShape::textsArePlain()
{
    QFETCH(QString, text);
    QFETCH(int, style);
    if (style == 0) {
        FakeWindow f;
        f.rig.writeSetting(QStringLiteral("tsk.log"), text.toUtf8());
        f.rig.start();
        QCOMPARE(shownText(f.rig.find("Label3")), QStringLiteral("Latest File at ") + text);
        return;
    }
    QString shown = QStringLiteral("<no message box>");
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = shownText(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")));
        box->button(style == 48 ? QMessageBox::Ok : QMessageBox::No)->click();
    });
    answerer.start(10);
    QtDialogBackend backend(&m_idle->rig.window);
    QCOMPARE(backend.messageBox(text, style, QStringLiteral("title")), style == 48 ? 1 : 7);
    QCOMPARE(shown, text);
}

void TstWindowShape::longLatestFileWrapsOntoSecondLine_data()
{
    QTest::addColumn<QString>("path");
    // One long word of narrow digits: the line is broken inside it, at the window's edge.
    QTest::newRow("one long word") << "/srv/" + QString("0123456789").repeated(12) + ".tsk";
    QTest::newRow("blanks") << "/home/user/My Firmware Images/AT89C2051 production batch 07/"
                               "blink led with debounce and watchdog v3.tsk";
}

void TstWindowShape::longLatestFileWrapsOntoSecondLine()
{
    QFETCH(QString, path);
    FakeWindow f;
    f.rig.writeSetting(QStringLiteral("tsk.log"), path.toUtf8());
    f.rig.start();
    auto *label = f.rig.find<QLabel>("Label3");
    QCOMPARE(label->text(), QStringLiteral("Latest File at ") + path);
    // The line is two lines high; its right end lies under the edge of the window.
    const int line = QFontMetrics(label->font()).lineSpacing();
    QVERIFY(2 * line <= label->height());
    const int shown = label->parentWidget()->width() - label->x();
    QVERIFY(shown < label->width());
    // Where the picture of the label differs from its background (its last pixel).
    const QImage image = label->grab().toImage();
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    int top = -1, bottom = -1, right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAbs(qGray(image.pixel(x, y)) - qGray(background)) < 64)
                continue;
            top = top < 0 ? y : top;
            bottom = y;
            right = qMax(right, x);
        }
    }
    QVERIFY2(top >= 0 && top < line, "nothing on the first line");
    QVERIFY2(bottom >= line, "nothing on the second line");
    QVERIFY2(right < shown, "text runs under the window's edge");
}

void TstWindowShape::aboutBoxComesUpCentred_data()
{
    QTest::addColumn<QString>("before"); // what happens to the box before the next give-up
    QTest::addColumn<bool>("centred");
    QTest::newRow("first give-up") << "" << true;
    QTest::newRow("moved and closed") << "close" << true;
    QTest::newRow("moved, left open") << "open" << false; // stays where the user put it
}

void TstWindowShape::aboutBoxComesUpCentred()
{
    QFETCH(QString, before);
    QFETCH(bool, centred);
    FakeWindow &f = *m_idle;
    AboutBox *about = f.rig.window.aboutBox();
    if (!before.isEmpty()) {
        QVERIFY(about);
        about->move(7, 9);
        QTRY_COMPARE(about->pos(), QPoint(7, 9));
        if (before == QLatin1String("close"))
            about->close();
        f.rig.use(QStringLiteral("muFileComm"));
        QCOMPARE(f.rig.status(), QString());
    }
    // Twelve probe ticks 400 ms apart: COM1 to COM11, then the give-up.
    f.clock.advance(4799);
    QCOMPARE(visibleTopLevels("Form2"), before == QLatin1String("open") ? 1 : 0);
    f.clock.advance(1);
    QCOMPARE(f.rig.status(), QStringLiteral("你尚未安裝燒錄器，請安裝後再執行。"));
    about = f.rig.window.aboutBox();
    QVERIFY(about && about->isVisible());
    QCOMPARE(visibleTopLevels("Form2"), 1);
    // It blocks nothing and has no button: Enter leaves it open.
    QVERIFY(!QApplication::activeModalWidget());
    QTest::keyClick(about, Qt::Key_Return);
    QVERIFY(about->isVisible());
    const QPoint off =
        about->frameGeometry().center() - about->screen()->availableGeometry().center();
    if (centred) // within a pixel of the screen's centre
        QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
                 qPrintable(QStringLiteral("%1 px right, %2 px down of the screen's centre")
                                .arg(off.x())
                                .arg(off.y())));
    else
        QCOMPARE(about->pos(), QPoint(7, 9));
}

void TstWindowShape::aboutLogoLiesInVisiblePart_data()
{
    QTest::addColumn<QSize>("visible"); // the box the logo is drawn for; empty: the about box
    QTest::newRow("about box") << QSize();
    QTest::newRow("72 dpi") << QSize(218, 186);
    QTest::newRow("120 dpi") << QSize(363, 310);
}

void TstWindowShape::aboutLogoLiesInVisiblePart()
{
    QFETCH(QSize, visible);
    AboutBox about;
    auto *picture = about.findChild<QLabel *>(QStringLiteral("Picture1"));
    QCOMPARE(picture->size(), QSize(290, 248)); // 4350 x 3720 twips at 96 dpi
    const QPixmap logo = visible.isEmpty() ? picture->pixmap() : aboutLogo(visible);
    visible = visible.isEmpty() ? picture->size() : visible;
    QCOMPARE(logo.size(), QSize(286, 300));
    const QImage image = logo.toImage().convertToFormat(QImage::Format_ARGB32);
    int bottom = -1, right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                bottom = qMax(bottom, y);
                right = qMax(right, x);
            }
        }
    }
    QVERIFY2(
        bottom < visible.height() && right < visible.width(),
        qPrintable(QStringLiteral("drawn down to row %1 and column %2").arg(bottom).arg(right)));
    // Not shrunk more than the box asks: it fills the box's width or its height.
    QVERIFY(right >= qMin(286, visible.width()) * 9 / 10 ||
            bottom >= qMin(300, visible.height()) * 9 / 10);
}

QTEST_MAIN(TstWindowShape)
#include "tst_windowshape.moc"
