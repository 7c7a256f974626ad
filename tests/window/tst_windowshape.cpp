// The main window, the about box and Select Size as the user sees and handles them: on a
// fake line and a clock the test moves, so every step is instant and exact.

#include "faketransport.h"
#include "manualclock.h"
#include "window/aboutbox.h"
#include "window/qtdialogbackend.h"
#include "window/savesizedialog.h"
#include "windowrig.h"

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

// A window on the fake line; connect() puts a programmer on COM1 and lets the window settle.
struct FakeWindow {
    ManualClock clock;
    FakeTransport line{clock};
    WindowRig rig{&line, &clock};
    int mark = 0;

    bool connect()
    {
        line.setDevice(1, FakeTransport::Device::Answering);
        line.answer(1, "i", "Vantor USB Programmer V2.10\r\n", 20);
        rig.start();
        mark = 3; // the start-up's: two "i" and the chip's command
        return clock.advanceUntil([&] { return line.line().size() == mark; }, 3000);
    }
    // What went on the line since the last look, after the pump's ticks have run.
    QByteArray sent()
    {
        clock.advance(50);
        const QByteArray fresh = line.line().mid(mark);
        mark += int(fresh.size());
        return fresh;
    }
};

// Gives a widget of a shown window the keyboard focus; false when it cannot have it.
static bool focusOn(QWidget *widget)
{
    widget->window()->activateWindow();
    if (!QTest::qWaitFor([&] { return widget->window()->isActiveWindow(); }, 5000))
        return false;
    widget->setFocus(Qt::OtherFocusReason);
    return widget->hasFocus();
}

// Presses a key in the widget that has the focus and names the one that has it then.
static QString pressInFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    if (QWidget *focus = QApplication::focusWidget())
        QTest::keyClick(focus, key, modifiers);
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "<none>";
}

// Where a control shows something: a label's text, a radio button's circle and caption.
static QRect drawn(QWidget *w)
{
    auto *label = qobject_cast<QLabel *>(w);
    if (label ? label->text().isEmpty() : !qobject_cast<QRadioButton *>(w))
        return w->geometry();
    const QSize shown = label ? QFontMetrics(label->font()).size(0, label->text()) : w->sizeHint();
    return QStyle::alignedRect(Qt::LeftToRight,
                               label ? label->alignment() : Qt::AlignLeft | Qt::AlignVCenter,
                               shown.boundedTo(w->size()), w->geometry());
}

// Each window and control, and its caption as shown, separated by |.
const char *const Controls =
    "Form1=USB_Vantor Programmer|Form2=Vantor 燒錄器  --  凡拓電子有限公司|Form3=Select Size|"
    "Form1.Text1=|Form1.Text2=|Form1.Frame1=Choose Chip|Form1.Option1=AT89C2051|"
    "Form1.Option2=AT89C4051|Form1.Option3=AT89C1051U|Form1.Command1=Load|"
    "Form1.Command2=Verify|Form1.Command3=Programming|Form1.Command4=Express|"
    "Form1.Command5=Exit|Form1.Frame2=SRAM Function|Form1.Label1=Fill Data|"
    "Form1.Label2=Data Dump|Form1.Text3=FF|Form1.Text4=0000|"
    "Form1.Label3=Latest File at /images/blink.tsk|Form1.Command6=GO|Form1.Command7=GO|"
    "Form1.Command9=Program && Lock bit|Form2.Picture1=|"
    "Form2.Label1=如果您對USB介面的Vantor燒錄器有任何的問題|Form2.Label2=歡迎上網查詢更多相關資訊|"
    "Form2.Label5=凡拓電子有限公司  Vantor Electronics Ltd.|"
    "Form2.Label3=我們的網址是 http://www.vantor-demo.example|"
    "Form2.Label4=我們的電話是 (00) 0000-1234 或 (00) 0000-5678|Form3.Option1=2K Bytes|"
    "Form3.Option2=4K Bytes|Form3.Option3=1K Bytes|Form3.Label1=選擇要儲存的檔案大小|"
    "Form3.Command1=SAVE";

