#include "link/mscomm.h"
#include "simfixture.h"

#include <QSignalSpy>
#include <QTest>

// The serial-port control against the emulator on a pseudo-terminal.
class TstSerialPort : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void portNumbersMapToDevices_data();
    void portNumbersMapToDevices();
    void missingDeviceFailsToOpen();
    void outputPutsExactBytes_data();
    void outputPutsExactBytes();
    void inputTextAndBinary();
    void inBufferCountCountsWaitingBytes();
    void closedPortFails();
    void writeAfterUnplugFailsAndCloses();
    void unplugWhileIdleIsNoticed();
    void defaultMapPutsUsbAdaptersFirst();
    void slowDeviceIsNotTakenForRemoved();

private:
    QString readUntil(MSComm &comm, int length);
    SimProcess *sim = nullptr;
};

void TstSerialPort::init()
{
    sim = new SimProcess;
    QVERIFY(sim->start());
}

void TstSerialPort::cleanup()
{
    delete sim;
    sim = nullptr;
}

QString TstSerialPort::readUntil(MSComm &comm, int length)
{
    QString all;
    auto gather = [&] {
        QString part;
        comm.Input(&part);
        all += part;
        return all.size() >= length;
    };
    for (int i = 0; i < 300 && !gather(); ++i)
        QTest::qWait(10);
    return all;
}

void TstSerialPort::portNumbersMapToDevices_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("comNumber");
    QTest::newRow("COM1") << "%1" << 1;
    QTest::newRow("COM3 after two absent") << ",,%1" << 3;
    QTest::newRow("COM11") << ",,,,,,,,,,%1" << 11;
}

void TstSerialPort::portNumbersMapToDevices()
{
    QFETCH(QString, list);
    QFETCH(int, comNumber);
    MSComm comm;
    comm.setPortMap(PortMap::fromList(list.arg(sim->device())));
    for (int n = 1; n <= 12; ++n) {
        QVERIFY(comm.setCommPort(n));
        const bool opened = comm.setPortOpen(true);
        QCOMPARE(opened, n == comNumber);
        QCOMPARE(comm.PortOpen(), opened);
        comm.setPortOpen(false);
        QVERIFY(!comm.PortOpen());
    }
}

void TstSerialPort::missingDeviceFailsToOpen()
{
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({QStringLiteral("/dev/pts/no-such-device")}));
    comm.setCommPort(1);
    QVERIFY(!comm.setPortOpen(true));
    QVERIFY(!comm.PortOpen());
}

void TstSerialPort::outputPutsExactBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("asText");
    QTest::newRow("string tb") << QByteArray("tb") << true;
    QTest::newRow("string i") << QByteArray("i") << true;
    QTest::newRow("one byte 0xFF") << QByteArray("\xff", 1) << false;
    QTest::newRow("zero byte") << QByteArray("\x00", 1) << false;
}

void TstSerialPort::outputPutsExactBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, asText);
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({sim->device()}));
    QVERIFY(comm.setSettings(QStringLiteral("9600,N,8,1")));
    QVERIFY(comm.setPortOpen(true));
    QVERIFY(asText ? comm.Output(QString::fromLatin1(bytes)) : comm.Output(bytes));
    // Follow with a fence byte so that nothing more can be hiding behind it.
    QVERIFY(comm.Output(QByteArray("X")));
    QVERIFY(sim->waitReceivedEndsWith("X"));
    QCOMPARE(sim->received(), bytes + "X");
}

void TstSerialPort::inputTextAndBinary()
{
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({sim->device()}));
    QVERIFY(comm.setPortOpen(true));
    // Bytes above 0x7F come through text mode one character each.
    QCOMPARE(sim->control(QStringLiteral("send A\\xE9\\xFFZ")), QStringLiteral("ok"));
    const QString text = readUntil(comm, 4);
    QCOMPARE(text, QString::fromLatin1("A\xE9\xFFZ"));

    comm.setInputMode(MSComm::comInputModeBinary);
    QCOMPARE(sim->control(QStringLiteral("send \\x00\\x80\\r\\n")), QStringLiteral("ok"));
    QTRY_COMPARE(comm.InBufferCount(), 4);
    QByteArray bytes;
    QVERIFY(comm.Input(&bytes));
    QCOMPARE(bytes, QByteArray("\x00\x80\r\n", 4));
    QCOMPARE(comm.InBufferCount(), 0);
}

