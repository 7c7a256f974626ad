#include "core/messages.h"
#include "harness.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The fixed commands of the buttons and menu items, and the chip selection, through the
// real window against the emulator.
class TstCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void fixedCommandPutsItsBytes_data();
    void fixedCommandPutsItsBytes();
    void commandGoesOutBetweenPumpedBytes();
    void writeFailureReportsRemoval();

    void choose4051WithLinkOpen();
    void chooseChipWithLinkClosed();
    void keyReportIn_data();
    void keyReportIn();
    void keyReportSelectsChip_data();
    void keyReportSelectsChip();
    void lowerCaseKeyReportIsIgnored();
    void twoKeyReportsOnlyTheFirstRuleActs_data();
    void twoKeyReportsOnlyTheFirstRuleActs();
    void keyReportSplitOverTwoPolls();

    void chipLogAfterDiscovery_data();
    void chipLogAfterDiscovery();
    void fillProgramVerifyAgainstFirmware();

private:
    void trigger(WindowHarness &w, const QString &control);
    void clickOption(WindowHarness &w, int option);
    // Makes the emulator send text and waits until RxText ends with it.
    void receive(const QByteArray &text);
    // Makes sure the 2051 is selected, with its command answered.
    void select2051();
    // Something shown in Text1 and an earlier message in Text2; the line marked.
    void dirtyTheTexts();
    // Fences, and checks that the line carried exactly bytes before the fence.
    void expectOnLine(WindowHarness &w, SimProcess &s, const QByteArray &bytes);
    // Waits for n more ticks of the receive poller.
    bool waitPolls(WindowHarness &w, int n);

    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
};

static const QString earlierStatus = QStringLiteral("an earlier message");

static QString escaped(const QByteArray &text)
{
    QString out;
    for (char c : text) {
        if (c == '\r')
            out += QStringLiteral("\\r");
        else if (c == '\n')
            out += QStringLiteral("\\n");
        else
            out += QLatin1Char(c);
    }
    return out;
}

void TstCommands::initTestCase()
{
    sim = std::make_unique<SimProcess>();
    QVERIFY(connectWindow(*sim, h));
}

void TstCommands::init()
{
    // Every test starts with the link open and the poller running.
    if (!h->p().MSComm1.PortOpen()) {
        QVERIFY(h->p().MSComm1.setPortOpen(true));
        h->p().Timer1.setEnabled(true);
    }
    QVERIFY(h->p().Timer1.Enabled());
    sim->markReceived();
}

void TstCommands::trigger(WindowHarness &w, const QString &control)
{
    if (auto *action = w.window->findChild<QAction *>(control)) {
        action->trigger();
        return;
    }
    auto *button = w.window->findChild<QPushButton *>(control);
    QVERIFY2(button, qPrintable(control));
    QTest::mouseClick(button, Qt::LeftButton);
}

void TstCommands::clickOption(WindowHarness &w, int option)
{
    const QByteArray name = "Option" + QByteArray::number(option);
    auto *button = w.find<QRadioButton>(name.constData());
    QVERIFY(button);
    // On the indicator, which is inside the button's click area whatever the caption.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void TstCommands::receive(const QByteArray &text)
{
    QCOMPARE(sim->control(QStringLiteral("send ") + escaped(text)), QStringLiteral("ok"));
    QTRY_VERIFY(h->p().RxText.endsWith(QString::fromLatin1(text)));
}

void TstCommands::select2051()
{
    if (h->window->selectedChipOption() == 1)
        return;
    clickOption(*h, 1);
    QCOMPARE(h->window->selectedChipOption(), 1);
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Chip AT89C2051\r\n"));
    sim->markReceived();
}

void TstCommands::dirtyTheTexts()
{
    receive("before\r\n");
    QTRY_VERIFY(h->text(1).endsWith(QStringLiteral("before\n")));
    h->p().setText(2, earlierStatus);
    sim->markReceived();
}

void TstCommands::expectOnLine(WindowHarness &w, SimProcess &s, const QByteArray &bytes)
{
    QCOMPARE(w.fence(s, int(bytes.size())), bytes + 'c');
}

bool TstCommands::waitPolls(WindowHarness &w, int n)
{
    QSignalSpy ticks(&w.p().Timer1, &VbTimer::Timer);
    const QDeadlineTimer deadline(5000);
    while (ticks.size() < n && !deadline.hasExpired())
        ticks.wait(200);
    return ticks.size() >= n;
}

void TstCommands::fixedCommandPutsItsBytes_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("open");
    const char *const commands[][2] = {
        {"muIcSig", "s"},    {"muIcBlank", "B"},  {"muIcErase", "E"},  {"muIcProg", "P"},
        {"muIcLock", "l"},   {"muIcRead", "R"},   {"muIcVer", "V"},    {"muProgClear", "X"},
        {"muProgSum", "c"},  {"muDiagRAM", "tR"}, {"muDiagLED", "tL"}, {"muDiagBuz", "tb"},
        {"muDiagVpp", "tV"}, {"muDiagHi", "th"},  {"muDiagLow", "tl"}, {"muDiagFirm", "tf"},
        {"muAboutVer", "i"}, {"Command9", "q"},   {"Command2", "V"},   {"Command3", "P"}};
    for (bool open : {true, false}) {
        for (const auto &c : commands)
            QTest::addRow("%s%s", c[0], open ? "" : ", port closed")
                << QString::fromLatin1(c[0]) << QByteArray(c[1]) << open;
    }
}

