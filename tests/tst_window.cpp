#include "core/messages.h"
#include "harness.h"
#include "ui/artwork.h"
#include "ui/form2.h"
#include "ui/qtdialogbackend.h"
#include "ui/twips.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// The main window and the about box as the user sees them.
class TstWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void controls_data();
    void controls();
    void fontSizes();
    void initialState();
    void tabOrder();
    void menuTree();
    void menusUsePlatformMenuFont_data();
    void menusUsePlatformMenuFont();
    void ctrlPRunsExpress();
    void titleBar();
    void aboutBox();
    void aboutBoxIsCentredWhenShown_data();
    void aboutBoxIsCentredWhenShown();
    void aboutBoxLinesFit_data();
    void aboutBoxLinesFit();
    void aboutLogoLiesInVisiblePart_data();
    void aboutLogoLiesInVisiblePart();
    void exitClosesPortAndEnds();
    void latestFileLineIsPlainText_data();
    void latestFileLineIsPlainText();
    void messageBoxTextIsPlain_data();
    void messageBoxTextIsPlain();
    void tabEntersChipGroupAtChosenChip_data();
    void tabEntersChipGroupAtChosenChip();
    void enterClicksFocusedButton_data();
    void enterClicksFocusedButton();
    void enterOnExitEnds();
    void textBoxesHaveNoLengthLimit_data();
    void textBoxesHaveNoLengthLimit();
    void longLatestFileWrapsOntoSecondLine_data();
    void longLatestFileWrapsOntoSecondLine();

private:
    // A second window, on the emulator, for the tests that look at the line.
    WindowHarness *onLine();

    std::unique_ptr<WindowHarness> h;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> lineWindow;
};

WindowHarness *TstWindow::onLine()
{
    if (!lineWindow) {
        sim = std::make_unique<SimProcess>();
        if (!connectWindow(*sim, lineWindow))
            lineWindow.reset();
    }
    if (lineWindow)
        lineWindow->startAfresh(*sim);
    return lineWindow.get();
}

void TstWindow::initTestCase()
{
    h = std::make_unique<WindowHarness>(PortMap::fromList(QString()));
    h->writeSetting(QStringLiteral("tsk.log"), "/images/blink.tsk");
    h->load();
    QVERIFY(QTest::qWaitForWindowExposed(h->window.get()));
}

void TstWindow::cleanupTestCase()
{
    lineWindow.reset();
    sim.reset();
    h.reset();
}

void TstWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Text1") << "Text1"
                           << "" << QRect(120, 240, 8532, 2412);
    QTest::newRow("Text2") << "Text2"
                           << "" << QRect(120, 2880, 8532, 372);
    QTest::newRow("Frame1") << "Frame1"
                            << "Choose Chip" << QRect(240, 3480, 4092, 1212);
    QTest::newRow("Option1") << "Option1"
                             << "AT89C2051" << QRect(240, 360, 1692, 180);
    QTest::newRow("Option2") << "Option2"
                             << "AT89C4051" << QRect(2160, 360, 1692, 180);
    QTest::newRow("Option3") << "Option3"
                             << "AT89C1051U" << QRect(240, 760, 2412, 204);
    QTest::newRow("Command1") << "Command1"
                              << "Load" << QRect(240, 5520, 1692, 492);
    QTest::newRow("Command2") << "Command2"
                              << "Verify" << QRect(240, 6120, 1692, 492);
    QTest::newRow("Command3") << "Command3"
                              << "Programming" << QRect(2280, 6120, 2292, 492);
    QTest::newRow("Command4") << "Command4"
                              << "Express" << QRect(6600, 5520, 2052, 1092);
    QTest::newRow("Command5") << "Command5"
                              << "Exit" << QRect(4920, 6120, 1332, 492);
    QTest::newRow("Frame2") << "Frame2"
                            << "SRAM Function" << QRect(4680, 3480, 3852, 1212);
    QTest::newRow("Label1") << "Label1"
                            << "Fill Data" << QRect(240, 360, 1212, 252);
    QTest::newRow("Label2") << "Label2"
                            << "Data Dump" << QRect(240, 720, 1212, 252);
    QTest::newRow("Text3") << "Text3"
                           << "FF" << QRect(1440, 360, 1212, 276);
    QTest::newRow("Text4") << "Text4"
                           << "0000" << QRect(1440, 720, 1212, 288);
    QTest::newRow("Label3") << "Label3"
                            << "Latest File at /images/blink.tsk" << QRect(360, 4920, 8652, 492);
    QTest::newRow("Command6") << "Command6"
                              << "GO" << QRect(2880, 360, 732, 300);
    QTest::newRow("Command7") << "Command7"
                              << "GO" << QRect(2880, 720, 732, 300);
    QTest::newRow("Command9") << "Command9"
                              << "Program && Lock bit" << QRect(2280, 5520, 3972, 492);
}

void TstWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QWidget *w = h->window->findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->geometry(), twipsRect(w, twips.x(), twips.y(), twips.width(), twips.height()));
    QString shown;
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        shown = b->text();
        // No caption has an access key: "&&" is a literal ampersand.
        QVERIFY(QKeySequence::mnemonic(shown).isEmpty());
    } else if (auto *g = qobject_cast<QGroupBox *>(w))
        shown = g->title();
    else if (auto *l = qobject_cast<QLabel *>(w))
        shown = l->text();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        shown = e->text();
    else if (auto *t = qobject_cast<QPlainTextEdit *>(w))
        shown = t->toPlainText();
    QCOMPARE(shown, caption);
    QVERIFY(w->isVisible());
}

void TstWindow::fontSizes()
{
    QCOMPARE(h->find<QWidget>("Text1")->font().pointSizeF(), 10.8);
    QCOMPARE(h->find<QWidget>("Text2")->font().pointSizeF(), 9.0);
    QCOMPARE(h->find<QWidget>("Option3")->font().pointSizeF(), 10.8);
    QCOMPARE(h->find<QWidget>("Command4")->font().pointSizeF(), 12.0);
    QCOMPARE(h->find<QWidget>("Command9")->font().pointSizeF(), 12.0);
    QCOMPARE(h->find<QWidget>("Command1")->font().pointSizeF(), 10.8);
    // A Kai face (fonts-arphic-ukai on Debian) where one is installed.
    const QString family = h->find<QWidget>("Text1")->font().family();
    QVERIFY2(family.contains(QLatin1String("Kai"), Qt::CaseInsensitive) ||
                 family == QStringLiteral("標楷體"),
             qPrintable(family));
    const QSize client = h->window->centralWidget()->size();
    QCOMPARE(client,
             QSize(twipsToPixels(h->window.get(), 8880), twipsToPixels(h->window.get(), 6816)));
}

void TstWindow::initialState()
{
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->text(2), QString());
    QCOMPARE(h->window->selectedChipOption(), 0);
    for (const char *name : {"Option1", "Option2", "Option3"})
        QVERIFY(!h->find<QRadioButton>(name)->isChecked());
    QVERIFY(!h->p().Timer1.Enabled());
    QVERIFY(!h->p().Timer2.Enabled());
    QCOMPARE(h->p().Timer1.Interval(), 100);
    QCOMPARE(h->p().Timer2.Interval(), 3);
    QVERIFY(h->p().Timer3.Enabled());
    QCOMPARE(h->p().Timer3.Interval(), 400);
}