void TstSerialPort::inBufferCountCountsWaitingBytes()
{
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({sim->device()}));
    QVERIFY(comm.setPortOpen(true));
    QCOMPARE(comm.InBufferCount(), 0);
    comm.setInputMode(MSComm::comInputModeBinary);
    QVERIFY(comm.Output(QStringLiteral("S4")));
    QTRY_COMPARE(comm.InBufferCount(), 4096);
    QByteArray block;
    QVERIFY(comm.Input(&block));
    QCOMPARE(block.size(), 4096);
}

void TstSerialPort::closedPortFails()
{
    MSComm comm;
    QVERIFY(!comm.PortOpen());
    QVERIFY(!comm.Output(QStringLiteral("i")));
    QString text;
    QVERIFY(!comm.Input(&text));
    QCOMPARE(comm.InBufferCount(), -1);
}

void TstSerialPort::writeAfterUnplugFailsAndCloses()
{
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({sim->device()}));
    QVERIFY(comm.setPortOpen(true));
    QSignalSpy removed(&comm, &MSComm::removed);
    QCOMPARE(sim->control(QStringLiteral("unplug")), QStringLiteral("ok"));
    // No event loop runs in between: the write itself must see the device gone.
    QVERIFY(!comm.Output(QStringLiteral("i")));
    QVERIFY(!comm.PortOpen());
    QVERIFY(comm.wasRemoved());
    QCOMPARE(removed.count(), 1);
    QVERIFY(!comm.Output(QStringLiteral("i")));
    QCOMPARE(removed.count(), 1);
}

void TstSerialPort::unplugWhileIdleIsNoticed()
{
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({sim->device()}));
    QVERIFY(comm.setPortOpen(true));
    QSignalSpy removed(&comm, &MSComm::removed);
    QCOMPARE(sim->control(QStringLiteral("unplug")), QStringLiteral("ok"));
    QTRY_COMPARE(removed.count(), 1);
    QVERIFY(!comm.PortOpen());
}

void TstSerialPort::defaultMapPutsUsbAdaptersFirst()
{
    const QStringList ordered =
        PortMap::orderDevices({QStringLiteral("/dev/ttyS1"), QStringLiteral("/dev/ttyUSB10"),
                               QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyACM0"),
                               QStringLiteral("/dev/ttyUSB2")});
    QCOMPARE(ordered, QStringList({QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyUSB2"),
                                   QStringLiteral("/dev/ttyUSB10"), QStringLiteral("/dev/ttyS0"),
                                   QStringLiteral("/dev/ttyS1")}));
}

void TstSerialPort::slowDeviceIsNotTakenForRemoved()
{
    // A device slower than the writer fills the terminal's buffer; the writes that then
    // find no room must not look like a removal, and every byte must arrive in order.
    SimProcess paced({QStringLiteral("--pace")});
    QVERIFY(paced.start());
    MSComm comm;
    comm.setPortMap(PortMap::fromDevices({paced.device()}));
    QVERIFY(comm.setPortOpen(true));
    QSignalSpy removed(&comm, &MSComm::removed);
    QByteArray image;
    for (int i = 0; i < 4999; ++i)
        image.append(static_cast<char>((i * 7 + 3) & 0xFF));
    const QByteArray frame = QByteArray("L\x13\x87", 3) + image;
    for (char byte : frame) {
        QVERIFY(comm.Output(QByteArray(1, byte)));
        QCoreApplication::processEvents();
    }
    QVERIFY(paced.waitReceived(frame.size(), 15000));
    QCOMPARE(paced.received(), frame);
    QCOMPARE(removed.count(), 0);
    QVERIFY(comm.PortOpen());
    QString replies;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QString part;
            comm.Input(&part);
            replies += part;
            return replies.contains(QLatin1String("Load OK, 4999 bytes"));
        }(),
        3000);
}

QTEST_GUILESS_MAIN(TstSerialPort)
#include "tst_serialport.moc"
