#include "core/messages.h"
#include "harness.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// SRAM fill (Text3) and dump (Text4) through the real window against the emulator: what
// goes on the line, the messages, and the pump that sends the request.
class TstSram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void initialTextsQueueTheirRequests();
    void fill_data();
    void fill();
    void dump_data();
    void dump();
    void dumpReplyShowsFilledValue();
    void newRequestReplacesQueuedOne();
    void portClosedPumpRunsThroughWithoutSending_data();
    void portClosedPumpRunsThroughWithoutSending();

private:
    enum Route { Button, Menu, Return, KeypadEnter, ShiftReturn };
    // Runs the fill (box 3) or dump (box 4) handler the way the route says.
    void run(int box, Route route);
    void checkBox(int n);
    // Gets something into RxText and Text1, and an earlier message into Text2.
    void dirtyTheTexts();
    // Waits until the pump has sent the request (none: nothing) and stopped, checks that it
    // went out one byte per tick, then sends "c" and checks everything on the line.
    void expectOnLine(const QByteArray &bytes);
    QLineEdit *box(int n);
    // Types text into box n in place of what it holds.
    void type(int n, const QString &text);

    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
    QList<int> indexAtTick; // TxIndex after each tick of the pump
};

static const QString earlierStatus = QStringLiteral("an earlier message");

static QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

void TstSram::initTestCase()
{
    sim = std::make_unique<SimProcess>();
    QVERIFY(connectWindow(*sim, h));
    // Connected after the window's own handler: records what the pump had sent after each tick.
    connect(&h->p().Timer2, &VbTimer::Timer, this, [this] { indexAtTick << h->p().TxIndex; });
}

void TstSram::init()
{
    QVERIFY(h->p().MSComm1.PortOpen());
    QVERIFY(h->p().Timer1.Enabled());
    QVERIFY(!h->p().Timer2.Enabled());
    sim->markReceived();
    indexAtTick.clear();
}

QLineEdit *TstSram::box(int n)
{
    return h->find<QLineEdit>(n == 3 ? "Text3" : "Text4");
}

void TstSram::type(int n, const QString &text)
{
    QLineEdit *edit = box(n);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 128;
    if (ascii)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text); // what an input method does; key clicks carry ASCII only
    QCOMPARE(edit->text(), text);
}

void TstSram::run(int n, Route route)
{
    const bool fill = n == 3;
    switch (route) {
    case Button:
        QTest::mouseClick(h->find<QPushButton>(fill ? "Command6" : "Command7"), Qt::LeftButton);
        break;
    case Menu:
        h->window
            ->findChild<QAction *>(fill ? QStringLiteral("muProgFill")
                                        : QStringLiteral("muProgDump"))
            ->trigger();
        break;
    case Return:
        QTest::keyClick(box(n), Qt::Key_Return);
        break;
    case KeypadEnter:
        QTest::keyClick(box(n), Qt::Key_Enter, Qt::KeypadModifier);
        break;
    case ShiftReturn:
        QTest::keyClick(box(n), Qt::Key_Return, Qt::ShiftModifier);
        break;
    }
}

void TstSram::dirtyTheTexts()
{
    QCOMPARE(sim->control(QStringLiteral("send before\\r\\n")), QStringLiteral("ok"));
    QTRY_VERIFY(h->p().RxText.endsWith(QStringLiteral("before\r\n")));
    QVERIFY(h->text(1).endsWith(QStringLiteral("before\n")));
    h->p().setText(2, earlierStatus);
    sim->markReceived();
    indexAtTick.clear();
}

void TstSram::expectOnLine(const QByteArray &expected)
{
    QTRY_VERIFY(!h->p().Timer2.Enabled());
    if (!expected.isEmpty()) {
        QCOMPARE(int(h->p().TxCount), int(expected.size()));
        QCOMPARE(h->p().TxIndex, int(expected.size()));
        QVERIFY(sim->waitReceived(int(expected.size())));
    }
    // One byte per tick, and no tick after the last byte.
    QList<int> oneEach;
    for (int i = 1; i <= expected.size(); ++i)
        oneEach << i;
    QCOMPARE(indexAtTick, oneEach);

    QCOMPARE(h->fence(*sim, int(expected.size())), expected + 'c');
    QCOMPARE(indexAtTick, oneEach);
}