void TstWindow::tabOrder()
{
    const QStringList expected = {"Text1",    "Text2",    "Option1",  "Option2",  "Option3",
                                  "Command1", "Command2", "Command3", "Command4", "Command5",
                                  "Text3",    "Text4",    "Command6", "Command7", "Command9"};
    QStringList chain;
    QWidget *w = h->find<QWidget>("Text1");
    for (int i = 0; i < expected.size(); ++i) {
        chain << w->objectName();
        w = w->nextInFocusChain();
        while (w && w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
    }
    QCOMPARE(chain, expected);

    // Tab from the response box goes to the status box, not into the text.
    QWidget *text1 = h->find<QWidget>("Text1");
    h->window->activateWindow();
    text1->setFocus();
    QTRY_VERIFY(text1->hasFocus());
    QTest::keyClick(text1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text2"));
}

void TstWindow::menuTree()
{
    struct Item {
        const char *name;
        const char *caption;
    };
    const QList<QPair<Item, QList<Item>>> expected = {
        {{"muFile", "File(&F)"},
         {{"muFileLoad", "Load(&L)"},
          {"muFileSave", "Save(&S)"},
          {"muFileComm", "ComPort check(&K)"},
          {"muFileC", "-"},
          {"muFileExit", "Exit(&X)"}}},
        {{"muIc", "IC(&C)"},
         {{"muIcSig", "Signature(&I)"},
          {"muIcC1", "-"},
          {"muIcBlank", "Blank Check(&B)"},
          {"muIcErase", "Erase Chip(&E)"},
          {"muIcProg", "Programming(&P)"},
          {"muIcLock", "Lock bit(&L)"},
          {"muIcRead", "Read(&R)"},
          {"muIcVer", "Verify(&V)"},
          {"muIcC2", "-"},
          {"muIcExp", "Express(&Q)"}}},
        {{"muProg", "Programmer(&P)"},
         {{"muProgClear", "SRAM Clear(&C)"},
          {"muProgFill", "SRAM Fill(&F)"},
          {"muProgDump", "SRAM Dump(&D)"},
          {"muProgSum", "SRAM Checksum(&S)"}}},
        {{"muDiag", "Diagnostic(&D)"},
         {{"muDiagRAM", "Test 8K SRAM(&M)"},
          {"muDiagLED", "Test LED(&D)"},
          {"muDiagBuz", "Test Buzzer(&B)"},
          {"muDiagC1", "-"},
          {"muDiagVpp", "Test Vpp at 12V(&V)"},
          {"muDiagHi", "Test Vpp at High(&H)"},
          {"muDiagLow", "Test Vpp at Low(&L)"},
          {"muDiagC2", "-"},
          {"muDiagFirm", "Firmware Version(&N)"}}},
        {{"muAbout", "About(&A)"}, {{"muAboutVer", "Version(&N)"}}},
    };
    const QList<QAction *> headings = h->window->menuBar()->actions();
    QCOMPARE(headings.size(), expected.size());
    int shortcuts = 0;
    for (int i = 0; i < headings.size(); ++i) {
        QCOMPARE(headings[i]->objectName(), QString::fromLatin1(expected[i].first.name));
        QCOMPARE(headings[i]->text(), QString::fromUtf8(expected[i].first.caption));
        const QList<QAction *> items = headings[i]->menu()->actions();
        QCOMPARE(items.size(), expected[i].second.size());
        for (int j = 0; j < items.size(); ++j) {
            const Item &want = expected[i].second[j];
            QCOMPARE(items[j]->objectName(), QString::fromLatin1(want.name));
            if (QByteArray(want.caption) == "-")
                QVERIFY(items[j]->isSeparator());
            else
                QCOMPARE(items[j]->text(), QString::fromUtf8(want.caption));
            QVERIFY(items[j]->isEnabled() && items[j]->isVisible() && !items[j]->isChecked());
            if (!items[j]->shortcut().isEmpty()) {
                ++shortcuts;
                QCOMPARE(items[j]->objectName(), QStringLiteral("muIcExp"));
                QCOMPARE(items[j]->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
            }
        }
    }
    QCOMPARE(shortcuts, 1);
}

void TstWindow::menusUsePlatformMenuFont_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"", "muFile", "muIc", "muProg", "muDiag", "muAbout"})
        QTest::newRow(*name ? name : "menu bar") << QString::fromLatin1(name);
}

void TstWindow::menusUsePlatformMenuFont()
{
    QFETCH(QString, name);
    QWidget *menu = h->window->menuBar();
    const char *kind = "QMenuBar";
    if (!name.isEmpty()) {
        menu = h->window->findChild<QMenu *>(name);
        kind = "QMenu";
    }
    QVERIFY(menu);
    QCOMPARE(menu->font(), QApplication::font(kind));
    // The controls keep the window's face.
    QCOMPARE(h->find<QWidget>("Command4")->font().family(), kaiFont(12).family());
}

