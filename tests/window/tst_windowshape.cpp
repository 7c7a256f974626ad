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
#include <QScreen>
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

struct ControlRow {
    const char *tag; // "window.control", or the window alone
    QRect twips;     // a window's client area, or a control in its parent
    qreal points;    // 0: the platform's font
    const char *caption;
};
Q_DECLARE_METATYPE(ControlRow)
const std::initializer_list<ControlRow> Controls = {
    {"Form1", {0, 0, 8880, 6816}, 0, "USB_Vantor Programmer"},
    {"Form2", {0, 0, 5040, 6012}, 0, "Vantor 燒錄器  --  凡拓電子有限公司"},
    {"Form3", {0, 0, 2760, 1608}, 0, "Select Size"},
    {"Form1.Text1", {120, 240, 8532, 2412}, 10.8, ""},
    {"Form1.Text2", {120, 2880, 8532, 372}, 9, ""},
    {"Form1.Frame1", {240, 3480, 4092, 1212}, 10.8, "Choose Chip"},
    {"Form1.Option1", {240, 360, 1692, 180}, 10.8, "AT89C2051"},
    {"Form1.Option2", {2160, 360, 1692, 180}, 10.8, "AT89C4051"},
    {"Form1.Option3", {240, 760, 2412, 204}, 10.8, "AT89C1051U"},
    {"Form1.Command1", {240, 5520, 1692, 492}, 10.8, "Load"},
    {"Form1.Command2", {240, 6120, 1692, 492}, 10.8, "Verify"},
    {"Form1.Command3", {2280, 6120, 2292, 492}, 10.8, "Programming"},
    {"Form1.Command4", {6600, 5520, 2052, 1092}, 12, "Express"},
    {"Form1.Command5", {4920, 6120, 1332, 492}, 10.8, "Exit"},
    {"Form1.Frame2", {4680, 3480, 3852, 1212}, 10.8, "SRAM Function"},
    {"Form1.Label1", {240, 360, 1212, 252}, 10.8, "Fill Data"},
    {"Form1.Label2", {240, 720, 1212, 252}, 10.8, "Data Dump"},
    {"Form1.Text3", {1440, 360, 1212, 276}, 10.8, "FF"},
    {"Form1.Text4", {1440, 720, 1212, 288}, 10.8, "0000"},
    {"Form1.Label3", {360, 4920, 8652, 492}, 10.8, "Latest File at /images/blink.tsk"},
    {"Form1.Command6", {2880, 360, 732, 300}, 10.8, "GO"},
    {"Form1.Command7", {2880, 720, 732, 300}, 10.8, "GO"},
    {"Form1.Command9", {2280, 5520, 3972, 492}, 12, "Program && Lock bit"},
    {"Form2.Picture1", {360, 240, 4350, 3720}, 0, ""},
    {"Form2.Label1", {240, 4200, 5172, 252}, 0, "如果您對USB介面的Vantor燒錄器有任何的問題"},
    {"Form2.Label2", {240, 4440, 5292, 372}, 0, "歡迎上網查詢更多相關資訊"},
    {"Form2.Label5", {240, 4920, 5292, 372}, 0, "凡拓電子有限公司  Vantor Electronics Ltd."},
    {"Form2.Label3", {240, 5280, 5532, 372}, 0, "我們的網址是 http://www.vantor-demo.example"},
    {"Form2.Label4", {240, 5520, 5172, 372}, 0, "我們的電話是 (00) 0000-1234 或 (00) 0000-5678"},
    {"Form3.Option1", {120, 360, 2000, 360}, 0, "2K Bytes"},
    {"Form3.Option2", {120, 720, 2000, 360}, 0, "4K Bytes"},
    {"Form3.Option3", {120, 1080, 2000, 360}, 0, "1K Bytes"},
    {"Form3.Label1", {120, 120, 2412, 372}, 0, "選擇要儲存的檔案大小"},
    {"Form3.Command1", {1440, 960, 1212, 492}, 0, "SAVE"},
};
struct ActionRow {
    const char *tag, *target;           // the control chosen, or focused for the key; Form1 closed
    int key, modifiers, sizes, dialogs; // key 0: clicked; sizes: see actions()
    QByteArray sent;
    QString status; // after "earlier text"
};
Q_DECLARE_METATYPE(ActionRow)
// reply: what came before the user typed into the response box; then: a tick, or a button.
struct TypingRow {
    const char *tag, *reply, *then, *shown;
};
Q_DECLARE_METATYPE(TypingRow)

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

    void controls_data() { addRows(Controls); }
    void controls()
    {
        QFETCH(ControlRow, row);
        const QString caption = QString::fromUtf8(row.caption), name = row.tag;
        AboutBox about;
        SaveSizeDialog sizes;
        QWidget *top = name.startsWith("Form2")   ? static_cast<QWidget *>(&about)
                       : name.startsWith("Form3") ? static_cast<QWidget *>(&sizes)
                                                  : &m_idle.rig.window;
        QCOMPARE(top->objectName(), name.section('.', 0, 0));
        QCOMPARE(top->logicalDpiX(), 96); // 15 twips to the pixel
        const QRect t = row.twips, pixels(qRound(t.x() / 15.0), qRound(t.y() / 15.0),
                                          qRound(t.width() / 15.0), qRound(t.height() / 15.0));
        // A window: its title and client area; a control: its text and place.
        QWidget *w = name.contains('.') ? top->findChild<QWidget *>(name.section('.', 1)) : top;
        QVERIFY(w);
        auto *main = qobject_cast<QMainWindow *>(w);
        QCOMPARE(w == top ? QRect({}, (main ? main->centralWidget() : w)->size()) : w->geometry(),
                 pixels);
        const char *text = w == top ? "windowTitle" : w->inherits("QGroupBox") ? "title" : "text";
        QCOMPARE(w->property(w->inherits("QPlainTextEdit") ? "plainText" : text), caption);
        // No chip is chosen before the programmer is found; 2K is offered first.
        QCOMPARE(w->property("checked").toBool(), name == "Form3.Option1");
        if (auto *label = qobject_cast<QLabel *>(w)) { // the part inside its window shows all
            const QRect inside = label->geometry().intersected(label->parentWidget()->rect());
            const QFontMetrics metrics(label->font(), label);
            QVERIFY(metrics.horizontalAdvance(caption) <= inside.width());
            QVERIFY(metrics.height() <= inside.height());
        }
        if (auto *box = qobject_cast<QLineEdit *>(w)) { // any length, past Qt's 32,767
            box->setText(QString(40000, '7'));
            QCOMPARE(box->text().size(), 40000);
        }
        QCOMPARE(w->font().pointSizeF(), row.points ? row.points : qApp->font().pointSizeF());
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
        addRows<ActionRow>({
            // Enter clicks the focused button.
            {"Verify", "Command2", ret, 0, 0, 0, "V", kept},
            {"Programming, keypad", "Command3", pad, keypad, 0, 0, "P", kept},
            {"Program & Lock bit", "Command9", ret, 0, 0, 0, "q", kept},
            {"fill GO", "Command6", ret, 0, 0, 0, "F\xFF", ""},
            {"dump GO, keypad", "Command7", pad, keypad, 0, 0, dump, ""},
            {"Load", "Command1", ret, 0, 0, 1, "", "放棄載入。"},
            {"Express", "Command4", ret, 0, 0, 1, "", kept},
            // Exit, and closing the window, close the port.
            {"Exit", "Command5", ret, 0, 0, 0, "", kept},
            {"close box", "Form1", 0, 0, 0, 0, "", kept},
            // Ctrl+P is Express (its dialog), not the IC menu's Programming ("P").
            {"Ctrl+P", "Text2", Qt::Key_P, Qt::ControlModifier, 0, 1, "", kept},
            // Enter in the fill and dump boxes keeps its own meaning, and runs it once.
            {"in Text3", "Text3", ret, 0, 0, 0, "F\xFF", ""},
            {"in Text4, keypad", "Text4", pad, keypad, 0, 0, dump, ""},
            // Select Size leaves Load and Express usable. While data moves (sizes 2), a second
            // Save only brings it to the front, and a chip click is refused.
            {"Select Size, Load", "Command1", ret, 0, 1, 1, load, "Load completed"},
            {"Select Size, Express", "Text2", Qt::Key_P, Qt::ControlModifier, 1, 1, express,
             "Load completed... ( Checksum = 126 )"},
            {"Select Size, Save", "muFileSave", 0, 0, 2, 1, "", kept},
            {"Select Size, chip", "Option2", 0, 0, 2, 1, "", busy},
        });
    }
    void actions()
    {
        QFETCH(ActionRow, row);
        FakeWindow f;
        QVERIFY(f.connect());
        if (row.sizes) { // Select Size open at 1K; at 2, a Load's image going out that never drains
            f.rig.dialogs.choose(writeFile(f.rig.path(QStringLiteral("abc.tsk")), "abc"));
            f.rig.use(QStringLiteral("muFileSave"));
            f.rig.window.sizeDialog()->findChild<QAbstractButton *>("Option3")->click();
            if (row.sizes == 2) {
                f.line.setIntake(FakeTransport::Intake::Stalled);
                f.rig.use(QStringLiteral("Command1"));
            }
            f.sent();
        }
        f.rig.find<QLineEdit>("Text2")->setText(QStringLiteral("earlier text"));
        QVERIFY(row.key == 0 || focusOn(f.rig.find(row.target)));
        if (row.key)
            QTest::keyClick(f.rig.find(row.target), Qt::Key(row.key),
                            Qt::KeyboardModifiers(row.modifiers));
        else if (row.target == QByteArray("Form1"))
            f.rig.window.close();
        else
            f.rig.use(row.target);
        QCOMPARE(f.sent(), row.sent);
        QCOMPARE(f.rig.dialogs.asked.size(), row.dialogs);
        QCOMPARE(f.rig.status(), row.status);
        QCOMPARE(f.line.isOpen(), !QByteArrayList({"Command5", "Form1"}).contains(row.target));
        SaveSizeDialog *sizes = f.rig.window.sizeDialog(); // still at 1K
        QCOMPARE(sizes && sizes->isVisible(), row.sizes > 0);
        QVERIFY(!row.sizes || sizes->findChild<QAbstractButton *>("Option3")->isChecked());
    }

    void typingIntoTheResponseBoxLastsATick_data()
    {
        addRows<TypingRow>(
            {{"a tick", "Erase OK", "tick", "Erase OK"}, {"Verify, no reply", "", "Command2", ""}});
    }
    void typingIntoTheResponseBoxLastsATick()
    {
        QFETCH(TypingRow, row);
        FakeWindow f;
        QVERIFY(f.connect());
        f.line.send(row.reply);
        f.clock.advance(100);
        QTest::keyClicks(f.rig.find("Text1"), "typed");
        QVERIFY(f.rig.response().contains("typed"));
        if (row.then == QByteArray("tick"))
            f.clock.advance(100);
        else
            f.rig.use(row.then);
        QCOMPARE(f.rig.response(), row.shown);
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
        // Escape closes it, wherever the focus goes then.
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());
    }
};

QTEST_MAIN(TstWindowShape)
#include "tst_windowshape.moc"