void TstSram::initialTextsQueueTheirRequests()
{
    QCOMPARE(h->text(3), QStringLiteral("FF"));
    QCOMPARE(h->text(4), QStringLiteral("0000"));

    dirtyTheTexts();
    QTest::mouseClick(h->find<QPushButton>("Command6"), Qt::LeftButton);
    QVERIFY(h->p().Timer2.Enabled());
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->text(2), QString());
    QCOMPARE(h->p().RxText, QString());
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Fill FF\r\n"));
    expectOnLine(bytes({0x46, 0xFF}));

    dirtyTheTexts();
    QTest::mouseClick(h->find<QPushButton>("Command7"), Qt::LeftButton);
    QVERIFY(h->p().Timer2.Enabled());
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->text(2), QString());
    QCOMPARE(h->p().RxText, QString());
    QTRY_COMPARE(h->p().RxText.count(QStringLiteral("\r\n")), 4);
    QVERIFY(h->p().RxText.startsWith(QStringLiteral("0000: FF FF ")));
    expectOnLine(bytes({0x64, 0x00, 0x00}));

    QCOMPARE(h->text(3), QStringLiteral("FF"));
    QCOMPARE(h->text(4), QStringLiteral("0000"));
}

static const char *const routeNames[] = {"GO", "menu", "Enter", "keypad Enter", "Shift+Enter"};

// A text through the GO button.
static void addRow(const char *text, const QByteArray &request, const QString &message)
{
    QTest::addRow("%s", text) << QString::fromUtf8(text) << 0 << request << message;
}

// A text through each of the other ways of running the handler.
static void addOtherRoutes(const char *text, const QByteArray &request, const QString &message)
{
    for (int route = 1; route < 5; ++route)
        QTest::addRow("%s via %s", text, routeNames[route])
            << QString::fromUtf8(text) << route << request << message;
}

void TstSram::fill_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("route");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("message");

    const QString bad = QStringLiteral("你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。");
    addRow("00", bytes({0x46, 0x00}), QString());
    addRow("a5", bytes({0x46, 0xA5}), QString());
    addRow("A5", bytes({0x46, 0xA5}), QString());
    addRow("7f", bytes({0x46, 0x7F}), QString());
    addRow("", QByteArray(), bad);
    addRow("5", QByteArray(), bad);
    addRow("100", QByteArray(), bad);
    addRow("G1", QByteArray(), bad);
    addRow("1G", QByteArray(), bad);
    addRow("1 ", QByteArray(), bad);
    addRow(" 1", QByteArray(), bad);
    addRow("中文", QByteArray(), bad);
    addOtherRoutes("3c", bytes({0x46, 0x3C}), QString());
    addOtherRoutes("G1", QByteArray(), bad);
}

void TstSram::fill()
{
    checkBox(3);
}

void TstSram::dump_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("route");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("message");

    const QString tooHigh = QStringLiteral("你所輸入的位址超過記憶體長度，請重新輸入。");
    const QString invalid = QStringLiteral("你所輸入的是無效的起始位置，請輸入四位數十六進位碼。");
    const QString none = QStringLiteral("你並未輸入起始位置，請輸入四位數十六進位碼。");
    addRow("0000", bytes({0x64, 0x00, 0x00}), QString());
    addRow("0FFF", bytes({0x64, 0x0F, 0xFF}), QString());
    addRow("0fff", bytes({0x64, 0x0F, 0xFF}), QString());
    addRow("0123", bytes({0x64, 0x01, 0x23}), QString());
    addRow("0aB0", bytes({0x64, 0x0A, 0xB0}), QString());
    addRow("1000", QByteArray(), tooHigh);
    addRow("1FFF", QByteArray(), tooHigh);
    addRow("1fff", QByteArray(), tooHigh);
    addRow("2000", QByteArray(), invalid);
    addRow("FFFF", QByteArray(), invalid);
    addRow("0x1F", QByteArray(), invalid);
    addRow("0G00", QByteArray(), invalid);
    addRow("012", QByteArray(), invalid);
    addRow("01234", QByteArray(), invalid);
    addRow("0 12", QByteArray(), invalid);
    addRow("012 ", QByteArray(), invalid);
    addRow(" ", QByteArray(), invalid);
    addRow("０１２３", QByteArray(), invalid);
    addRow("", QByteArray(), none);
    addOtherRoutes("0123", bytes({0x64, 0x01, 0x23}), QString());
    addOtherRoutes("1000", QByteArray(), tooHigh);
    addOtherRoutes("2000", QByteArray(), invalid);
    addOtherRoutes("", QByteArray(), none);
}