void TstWindow::ctrlPRunsExpress()
{
    // With LatestFile set Express sends at once; the port is closed, so it says so. Ctrl+P
    // must reach Express, not the IC menu's Programming (which would leave Text2 alone).
    // (Transfers wait for the search to end: no port answers here, so it gives up.)
    QTRY_COMPARE_WITH_TIMEOUT(h->text(2), Msg::notInstalled(), 8000);
    h->window->activateWindow();
    QTRY_VERIFY(h->window->isActiveWindow());
    h->p().setText(2, QString());
    QTest::keyClick(h->window.get(), Qt::Key_P, Qt::ControlModifier);
    QTRY_COMPARE(h->text(2), Msg::missing(QStringLiteral("/images/blink.tsk")));
}

void TstWindow::titleBar()
{
    const Qt::WindowFlags flags = h->window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(h->window->windowTitle(), QStringLiteral("USB_Vantor Programmer"));
    QCOMPARE(h->window->windowIcon().availableSizes().value(0), QSize(32, 32));
}

void TstWindow::aboutBox()
{
    // The search with no port at all gave up after twelve ticks and showed the about box.
    QTRY_VERIFY_WITH_TIMEOUT(!h->p().Timer3.Enabled(), 8000);
    Form2 *about = h->window->form2();
    QVERIFY(about && about->isVisible());
    QVERIFY(about->windowTitle().startsWith(QStringLiteral("Vantor 燒錄器  --  ")));
    const Qt::WindowFlags flags = about->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint) && !(flags & Qt::WindowMinimizeButtonHint));
    QCOMPARE(about->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
             QStringLiteral("如果您對USB介面的Vantor燒錄器有任何的問題"));
    QCOMPARE(about->findChild<QLabel *>(QStringLiteral("Label2"))->text(),
             QStringLiteral("歡迎上網查詢更多相關資訊"));
    QVERIFY(about->findChild<QLabel *>(QStringLiteral("Label3"))
                ->text()
                .startsWith(QStringLiteral("我們的網址是 ")));
    QVERIFY(about->findChild<QLabel *>(QStringLiteral("Label4"))
                ->text()
                .contains(QStringLiteral(" 或 ")));
    QCOMPARE(about->findChild<QLabel *>(QStringLiteral("Picture1"))->pixmap().size(),
             QSize(286, 300));
    QCOMPARE(about->size(), QSize(twipsToPixels(about, 5040), twipsToPixels(about, 6012)));
    // It has no button: Enter has nothing to click and leaves it open.
    QTest::keyClick(about, Qt::Key_Return);
    QVERIFY(about->isVisible());
    // The main window stays usable: a command runs while the box is open.
    h->p().commands.muAboutVer_Click();
    QVERIFY(about->isVisible());
}

void TstWindow::aboutBoxIsCentredWhenShown_data()
{
    QTest::addColumn<bool>("moveAndClose");
    QTest::newRow("as the search showed it") << false;
    QTest::newRow("moved, closed, shown again") << true;
    QTest::newRow("moved, closed, shown again, twice") << true;
}

void TstWindow::aboutBoxIsCentredWhenShown()
{
    QFETCH(bool, moveAndClose);
    QTRY_VERIFY_WITH_TIMEOUT(!h->p().Timer3.Enabled(), 8000);
    Form2 *about = h->window->form2();
    QVERIFY(about && about->isVisible());
    if (moveAndClose) {
        about->move(7, 9);
        QTRY_COMPARE(about->pos(), QPoint(7, 9));
        about->close();
        QVERIFY(!about->isVisible());
        h->window->showForm2(); // what the search does when it gives up
        QCOMPARE(h->window->form2(), about);
        QVERIFY(about->isVisible());
    }
    const QPoint centre = about->screen()->availableGeometry().center();
    const QPoint off = about->frameGeometry().center() - centre;
    QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
             qPrintable(QStringLiteral("%1 px right, %2 px down of the screen's centre")
                            .arg(off.x())
                            .arg(off.y())));
}