class TstWindowShape : public QObject
{
    Q_OBJECT
    FakeWindow m_idle; // no programmer: its search gives up

private slots:
    void initTestCase()
    {
        m_idle.rig.writeSetting("tsk.log", "/images/blink.tsk");
        m_idle.rig.start();
    }

    void controls_data()
    {
        const Table<QString> row;
        for (const QString &entry : QString::fromUtf8(Controls).split('|'))
            row(qPrintable(entry.section('=', 0, 0)), entry.section('=', 1));
    }
    void controls()
    {
        auto [caption] = Table<QString>::fetch();
        const QString name = QTest::currentDataTag();
        AboutBox about;
        SaveSizeDialog sizes;
        QWidget *top = name.startsWith("Form2")   ? static_cast<QWidget *>(&about)
                       : name.startsWith("Form3") ? static_cast<QWidget *>(&sizes)
                                                  : &m_idle.rig.window;
        QWidget *w = name.contains('.') ? top->findChild<QWidget *>(name.section('.', 1)) : top;
        QVERIFY(w);
        const char *text = w == top ? "windowTitle" : w->inherits("QGroupBox") ? "title" : "text";
        QCOMPARE(w->property(w->inherits("QPlainTextEdit") ? "plainText" : text), caption);
        // No chip is chosen before the programmer is found; 2K is offered first.
        QCOMPARE(w->property("checked").toBool(), name == "Form3.Option1");
        if (auto *box = qobject_cast<QLineEdit *>(w)) { // any length, past Qt's 32,767
            box->setText(QString(40000, '7'));
            QCOMPARE(box->text().size(), 40000);
        }
        if (w == top) { // its client area at 96 dpi, 15 twips to the pixel
            const QHash<QString, QSize> sizes{
                {"Form1", {592, 454}}, {"Form2", {336, 401}}, {"Form3", {184, 107}}};
            auto *main = qobject_cast<QMainWindow *>(w);
            QCOMPARE(top->logicalDpiX(), 96);
            QCOMPARE((main ? main->centralWidget() : w)->size(), sizes.value(name));
            return;
        }
        // What it shows lies inside its window or group (but for the latest-file line, which
        // reaches under the edge), with its caption whole, and covers no neighbour (a pixel or
        // two of rounding aside).
        QWidget *parent = w->parentWidget();
        QVERIFY(parent->rect().contains(drawn(w)) || name == "Form1.Label3");
        QVERIFY(QFontMetrics(w->font()).horizontalAdvance(caption.remove('&')) <= w->width());
        for (QWidget *other :
             parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            const QRect both = drawn(w) & drawn(other);
            QVERIFY2(other == w || other->objectName().isEmpty() ||
                         qMin(both.width(), both.height()) <= 2,
                     qPrintable("covers " + other->objectName()));
        }
    }