void TstSram::dump()
{
    checkBox(4);
}

// One row of fill or dump: box n (3 or 4) holding the row's text, run by the row's route.
void TstSram::checkBox(int n)
{
    QFETCH(QString, text);
    QFETCH(int, route);
    QFETCH(QByteArray, request);
    QFETCH(QString, message);

    type(n, text);
    dirtyTheTexts();

    run(n, Route(route));
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->p().RxText, QString());
    QCOMPARE(h->text(2), message);
    QCOMPARE(h->text(n), text);
    QCOMPARE(h->p().Timer2.Enabled(), !request.isEmpty());
    const QString value = QString::fromLatin1(request.mid(1).toHex().toUpper());
    if (!request.isEmpty() && n == 3) {
        // The programmer's answer reaches RxText through the poller.
        QTRY_COMPARE(h->p().RxText, QStringLiteral("Fill ") + value + QStringLiteral("\r\n"));
    } else if (!request.isEmpty()) {
        // The listing, four lines from the address asked for, reaches RxText.
        QTRY_COMPARE(h->p().RxText.count(QStringLiteral("\r\n")), 4);
        QVERIFY2(h->p().RxText.startsWith(value + ": "), qPrintable(h->p().RxText));
    }
    expectOnLine(request);
    QCOMPARE(h->text(2), message);
    QCOMPARE(h->text(n), text);
}

void TstSram::dumpReplyShowsFilledValue()
{
    type(3, QStringLiteral("5a"));
    QTest::keyClick(box(3), Qt::Key_Return);
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Fill 5A\r\n"));
    QTRY_VERIFY(!h->p().Timer2.Enabled());

    type(4, QStringLiteral("0000"));
    QTest::keyClick(box(4), Qt::Key_Return);
    QString expected;
    for (int line = 0; line < 4; ++line)
        expected += QStringLiteral("%1: ").arg(line * 16, 4, 16, QLatin1Char('0')).toUpper() +
                    QStringLiteral("5A ").repeated(15) + QStringLiteral("5A\r\n");
    QTRY_COMPARE(h->p().RxText, expected);
    QTRY_COMPARE(h->text(1),
                 QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QCOMPARE(sim->received(), bytes({0x46, 0x5A, 0x64, 0x00, 0x00}));
    QCOMPARE(sim->stateField(QStringLiteral("sram_sum")), QStringLiteral("A000"));
}

void TstSram::newRequestReplacesQueuedOne()
{
    // The pump holds one request: a fill made before the dump has gone out takes its place.
    type(3, QStringLiteral("C3"));
    type(4, QStringLiteral("0123"));
    dirtyTheTexts();
    h->window->findChild<QAction *>(QStringLiteral("muProgDump"))->trigger();
    h->window->findChild<QAction *>(QStringLiteral("muProgFill"))->trigger();
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Fill C3\r\n"));
    expectOnLine(bytes({0x46, 0xC3}));
}

void TstSram::portClosedPumpRunsThroughWithoutSending_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");

    QTest::newRow("fill") << 3 << QStringLiteral("A5") << 2;
    QTest::newRow("dump") << 4 << QStringLiteral("0FFF") << 3;
}

void TstSram::portClosedPumpRunsThroughWithoutSending()
{
    QFETCH(int, box);
    QFETCH(QString, text);
    QFETCH(int, count);

    type(box, text);
    dirtyTheTexts();
    h->p().MSComm1.setPortOpen(false);

    run(box, Button);
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->p().RxText, QString());
    QCOMPARE(h->text(2), QString());
    QVERIFY(h->p().Timer2.Enabled());
    QTRY_VERIFY(!h->p().Timer2.Enabled());
    QCOMPARE(h->p().TxIndex, count);
    QCOMPARE(indexAtTick.size(), count);
    QCOMPARE(h->text(2), QString());

    QVERIFY(h->p().MSComm1.setPortOpen(true));
    h->p().Timer1.setEnabled(true);
    indexAtTick.clear();
    expectOnLine(QByteArray());
    QCOMPARE(h->text(2), QString());
}

QTEST_MAIN(TstSram)
#include "tst_sram.moc"