void TstWindow::aboutBoxLinesFit_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"Label1", "Label2", "Label5", "Label3", "Label4"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TstWindow::aboutBoxLinesFit()
{
    QFETCH(QString, name);
    QTRY_VERIFY_WITH_TIMEOUT(h->window->form2(), 8000);
    Form2 *about = h->window->form2();
    auto *label = about->findChild<QLabel *>(name);
    QVERIFY(label);
    // What the box shows of the label: the labels reach past its right edge.
    const QRect shown = label->geometry().intersected(about->rect());
    const QFontMetrics metrics(label->font(), label);
    const int width = metrics.horizontalAdvance(label->text());
    QVERIFY2(width <= shown.width(), qPrintable(QStringLiteral("'%1' is %2 px wide in %3 px")
                                                    .arg(label->text())
                                                    .arg(width)
                                                    .arg(shown.width())));
    QVERIFY(metrics.height() <= shown.height());
    QVERIFY(!label->text().contains(QLatin1String("fictitio")));
}

void TstWindow::aboutLogoLiesInVisiblePart_data()
{
    QTest::addColumn<QSize>("visible");
    QTest::newRow("in the about box") << QSize(); // the box's own size
    QTest::newRow("a box of 72 dpi") << QSize(218, 186);
    QTest::newRow("a box of 120 dpi") << QSize(363, 310);
}

void TstWindow::aboutLogoLiesInVisiblePart()
{
    QFETCH(QSize, visible);
    QPixmap logo;
    if (visible.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(h->window->form2(), 8000);
        auto *picture = h->window->form2()->findChild<QLabel *>(QStringLiteral("Picture1"));
        QCOMPARE(picture->size(), QSize(290, 248)); // 4350 x 3720 twips at 96 dpi
        visible = picture->size();
        logo = picture->pixmap();
    } else {
        logo = aboutLogo(visible);
    }
    QCOMPARE(logo.size(), QSize(286, 300));
    const QImage image = logo.toImage().convertToFormat(QImage::Format_ARGB32);
    int drawnBottom = -1;
    int drawnRight = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                continue;
            drawnBottom = qMax(drawnBottom, y);
            drawnRight = qMax(drawnRight, x);
        }
    }
    QVERIFY2(
        drawnBottom < visible.height() && drawnRight < visible.width(),
        qPrintable(
            QStringLiteral("drawn down to row %1 and column %2").arg(drawnBottom).arg(drawnRight)));
    // It is not shrunk more than the box asks: it fills the box's width or its height.
    QVERIFY(drawnRight >= qMin(286, visible.width()) * 9 / 10 ||
            drawnBottom >= qMin(300, visible.height()) * 9 / 10);
}

void TstWindow::exitClosesPortAndEnds()
{
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness w(PortMap::fromDevices({sim.device()}));
    w.load();
    QTRY_COMPARE_WITH_TIMEOUT(w.text(2), Msg::foundOn(1), 5000);
    QSignalSpy ended(w.window.get(), &Form1::programEnded);
    QTest::mouseClick(w.find<QPushButton>("Command5"), Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!w.p().MSComm1.PortOpen());
}

// What a screen reader (and the eye) gets from a label: its text as displayed.
static QString shownText(QWidget *label)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(label);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<no accessible text>");
}

void TstWindow::latestFileLineIsPlainText_data()
{
    QTest::addColumn<QByteArray>("tsk");
    QTest::newRow("tags and entities") << QByteArray("/img/<i>italic</i>&lt;x&gt;.tsk");
    QTest::newRow("bold and ampersand") << QByteArray("/img/<b>a</b>&amp;b.tsk");
    QTest::newRow("line break tag") << QByteArray("/img/a<br>b.tsk");
}