    void menuTree()
    {
        // Each item, and what it sends when chosen (File's items are not run here).
        const QList<QStringList> expected = {
            {"muFile File(&F)", "muFileLoad Load(&L)", "muFileSave Save(&S)",
             "muFileComm ComPort check(&K)", "muFileC -", "muFileExit Exit(&X)"},
            {"muIc IC(&C)", "muIcSig Signature(&I) s", "muIcC1 -", "muIcBlank Blank Check(&B) B",
             "muIcErase Erase Chip(&E) E", "muIcProg Programming(&P) P", "muIcLock Lock bit(&L) l",
             "muIcRead Read(&R) R", "muIcVer Verify(&V) V", "muIcC2 -",
             "muIcExp Express(&Q) Ctrl+P"},
            {"muProg Programmer(&P)", "muProgClear SRAM Clear(&C) X",
             "muProgFill SRAM Fill(&F) F%FF", "muProgDump SRAM Dump(&D) d%00%00",
             "muProgSum SRAM Checksum(&S) c"},
            {"muDiag Diagnostic(&D)", "muDiagRAM Test 8K SRAM(&M) tR", "muDiagLED Test LED(&D) tL",
             "muDiagBuz Test Buzzer(&B) tb", "muDiagC1 -", "muDiagVpp Test Vpp at 12V(&V) tV",
             "muDiagHi Test Vpp at High(&H) th", "muDiagLow Test Vpp at Low(&L) tl", "muDiagC2 -",
             "muDiagFirm Firmware Version(&N) tf"},
            {"muAbout About(&A)", "muAboutVer Version(&N) i"},
        };
        FakeWindow f;
        QVERIFY(f.connect());
        auto describe = [&](QAction *a, bool run) {
            if (run)
                a->trigger();
            const QStringList words = {a->objectName(), a->isSeparator() ? "-" : a->text(),
                                       a->shortcut().toString(), f.sent().toPercentEncoding()};
            return words.join(' ').simplified();
        };
        // The menu bar and its menus are drawn in the platform's menu font, not the window's.
        QMenuBar *bar = f.rig.window.menuBar();
        QCOMPARE(bar->font(), QApplication::font("QMenuBar"));
        QList<QStringList> tree;
        for (QAction *heading : bar->actions()) {
            QCOMPARE(heading->menu()->font(), QApplication::font("QMenu"));
            tree << QStringList(describe(heading, false));
            for (QAction *item : heading->menu()->actions())
                tree.last() << describe(item, heading->objectName() != "muFile");
        }
        QCOMPARE(tree, expected);
    }

    void tabOrder()
    {
        // The 4051, chosen by the program at start-up, is where Tab enters the chip group.
        FakeWindow f;
        f.rig.writeSetting("chip.log", "4051");
        QVERIFY(f.connect());
        QVERIFY(focusOn(f.rig.find("Text1"))); // Tab there moves on, it types no tab
        QStringList chain;
        while (chain.size() < 15)
            chain << pressInFocus(Qt::Key_Tab);
        QCOMPARE(chain, QStringList({"Text2", "Option2", "Command1", "Command2", "Command3",
                                     "Command4", "Command5", "Text3", "Text4", "Command6",
                                     "Command7", "Command9", "Text1", "Text2", "Option2"}));
        // Space on the chosen chip changes nothing.
        QCOMPARE(pressInFocus(Qt::Key_Space), "Option2");
        QCOMPARE(f.sent(), "");
    }