void TstCommands::fixedCommandPutsItsBytes()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, open);

    // Something shown from before, and a message left by an earlier operation.
    dirtyTheTexts();
    // With the port closed nothing is sent and nothing shown is cleared.
    const QString rxBefore = open ? QString() : h->p().RxText;
    const QString text1Before = open ? QString() : h->text(1);
    if (!open)
        h->p().MSComm1.setPortOpen(false);

    trigger(*h, control);
    QCOMPARE(h->p().RxText, rxBefore);
    QCOMPARE(h->text(1), text1Before);
    QCOMPARE(h->text(2), earlierStatus);
    if (!open) {
        // Nothing was kept back to go out later either.
        QVERIFY(waitPolls(*h, 1));
        QCOMPARE(h->p().RxText, rxBefore);
        QCOMPARE(h->text(1), text1Before);
        QCOMPARE(h->text(2), earlierStatus);
        QVERIFY(h->p().MSComm1.setPortOpen(true));
        h->p().Timer1.setEnabled(true);
    }

    expectOnLine(*h, *sim, open ? bytes : QByteArray());
    QCOMPARE(h->text(2), earlierStatus);
    QCOMPARE(h->window->selectedChipOption(), 1);
}

void TstCommands::commandGoesOutBetweenPumpedBytes()
{
    h->p().setText(4, QStringLiteral("0123"));
    // After the pump's first tick the user asks for the signature.
    bool asked = false;
    auto connection = connect(&h->p().Timer2, &VbTimer::Timer, this, [&] {
        if (!asked && h->p().TxIndex == 1) {
            asked = true;
            trigger(*h, QStringLiteral("muIcSig"));
        }
    });
    trigger(*h, QStringLiteral("muProgDump"));
    QTRY_VERIFY(!h->p().Timer2.Enabled());
    disconnect(connection);
    QVERIFY(asked);
    expectOnLine(*h, *sim, QByteArray("ds\x01") + char(0x23));
    h->p().setText(4, QStringLiteral("0000"));
}

void TstCommands::writeFailureReportsRemoval()
{
    SimProcess own;
    std::unique_ptr<WindowHarness> w;
    QVERIFY(connectWindow(own, w));
    QCOMPARE(own.control(QStringLiteral("unplug")), QStringLiteral("ok"));

    trigger(*w, QStringLiteral("muIcSig"));
    QTRY_COMPARE(w->text(2), Msg::removed());
    QVERIFY(!w->p().MSComm1.PortOpen());
    QTRY_VERIFY(!w->p().Timer1.Enabled());
    // Later commands are dropped without a word.
    w->p().setText(2, earlierStatus);
    trigger(*w, QStringLiteral("Command3"));
    QCOMPARE(w->text(2), earlierStatus);
    QCOMPARE(own.received(), QByteArray());
}

void TstCommands::choose4051WithLinkOpen()
{
    select2051();
    dirtyTheTexts();

    clickOption(*h, 2);
    QCOMPARE(h->window->selectedChipOption(), 2);
    QCOMPARE(h->p().ChipName, QStringLiteral("4051"));
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("4051"));
    QCOMPARE(h->p().RxText, QString());
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->text(2), earlierStatus);
    QVERIFY(sim->waitReceived(1));
    QCOMPARE(sim->received(), QByteArray("\x40"));
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Chip AT89C4051\r\n"));
    QCOMPARE(sim->stateField(QStringLiteral("type")), QStringLiteral("4051"));

    select2051();
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
}