void TstWindow::latestFileLineIsPlainText()
{
    QFETCH(QByteArray, tsk);
    WindowHarness w(PortMap::fromList(QString()));
    w.writeSetting(QStringLiteral("tsk.log"), tsk);
    w.load();
    auto *label3 = w.find<QLabel>("Label3");
    const QString expected = QStringLiteral("Latest File at ") + QString::fromUtf8(tsk);
    QCOMPARE(label3->text(), expected);
    QCOMPARE(shownText(label3), expected);
}

void TstWindow::messageBoxTextIsPlain_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("reply");
    QTest::newRow("OK") << 48 << QMessageBox::Ok << 1;
    QTest::newRow("Yes/No") << 52 << QMessageBox::No << 7;
}

void TstWindow::messageBoxTextIsPlain()
{
    QFETCH(int, style);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, reply);
    const QString text = QStringLiteral("/img/<i>italic</i>&lt;x&gt;.tsk 這個檔案");
    QString shown = QStringLiteral("<no message box>");
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(top);
            if (!box || !box->isVisible())
                continue;
            shown = shownText(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")));
            box->button(answer)->click();
        }
    });
    answerer.start(10);
    QtDialogBackend backend(h->window.get());
    QCOMPARE(backend.messageBox(text, style, QStringLiteral("title")), reply);
    QCOMPARE(shown, text);
}

// Presses a key in the widget that has the focus and names the one that has it then.
static QString pressInFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("<no focus>");
    QTest::keyClick(focus, key, modifiers);
    focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QStringLiteral("<no focus>");
}

void TstWindow::tabEntersChipGroupAtChosenChip_data()
{
    QTest::addColumn<QByteArray>("chipLog");
    QTest::addColumn<QString>("landing");
    QTest::addColumn<QByteArray>("spaceSends");
    QTest::addColumn<int>("arrow");
    QTest::addColumn<QString>("arrowLands");
    QTest::addColumn<QByteArray>("arrowSends");
    QTest::addColumn<QByteArray>("chipLogAfter");
    // chip.log names the chip the settle step selects; "2051 " names none.
    QTest::newRow("2051") << QByteArray("2051") << "Option1" << QByteArray() << int(Qt::Key_Right)
                          << "Option2" << QByteArray("@") << QByteArray("4051");
    QTest::newRow("4051") << QByteArray("4051") << "Option2" << QByteArray() << int(Qt::Key_Left)
                          << "Option1" << QByteArray("!") << QByteArray("2051");
    QTest::newRow("1051U") << QByteArray("1051U") << "Option3" << QByteArray() << int(Qt::Key_Up)
                           << "Option1" << QByteArray("!") << QByteArray("2051");
    QTest::newRow("none chosen") << QByteArray("2051 ") << "Option1" << QByteArray("!")
                                 << int(Qt::Key_Down) << "Option3" << QByteArray("#")
                                 << QByteArray("1051U");
}

void TstWindow::tabEntersChipGroupAtChosenChip()
{
    QFETCH(QByteArray, chipLog);
    QFETCH(QString, landing);
    QFETCH(QByteArray, spaceSends);
    QFETCH(int, arrow);
    QFETCH(QString, arrowLands);
    QFETCH(QByteArray, arrowSends);
    QFETCH(QByteArray, chipLogAfter);
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness w(PortMap::fromDevices({sim.device()}));
    w.writeSetting(QStringLiteral("chip.log"), chipLog);
    w.load();
    QVERIFY(w.settled());
    w.fence(sim);
    w.window->activateWindow();
    QTRY_VERIFY(w.window->isActiveWindow());
    w.find<QWidget>("Text2")->setFocus();
    QTRY_VERIFY(w.find<QWidget>("Text2")->hasFocus());

    QCOMPARE(pressInFocus(Qt::Key_Tab), landing);
    // Space on the chosen chip changes nothing: no command, chip.log left alone.
    w.writeSetting(QStringLiteral("chip.log"), "untouched");
    QCOMPARE(pressInFocus(Qt::Key_Space), landing);
    QCOMPARE(w.fence(sim), spaceSends + "c");
    QCOMPARE(w.readSetting(QStringLiteral("chip.log")),
             spaceSends.isEmpty() ? QByteArray("untouched") : QByteArray("2051"));
    QCOMPARE(pressInFocus(Qt::Key_Tab), QStringLiteral("Command1"));
    QCOMPARE(pressInFocus(Qt::Key_Tab, Qt::ShiftModifier), landing);

    // An arrow moves to the neighbouring chip and chooses it; Tab leaves the group from
    // there and comes back to it.
    QCOMPARE(pressInFocus(Qt::Key(arrow)), arrowLands);
    QCOMPARE(w.fence(sim), arrowSends + "c");
    QCOMPARE(w.readSetting(QStringLiteral("chip.log")), chipLogAfter);
    QCOMPARE(pressInFocus(Qt::Key_Tab), QStringLiteral("Command1"));
    QCOMPARE(pressInFocus(Qt::Key_Tab, Qt::ShiftModifier), arrowLands);
    w.find<QWidget>("Text2")->setFocus();
    QCOMPARE(pressInFocus(Qt::Key_Tab), arrowLands);
}

