#include "core/messages.h"
#include "harness.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
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
    void cleanupTestCase();
    void init();

    void fixedCommandPutsItsBytes_data();
    void fixedCommandPutsItsBytes();
    void fixedCommandWithPortClosedSendsNothing_data();
    void fixedCommandWithPortClosedSendsNothing();
    void commandGoesOutBetweenPumpedBytes();
    void writeFailureReportsRemoval();

    void choose4051WithLinkOpen();
    void chooseChipWithLinkClosed();
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
    // Sends "c" (SRAM checksum), waits until the line ends with expected + "c" and the
    // answer has been shown; returns everything received since the last mark.
    QByteArray fenced(WindowHarness &w, SimProcess &s, const QByteArray &expected);
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
    QVERIFY(sim->start());
    h = std::make_unique<WindowHarness>(PortMap::fromDevices({sim->device()}));
    h->load();
    QTRY_COMPARE_WITH_TIMEOUT(h->window->selectedChipOption(), 1, 5000);
    QVERIFY(sim->waitReceived(3));
    QCOMPARE(sim->received(), QByteArray("ii!"));
    QTRY_COMPARE(h->p().RxText, QStringLiteral("Chip AT89C2051\r\n"));
}

void TstCommands::cleanupTestCase()
{
    h.reset();
    sim.reset();
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

QByteArray TstCommands::fenced(WindowHarness &w, SimProcess &s, const QByteArray &expected)
{
    w.window->findChild<QAction *>(QStringLiteral("muProgSum"))->trigger();
    s.waitReceivedEndsWith(expected + 'c', 3000);
    // Its answer, too, so that no reply is still on its way when the caller goes on.
    const bool answered = QTest::qWaitFor([&] {
        static const QRegularExpression answer(QStringLiteral("Checksum [0-9A-F]{4}\r\n$"));
        return answer.match(w.p().RxText).hasMatch();
    });
    return answered ? s.received() : s.received() + "<no answer to the fence>";
}

bool TstCommands::waitPolls(WindowHarness &w, int n)
{
    QSignalSpy ticks(&w.p().Timer1, &VbTimer::Timer);
    const QDeadlineTimer deadline(5000);
    while (ticks.size() < n && !deadline.hasExpired())
        ticks.wait(200);
    return ticks.size() >= n;
}

static void addCommandRows()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("muIcSig") << "muIcSig" << QByteArray("s");
    QTest::newRow("muIcBlank") << "muIcBlank" << QByteArray("B");
    QTest::newRow("muIcErase") << "muIcErase" << QByteArray("E");
    QTest::newRow("muIcProg") << "muIcProg" << QByteArray("P");
    QTest::newRow("muIcLock") << "muIcLock" << QByteArray("\x6C");
    QTest::newRow("muIcRead") << "muIcRead" << QByteArray("R");
    QTest::newRow("muIcVer") << "muIcVer" << QByteArray("V");
    QTest::newRow("muProgClear") << "muProgClear" << QByteArray("X");
    QTest::newRow("muProgSum") << "muProgSum" << QByteArray("c");
    QTest::newRow("muDiagRAM") << "muDiagRAM" << QByteArray("tR");
    QTest::newRow("muDiagLED") << "muDiagLED" << QByteArray("\x74\x4C");
    QTest::newRow("muDiagBuz") << "muDiagBuz" << QByteArray("\x74\x62");
    QTest::newRow("muDiagVpp") << "muDiagVpp" << QByteArray("tV");
    QTest::newRow("muDiagHi") << "muDiagHi" << QByteArray("th");
    QTest::newRow("muDiagLow") << "muDiagLow" << QByteArray("\x74\x6C");
    QTest::newRow("muDiagFirm") << "muDiagFirm" << QByteArray("tf");
    QTest::newRow("muAboutVer") << "muAboutVer" << QByteArray("i");
    QTest::newRow("Command9 Program & Lock bit") << "Command9" << QByteArray("q");
    QTest::newRow("Command2 Verify") << "Command2" << QByteArray("V");
    QTest::newRow("Command3 Programming") << "Command3" << QByteArray("P");
}

void TstCommands::fixedCommandPutsItsBytes_data()
{
    addCommandRows();
}

void TstCommands::fixedCommandPutsItsBytes()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, bytes);

    // Something shown from before, and a message left by an earlier operation.
    receive("before\r\n");
    QTRY_VERIFY(h->text(1).endsWith(QStringLiteral("before\n")));
    h->p().setText(2, earlierStatus);
    sim->markReceived();

    trigger(*h, control);
    QCOMPARE(h->p().RxText, QString());
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->text(2), earlierStatus);

    QCOMPARE(fenced(*h, *sim, bytes), bytes + 'c');
    QCOMPARE(h->text(2), earlierStatus);
    QCOMPARE(h->window->selectedChipOption(), 1);
}