    void actions_data()
    {
        const int ret = Qt::Key_Return, pad = Qt::Key_Enter, keypad = Qt::KeypadModifier;
        const QString kept = "earlier text", busy = "資料傳輸中，請等傳輸完成後再執行。";
        const QByteArray dump("d\0\0", 3), load("L\0\3abc", 6), express("Q\0\3abc", 6);
        // target: the control chosen, or focused for the key (key 0: clicked; Form1: closed);
        // selectSize: see actions(); status: after "earlier text".
        const Table<QString, int, int, int, int, QByteArray, QString> row;
        // Enter clicks the focused button.
        row("Verify", "Command2", ret, 0, 0, 0, "V", kept);
        row("Programming, keypad", "Command3", pad, keypad, 0, 0, "P", kept);
        row("Program & Lock bit", "Command9", ret, 0, 0, 0, "q", kept);
        row("fill GO", "Command6", ret, 0, 0, 0, "F\xFF", "");
        row("dump GO, keypad", "Command7", pad, keypad, 0, 0, dump, "");
        row("Load", "Command1", ret, 0, 0, 1, "", "放棄載入。");
        row("Express", "Command4", ret, 0, 0, 1, "", kept);
        // Exit, and closing the window, close the port.
        row("Exit", "Command5", ret, 0, 0, 0, "", kept);
        row("close box", "Form1", 0, 0, 0, 0, "", kept);
        // Ctrl+P is Express (its dialog), not the IC menu's Programming ("P").
        row("Ctrl+P", "Text2", Qt::Key_P, Qt::ControlModifier, 0, 1, "", kept);
        // Enter in the fill and dump boxes keeps its own meaning, and runs it once.
        row("in Text3", "Text3", ret, 0, 0, 0, "F\xFF", "");
        row("in Text4, keypad", "Text4", pad, keypad, 0, 0, dump, "");
        // Select Size leaves Load and Express usable. While data moves (selectSize 2), a second
        // Save only brings it to the front, and a chip click is refused.
        row("Select Size, Load", "Command1", ret, 0, 1, 1, load, "Load completed");
        row("Select Size, Express", "Text2", Qt::Key_P, Qt::ControlModifier, 1, 1, express,
            "Load completed... ( Checksum = 126 )");
        row("Select Size, Save", "muFileSave", 0, 0, 2, 1, "", kept);
        row("Select Size, chip", "Option2", 0, 0, 2, 1, "", busy);
    }
    void actions()
    {
        const auto [target, key, modifiers, selectSize, dialogs, sent, status] =
            Table<QString, int, int, int, int, QByteArray, QString>::fetch();
        FakeWindow f;
        QVERIFY(f.connect());
        if (selectSize) { // Select Size open at 1K; at 2, a Load's image going out that never
                          // drains
            f.rig.dialogs.choose(writeFile(f.rig.path(QStringLiteral("abc.tsk")), "abc"));
            f.rig.use(QStringLiteral("muFileSave"));
            f.rig.window.sizeDialog()->findChild<QAbstractButton *>("Option3")->click();
            if (selectSize == 2) {
                f.line.setIntake(FakeTransport::Intake::Stalled);
                f.rig.use(QStringLiteral("Command1"));
            }
            f.sent();
        }
        f.rig.find<QLineEdit>("Text2")->setText(QStringLiteral("earlier text"));
        QVERIFY(key == 0 || focusOn(f.rig.find(target)));
        if (key)
            QTest::keyClick(f.rig.find(target), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        else if (target == "Form1")
            f.rig.window.close();
        else
            f.rig.use(target);
        QCOMPARE(f.sent(), sent);
        QCOMPARE(f.rig.dialogs.asked.size(), dialogs);
        QCOMPARE(f.rig.status(), status);
        QCOMPARE(f.line.isOpen(), !QStringList({"Command5", "Form1"}).contains(target));
        SaveSizeDialog *sizes = f.rig.window.sizeDialog(); // still at 1K
        QCOMPARE(sizes && sizes->isVisible(), selectSize > 0);
        QVERIFY(!selectSize || sizes->findChild<QAbstractButton *>("Option3")->isChecked());
    }

    void typingIntoTheResponseBoxLastsATick_data()
    {
        // reply: what came before the user typed into the response box; then: a tick, or a
        // button.
        const Table<QByteArray, QString, QString> row;
        row("a tick", "Erase OK", "tick", "Erase OK");
        row("a tick, in UTF-8", "燒錄 OK", "tick", "燒錄 OK");
        row("Verify, no reply", "", "Command2", "");
    }
    void typingIntoTheResponseBoxLastsATick()
    {
        const auto [reply, then, shown] = Table<QByteArray, QString, QString>::fetch();
        FakeWindow f;
        QVERIFY(f.connect());
        f.line.send(reply);
        f.clock.advance(100);
        QTest::keyClicks(f.rig.find("Text1"), "typed");
        QVERIFY(f.rig.response().contains("typed"));
        if (then == "tick")
            f.clock.advance(100);
        else
            f.rig.use(then);
        QCOMPARE(f.rig.response(), shown);
    }

    void selectSizeEnterAndClose()
    {
        // Enter on the focused SAVE goes on to the save dialog (cancelled here); closing the
        // window instead gives the save up. Neither sends anything.
        for (const bool viaEnter : {true, false}) {
            FakeWindow f;
            QVERIFY(f.connect());
            f.rig.use(QStringLiteral("muFileSave"));
            SaveSizeDialog *sizes = f.rig.window.sizeDialog();
            QVERIFY(sizes && sizes->isVisible());
            if (viaEnter) {
                auto *save = sizes->findChild<QAbstractButton *>("Command1");
                QVERIFY(focusOn(save));
                QTest::keyClick(save, Qt::Key_Return);
            } else {
                sizes->close();
            }
            QCOMPARE(f.rig.dialogs.asked.size(), viaEnter ? 1 : 0);
            QCOMPARE(f.rig.status(), QStringLiteral("放棄儲存。"));
            QCOMPARE(f.sent(), QByteArray());
            QVERIFY(!sizes->isVisible());
        }
    }

    void textsArePlain()
    {
        // What a screen reader (and the eye) gets: the texts as written, never as markup. In
        // the latest-file line, a long word of narrow digits is broken at the window's edge
        // onto the second line.
        auto shown = [](QWidget *label) {
            return QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
        };
        const QString name =
            "/" + QString("0123456789").repeated(12) + "/<i>italic</i>&lt;x&gt;.tsk";
        QString boxText = "<no message box>";
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxText = shown(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")));
                box->button(QMessageBox::No)->click();
            }
        });
        answerer.start(10);
        QtDialogBackend backend(&m_idle.rig.window);
        QCOMPARE(backend.messageBox(name + " 這個檔案已經存在", 52, "title"), 7); // Yes/No: No
        QCOMPARE(boxText, name + " 這個檔案已經存在");
        FakeWindow f;
        f.rig.writeSetting("tsk.log", name.toUtf8());
        f.rig.start();
        auto *label = f.rig.find<QLabel>("Label3");
        QCOMPARE(shown(label), "Latest File at " + name);
        // The label is two lines high and reaches under the window's edge.
        const int line = QFontMetrics(label->font()).lineSpacing();
        const int edge = label->parentWidget()->width() - label->x();
        QVERIFY(2 * line <= label->height() && edge < label->width());
        const QImage image = label->grab().toImage();
        const auto inked = [&](const QRect &area) { // differs from the background somewhere
            QImage blank = image.copy(area);
            blank.fill(image.pixel(image.width() - 1, image.height() - 1));
            return image.copy(area) != blank;
        };
        QVERIFY2(inked(QRect(0, line, edge, line)), "nothing on the second line");
        QVERIFY2(!inked(QRect(edge, 0, image.width() - edge, image.height())),
                 "text runs under the window's edge");
    }

    void aboutBoxComesUpCentred()
    {
        // Twelve probe ticks 400 ms apart: COM1 to COM11, then the give-up shows the box.
        m_idle.clock.advance(4800);
        QCOMPARE(m_idle.rig.status(), QStringLiteral("你尚未安裝燒錄器，請安裝後再執行。"));
        AboutBox *about = m_idle.rig.window.aboutBox();
        QVERIFY(about && about->isVisible());
        const QPoint off =
            about->frameGeometry().center() - about->screen()->availableGeometry().center();
        QVERIFY2(off.manhattanLength() <= 2,
                 qPrintable(QString("%1, %2 px off").arg(off.x()).arg(off.y())));
        // A second search that gives up leaves the one box where the user moved it.
        about->move(about->pos() + QPoint(40, 30));
        const QPoint moved = about->pos();
        m_idle.rig.use(QStringLiteral("muFileComm"));
        m_idle.clock.advance(4800);
        QCOMPARE(m_idle.rig.window.aboutBox(), about);
        QCOMPARE(about->pos(), moved);
        // Escape closes it, wherever the focus goes then.
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());
    }
};

QTEST_MAIN(TstWindowShape)
#include "tst_windowshape.moc"