// Gives a widget of a window the keyboard focus; false when the window cannot have it.
static bool focusOn(QWidget *widget)
{
    widget->window()->activateWindow();
    if (!QTest::qWaitFor([&] { return widget->window()->isActiveWindow(); }, 5000))
        return false;
    widget->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([&] { return widget->hasFocus(); }, 5000);
}

void TstWindow::enterClicksFocusedButton_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("fileDialogs");
    QTest::addColumn<QString>("status");
    const int ret = Qt::Key_Return;
    const int pad = Qt::Key_Enter;
    QTest::newRow("Verify") << "Command2" << ret << QByteArray("V") << 0 << "";
    QTest::newRow("Programming, keypad") << "Command3" << pad << QByteArray("P") << 0 << "";
    QTest::newRow("Program & Lock bit") << "Command9" << ret << QByteArray("q") << 0 << "";
    QTest::newRow("fill GO") << "Command6" << ret << QByteArray("F\xFF") << 0 << "";
    QTest::newRow("dump GO, keypad") << "Command7" << pad << QByteArray("d\0\0", 3) << 0 << "";
    QTest::newRow("Load") << "Command1" << ret << QByteArray() << 1 << "放棄載入。";
    QTest::newRow("Express") << "Command4" << ret << QByteArray() << 1 << "";
    // Enter in the fill and dump boxes keeps its own meaning, and runs it once.
    QTest::newRow("in Text3") << "Text3" << ret << QByteArray("F\xFF") << 0 << "";
    QTest::newRow("in Text4, keypad") << "Text4" << pad << QByteArray("d\0\0", 3) << 0 << "";
    // SAVE goes on to the save dialog, which the test cancels.
    QTest::newRow("SAVE of Select Size")
        << "Form3.Command1" << ret << QByteArray() << 1 << "放棄儲存。";
}

void TstWindow::enterClicksFocusedButton()
{
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(QByteArray, bytes);
    QFETCH(int, fileDialogs);
    QFETCH(QString, status);
    WindowHarness *w = onLine();
    QVERIFY2(w, "the emulator's window did not settle");
    QWidget *widget = nullptr;
    if (target.startsWith(QLatin1String("Form3."))) {
        w->window->showForm3();
        widget = w->window->form3()->findChild<QWidget *>(target.mid(6));
    } else {
        widget = w->window->findChild<QWidget *>(target);
    }
    QVERIFY2(widget && focusOn(widget), qPrintable(target));
    QTest::keyClick(widget, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    // Fill and dump requests go out through the byte pump: let them reach the line first.
    QVERIFY2(sim->waitReceived(bytes.size()),
             qPrintable(QStringLiteral("the line carried only: ") + sim->received().toHex(' ')));
    QCOMPARE(w->fence(*sim), bytes + "c");
    QCOMPARE(w->dialogs->fileCalls.size(), fileDialogs);
    QCOMPARE(w->text(2), status);
    QVERIFY(!w->window->form3Visible());
}

void TstWindow::enterOnExitEnds()
{
    WindowHarness w(PortMap::fromList(QString()));
    w.load();
    QSignalSpy ended(w.window.get(), &Form1::programEnded);
    auto *exit = w.find<QPushButton>("Command5");
    QVERIFY(focusOn(exit));
    QTest::keyClick(exit, Qt::Key_Return);
    QCOMPARE(ended.count(), 1);
}

void TstWindow::textBoxesHaveNoLengthLimit_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("way");
    for (int box : {2, 3, 4}) {
        for (const char *way : {"set", "typed", "pasted"})
            QTest::addRow("Text%d %s", box, way) << box << QString::fromLatin1(way);
    }
}