void TstCommands::fixedCommandWithPortClosedSendsNothing_data()
{
    addCommandRows();
}

void TstCommands::fixedCommandWithPortClosedSendsNothing()
{
    QFETCH(QString, control);

    receive("kept\r\n");
    QTRY_VERIFY(h->text(1).endsWith(QStringLiteral("kept\n")));
    h->p().setText(2, earlierStatus);
    const QString rxBefore = h->p().RxText;
    const QString text1Before = h->text(1);
    h->p().MSComm1.setPortOpen(false);
    sim->markReceived();

    trigger(*h, control);
    QCOMPARE(h->p().RxText, rxBefore);
    QCOMPARE(h->text(1), text1Before);
    QCOMPARE(h->text(2), earlierStatus);
    // Nothing was kept back to go out later either.
    QVERIFY(waitPolls(*h, 1));
    QCOMPARE(h->p().RxText, rxBefore);
    QCOMPARE(h->text(1), text1Before);
    QCOMPARE(h->text(2), earlierStatus);

    QVERIFY(h->p().MSComm1.setPortOpen(true));
    h->p().Timer1.setEnabled(true);
    QCOMPARE(fenced(*h, *sim, QByteArray()), QByteArray("c"));
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
    const QByteArray expected = QByteArray("ds\x01") + char(0x23);
    QCOMPARE(fenced(*h, *sim, expected), expected + 'c');
    h->p().setText(4, QStringLiteral("0000"));
}

void TstCommands::writeFailureReportsRemoval()
{
    SimProcess own;
    QVERIFY(own.start());
    WindowHarness w(PortMap::fromDevices({own.device()}));
    w.load();
    QTRY_COMPARE_WITH_TIMEOUT(w.window->selectedChipOption(), 1, 5000);
    QTRY_COMPARE(w.p().RxText, QStringLiteral("Chip AT89C2051\r\n"));
    QCOMPARE(own.control(QStringLiteral("unplug")), QStringLiteral("ok"));

    trigger(w, QStringLiteral("muIcSig"));
    QTRY_COMPARE(w.text(2), Msg::removed());
    QVERIFY(!w.p().MSComm1.PortOpen());
    QTRY_VERIFY(!w.p().Timer1.Enabled());
    // Later commands are dropped without a word.
    w.p().setText(2, earlierStatus);
    trigger(w, QStringLiteral("Command3"));
    QCOMPARE(w.text(2), earlierStatus);
    QCOMPARE(own.received(), QByteArray("ii!"));
}

void TstCommands::choose4051WithLinkOpen()
{
    select2051();
    receive("before\r\n");
    h->p().setText(2, earlierStatus);
    sim->markReceived();

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
    receive("kept\r\n");
    QTRY_VERIFY(h->text(1).endsWith(QStringLiteral("kept\n")));
    h->p().setText(2, earlierStatus);
    const QString rxBefore = h->p().RxText;
    const QString text1Before = h->text(1);
    h->p().MSComm1.setPortOpen(false);
    sim->markReceived();

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
    QTRY_COMPARE_WITH_TIMEOUT(h->text(2), Msg::foundOn(1), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!h->p().Timer4.Enabled(), 3000);
    QCOMPARE(h->window->selectedChipOption(), 2);
    QCOMPARE(fenced(*h, *sim, "ii"), QByteArray("iic"));
    QCOMPARE(sim->stateField(QStringLiteral("type")), QStringLiteral("2051"));
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("4051"));

    select2051();
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
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
    QCOMPARE(fenced(*h, *sim, "#"), QByteArray("#c"));
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
    QCOMPARE(fenced(*h, *sim, QByteArray()), QByteArray("c"));
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
    QCOMPARE(fenced(*h, *sim, bytes), bytes + 'c');
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
    QCOMPARE(fenced(*h, *sim, "#"), QByteArray("#c"));

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
    QTRY_COMPARE_WITH_TIMEOUT(w.text(2), Msg::foundOn(1), 5000);
    // The settle step has run once Timer4 has stopped.
    QTRY_VERIFY_WITH_TIMEOUT(!w.p().Timer4.Enabled(), 3000);
    QCOMPARE(w.window->selectedChipOption(), option);
    QCOMPARE(w.p().ChipName, QString::fromLatin1(chipLog));
    QCOMPARE(w.readSetting(QStringLiteral("chip.log")), chipLog);
    QCOMPARE(fenced(w, own, "ii" + chipCommand), "ii" + chipCommand + 'c');
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