void TstCommands::chooseChipWithLinkClosed()
{
    select2051();
    dirtyTheTexts();
    const QString rxBefore = h->p().RxText;
    const QString text1Before = h->text(1);
    h->p().MSComm1.setPortOpen(false);

    clickOption(*h, 2);
    QCOMPARE(h->window->selectedChipOption(), 2);
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("4051"));
    QCOMPARE(h->p().RxText, rxBefore);
    QCOMPARE(h->text(1), text1Before);
    QCOMPARE(h->text(2), earlierStatus);
    QVERIFY(waitPolls(*h, 1));
    QCOMPARE(h->text(2), earlierStatus);

    // A ComPort check finds the 4051 already selected and does not tell the programmer.
    trigger(*h, QStringLiteral("muFileComm"));
    QVERIFY(h->settled());
    QCOMPARE(h->window->selectedChipOption(), 2);
    expectOnLine(*h, *sim, "ii");
    QCOMPARE(sim->stateField(QStringLiteral("type")), QStringLiteral("2051"));
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("4051"));

    select2051();
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
}

void TstCommands::keyReportIn_data()
{
    QTest::addColumn<QString>("received");
    QTest::addColumn<int>("option");

    QTest::newRow("nothing") << QString() << 0;
    QTest::newRow("KEY_2K") << QStringLiteral("KEY_2K") << 1;
    QTest::newRow("KEY_4K") << QStringLiteral("KEY_4K\r\n") << 2;
    QTest::newRow("KEY_1K with text around it") << QStringLiteral("noise KEY_1K more") << 3;
    QTest::newRow("KEY_4K before KEY_2K") << QStringLiteral("KEY_4K\r\nKEY_2K\r\n") << 1;
    QTest::newRow("KEY_1K before KEY_4K") << QStringLiteral("KEY_1K KEY_4K") << 2;
    QTest::newRow("lower case") << QStringLiteral("key_2k") << 0;
    QTest::newRow("mixed case") << QStringLiteral("Key_2K") << 0;
    QTest::newRow("cut short") << QStringLiteral("KEY_2") << 0;
    QTest::newRow("broken by a NUL")
        << QStringLiteral("KEY_") + QChar(0) + QStringLiteral("2K") << 0;
    QTest::newRow("overlapping KEY_KEY_1K") << QStringLiteral("KEY_KEY_1K") << 3;
    QTest::newRow("full-width letters") << QStringLiteral("ＫＥＹ＿２Ｋ") << 0;
}

void TstCommands::keyReportIn()
{
    QFETCH(QString, received);
    QFETCH(int, option);
    QCOMPARE(ChipSelection::KeyReportIn(received), option);
}

void TstCommands::keyReportSelectsChip_data()
{
    QTest::addColumn<QString>("controlLine");

    QTest::newRow("key 1K") << QStringLiteral("key 1K");
    QTest::newRow("text around it") << QStringLiteral("send noise KEY_1K more noise\\r\\n");
}

void TstCommands::keyReportSelectsChip()
{
    QFETCH(QString, controlLine);
    select2051();
    h->p().setText(2, earlierStatus);

    QCOMPARE(sim->control(controlLine), QStringLiteral("ok"));
    QTRY_COMPARE(h->window->selectedChipOption(), 3);
    QCOMPARE(h->p().ChipName, QStringLiteral("1051U"));
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("1051U"));
    QCOMPARE(h->text(2), earlierStatus);
    // The chip command consumed the report: only the programmer's answer to it follows.
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Chip AT89C1051U\r\n"));
    expectOnLine(*h, *sim, "#");
    QCOMPARE(sim->stateField(QStringLiteral("type")), QStringLiteral("1051U"));

    select2051();
}

void TstCommands::lowerCaseKeyReportIsIgnored()
{
    select2051();
    receive("key_1k\r\n");
    QVERIFY(waitPolls(*h, 2));
    QCOMPARE(h->window->selectedChipOption(), 1);
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
    QVERIFY(h->p().RxText.endsWith(QStringLiteral("key_1k\r\n")));
    expectOnLine(*h, *sim, QByteArray());
}

void TstCommands::twoKeyReportsOnlyTheFirstRuleActs_data()
{
    QTest::addColumn<int>("startOption");
    QTest::addColumn<int>("endOption");
    QTest::addColumn<QByteArray>("bytes");

    // KEY_2K is tested first, wherever it stands in the text.
    QTest::newRow("from the 1051U: the 2051 is chosen") << 3 << 1 << QByteArray("!");
    QTest::newRow("from the 2051: nothing happens") << 1 << 1 << QByteArray();
}

