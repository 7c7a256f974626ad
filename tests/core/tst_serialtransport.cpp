#include "core/serialtransport.h"
#include "simfixture.h"

#include <QSignalSpy>
#include <QTest>

// The serial line over QSerialPort, against the emulator on a pseudo-terminal.
class TstSerialTransport : public QObject
{
    Q_OBJECT
private slots:
    void portNumbersMapToDevicesAndBytesGoOutExactly();
    void slowDeviceTakingALongWriteIsNotARemoval();
    void batchedBlockWakesNobodyAndArrivesWhole();
    void removalIsConfirmedAndToldOnce_data();
    void removalIsConfirmedAndToldOnce();
};

void TstSerialTransport::portNumbersMapToDevicesAndBytesGoOutExactly()
{
    SimProcess sim;
    QVERIFY(sim.start());
    SerialTransport line(PortMap::fromList(",," + sim.device()));
    QCOMPARE(line.lastPort(), 3);
    QVERIFY(!line.open(1));
    QVERIFY(!line.open(4));
    QVERIFY(line.open(3));
    QCOMPARE(line.port(), 3);
    QVERIFY(!line.open(3)); // one port at a time
    QVERIFY(line.write("tb"));
    QVERIFY(line.write(QByteArray("\xFF\x00X", 3)));
    QVERIFY(sim.waitReceivedEndsWith("X"));
    QCOMPARE(sim.received(), QByteArray("tb\xFF\x00X", 5));
    line.close();
    QVERIFY(!line.isOpen());
    QVERIFY(!line.write("i"));
}

void TstSerialTransport::slowDeviceTakingALongWriteIsNotARemoval()
{
    // The paced emulator takes a byte every 1.04 ms: four loads (20008 bytes) overfill the
    // terminal's buffer, and the port meets EAGAIN, which must not look like a removal.
    SimProcess sim({QStringLiteral("--pace")});
    QVERIFY(sim.start());
    SerialTransport line(PortMap::fromDevices({sim.device()}));
    QVERIFY(line.open(1));
    QSignalSpy removed(&line, &Transport::removed);
    QSignalSpy drained(&line, &Transport::drained);
    QByteArray image(4999, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    const QByteArray frames = (QByteArray("L\x13\x87", 3) + image).repeated(4);
    QVERIFY(line.write(frames));
    QVERIFY(line.pendingOutput() > 0);
    // The system makes room again only once the device has read a good part of it.
    QVERIFY(sim.waitReceived(1000, 5000));
    QVERIFY(frames.startsWith(sim.received()));
    QCOMPARE(drained.count(), 0);
    QVERIFY(line.pendingOutput() > 0);
    QCOMPARE(removed.count(), 0);
    QVERIFY(line.isOpen());
}

void TstSerialTransport::batchedBlockWakesNobodyAndArrivesWhole()
{
    SimProcess sim;
    QVERIFY(sim.start());
    SerialTransport line(PortMap::fromDevices({sim.device()}));
    QVERIFY(line.open(1));
    QSignalSpy received(&line, &Transport::received);
    line.setBatched(true);
    QVERIFY(line.write("S4"));
    QTRY_COMPARE_WITH_TIMEOUT(line.available(), qint64(4096), 5000);
    QCOMPARE(received.count(), 0);
    QCOMPARE(line.take().size(), 4096);
    line.setBatched(false);
    QCOMPARE(sim.control(QStringLiteral("send ok")), QStringLiteral("ok"));
    QVERIFY(received.wait(5000));
    QCOMPARE(line.take(), QByteArray("ok"));
}

void TstSerialTransport::removalIsConfirmedAndToldOnce_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("idle: the port reports it") << "idle";
    QTest::newRow("the next write finds it") << "write";
    QTest::newRow("a batched look finds it") << "batched";
}

void TstSerialTransport::removalIsConfirmedAndToldOnce()
{
    QFETCH(QString, how);
    SimProcess sim;
    QVERIFY(sim.start());
    SerialTransport line(PortMap::fromDevices({sim.device()}));
    QVERIFY(line.open(1));
    QSignalSpy removed(&line, &Transport::removed);
    line.setBatched(how == "batched");
    QCOMPARE(sim.control(QStringLiteral("unplug")), QStringLiteral("ok"));
    if (how == "write")
        QVERIFY(!line.write("i")); // no event loop in between: the write itself sees it
    else if (how == "batched")
        QTRY_VERIFY_WITH_TIMEOUT(line.available() == 0 && !line.isOpen(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(removed.count(), 1, 5000);
    QVERIFY(!line.isOpen());
    QVERIFY(line.wasRemoved());
    QVERIFY(!line.write("i"));
    QCOMPARE(removed.count(), 1);
}

QTEST_GUILESS_MAIN(TstSerialTransport)
#include "tst_serialtransport.moc"