void TstWindow::textBoxesHaveNoLengthLimit()
{
    QFETCH(int, box);
    QFETCH(QString, way);
    // The search of this window is over: nothing else writes the status box.
    QTRY_VERIFY_WITH_TIMEOUT(!h->p().Timer3.Enabled(), 8000);
    const QString name = QStringLiteral("Text%1").arg(box);
    auto *edit = h->window->findChild<QLineEdit *>(name);
    QVERIFY(edit && focusOn(edit));
    QString expected;
    if (way == QLatin1String("set")) {
        expected = QString(40000, QLatin1Char('7'));
        h->p().setText(box, expected);
    } else if (way == QLatin1String("typed")) {
        // 32,767 characters, then five more typed at the end.
        h->p().setText(box, QString(32767, QLatin1Char('7')));
        edit->end(false);
        QTest::keyClicks(edit, QStringLiteral("ABCDE"));
        expected = QString(32767, QLatin1Char('7')) + QStringLiteral("ABCDE");
    } else {
        expected = QString(40000, QLatin1Char('5'));
        QApplication::clipboard()->setText(expected);
        edit->clear();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(h->text(box).size(), expected.size());
    QCOMPARE(h->text(box), expected);
    h->p().setText(box, box == 3 ? QStringLiteral("FF") : box == 4 ? QStringLiteral("0000") : "");
}

// The rows and columns of an image where something differs from its background, the
// colour of its bottom-right corner.
struct Ink {
    int top = -1, bottom = -1, left = -1, right = -1;
};
static Ink inkOf(const QImage &image)
{
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qAbs(qGray(c) - qGray(background)) < 64)
                continue;
            ink.top = ink.top < 0 ? y : ink.top;
            ink.bottom = y;
            ink.left = ink.left < 0 ? x : qMin(ink.left, x);
            ink.right = qMax(ink.right, x);
        }
    }
    return ink;
}

void TstWindow::longLatestFileWrapsOntoSecondLine_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no blanks") << "/srv/firmware/images/at89c2051/production/2024-batch-07/"
                                  "blink_led_with_debounce_and_watchdog_timer_v3.tsk";
    QTest::newRow("blanks") << "/home/user/My Firmware Images/AT89C2051 production batch 07/"
                               "blink led with debounce and watchdog v3.tsk";
}

void TstWindow::longLatestFileWrapsOntoSecondLine()
{
    QFETCH(QString, path);
    auto *label3 = h->find<QLabel>("Label3");
    h->window->setLabel3(QStringLiteral("Latest File at ") + path);
    QCOMPARE(label3->text(), QStringLiteral("Latest File at ") + path);
    // The line is two lines high; its right end lies under the edge of the window.
    const int line = QFontMetrics(label3->font()).lineSpacing();
    QVERIFY(2 * line <= label3->height());
    const int shown = label3->parentWidget()->width() - label3->x();
    QVERIFY(shown < label3->width());

    const Ink ink = inkOf(label3->grab().toImage());
    QVERIFY2(ink.bottom >= line, "nothing on the second line");
    QVERIFY2(ink.top < line, "nothing on the first line");
    QVERIFY2(ink.right < shown, "text runs under the window's edge");
    h->window->setLabel3(QStringLiteral("Latest File at /images/blink.tsk"));
}

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