void TstCommands::twoKeyReportsOnlyTheFirstRuleActs()
{
    QFETCH(int, startOption);
    QFETCH(int, endOption);
    QFETCH(QByteArray, bytes);

    select2051();
    if (startOption == 3) {
        clickOption(*h, startOption);
        QCOMPARE(h->window->selectedChipOption(), startOption);
        QTRY_COMPARE(h->p().RxText, QStringLiteral("Chip AT89C1051U\r\n"));
    }
    sim->markReceived();

    QCOMPARE(sim->control(QStringLiteral("send KEY_4K\\r\\nKEY_2K\\r\\n")), QStringLiteral("ok"));
    if (bytes.isEmpty())
        QTRY_VERIFY(h->p().RxText.endsWith(QStringLiteral("KEY_4K\r\nKEY_2K\r\n")));
    else
        QTRY_COMPARE(h->p().RxText, QStringLiteral("Chip AT89C2051\r\n"));
    QVERIFY(waitPolls(*h, 3));
    QCOMPARE(h->window->selectedChipOption(), endOption);
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
    expectOnLine(*h, *sim, bytes);
}

void TstCommands::keyReportSplitOverTwoPolls()
{
    select2051();
    receive("KEY_");
    // The first piece has been polled, and at least one more poll sees nothing new.
    QVERIFY(waitPolls(*h, 2));
    QCOMPARE(h->window->selectedChipOption(), 1);
    QVERIFY(h->p().RxText.endsWith(QStringLiteral("KEY_")));

    QCOMPARE(sim->control(QStringLiteral("send 1K\\r\\n")), QStringLiteral("ok"));
    QTRY_COMPARE(h->window->selectedChipOption(), 3);
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("1051U"));
    expectOnLine(*h, *sim, "#");

    select2051();
}

void TstCommands::chipLogAfterDiscovery_data()
{
    QTest::addColumn<QByteArray>("chipLog");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("chipCommand");

    QTest::newRow("2051 with a blank: no chip") << QByteArray("2051 ") << 0 << QByteArray();
    QTest::newRow("1051U") << QByteArray("1051U") << 3 << QByteArray("#");
}

void TstCommands::chipLogAfterDiscovery()
{
    QFETCH(QByteArray, chipLog);
    QFETCH(int, option);
    QFETCH(QByteArray, chipCommand);

    SimProcess own;
    QVERIFY(own.start());
    WindowHarness w(PortMap::fromDevices({own.device()}));
    w.writeSetting(QStringLiteral("chip.log"), chipLog);
    w.load();
    QVERIFY(w.settled());
    QCOMPARE(w.window->selectedChipOption(), option);
    QCOMPARE(w.p().ChipName, QString::fromLatin1(chipLog));
    QCOMPARE(w.readSetting(QStringLiteral("chip.log")), chipLog);
    expectOnLine(w, own, "ii" + chipCommand);
}

void TstCommands::fillProgramVerifyAgainstFirmware()
{
    // The start-up selects the 4051, which does not match the 2051 in the socket.
    SimProcess own;
    QVERIFY(own.start());
    WindowHarness w(PortMap::fromDevices({own.device()}));
    w.writeSetting(QStringLiteral("chip.log"), "4051");
    w.load();
    QTRY_COMPARE_WITH_TIMEOUT(w.window->selectedChipOption(), 2, 5000);
    QTRY_COMPARE(w.p().RxText, QStringLiteral("Chip AT89C4051\r\n"));
    QCOMPARE(own.received(), QByteArray("ii@"));
    own.markReceived();

    clickOption(w, 1);
    QCOMPARE(w.window->selectedChipOption(), 1);
    QTRY_COMPARE(w.p().RxText, QStringLiteral("Chip AT89C2051\r\n"));

    auto *text3 = w.find<QLineEdit>("Text3");
    text3->clear();
    QTest::keyClicks(text3, QStringLiteral("A5"));
    QTest::mouseClick(w.find<QPushButton>("Command6"), Qt::LeftButton);
    QTRY_COMPARE(w.p().RxText, QStringLiteral("Fill A5\r\n"));
    QTRY_VERIFY(!w.p().Timer2.Enabled());

    trigger(w, QStringLiteral("muIcProg"));
    QTRY_COMPARE(w.p().RxText, QStringLiteral("Program OK\r\n"));
    QTest::mouseClick(w.find<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_COMPARE(w.p().RxText, QStringLiteral("Verify OK\r\n"));
    QTRY_COMPARE(w.text(1), QStringLiteral("Verify OK\n"));

    QCOMPARE(own.received(), QByteArray("!\x46\xA5PV"));
    // 0xA5 in all 2048 bytes: 0xA5 * 2048 modulo 65536.
    QCOMPARE(own.stateField(QStringLiteral("flash_sum")), QStringLiteral("2800"));
    QCOMPARE(own.stateField(QStringLiteral("type")), QStringLiteral("2051"));
    QCOMPARE(w.readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
}

QTEST_MAIN(TstCommands)
#include "tst_commands.moc"
