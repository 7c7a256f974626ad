#include "core/logging.h"
#include "core/openfailure.h"
#include "core/serialtransport.h"
#include "rig.h"

#include <memory>

// A line whose flush fails with no error from the port, as QSerialPort's can.
struct FlushFails : SerialTransport {
    using SerialTransport::SerialTransport;
    bool flushPort() override { return false; }
};

// The serial line over QSerialPort, against the emulator or a bare pseudo-terminal: what the
// window's and the tool's tests, which go through it, do not show.
class TstSerialTransport : public QObject
{
    Q_OBJECT
private slots:
    void slowDeviceTakingALongWriteIsNotARemoval()
    {
        // The paced emulator takes a byte every 1.04 ms: four loads (20008 bytes) wait in the
        // port for seconds, which is neither drained nor a removal (where the terminal's buffer
        // fills, the port meets EAGAIN).
        SimProcess sim({QStringLiteral("--pace")});
        QVERIFY(sim.start());
        SerialTransport line(PortMap::fromDevices({sim.device()}));
        QVERIFY(line.open(1));
        QSignalSpy removed(&line, &Transport::removed);
        QSignalSpy drained(&line, &Transport::drained);
        const QByteArray frames = (QByteArray("L\x13\x87", 3) + QByteArray(4999, 'x')).repeated(4);
        QVERIFY(line.write(frames));
        // The system makes room again only once the device has read a good part of it.
        QVERIFY(sim.waitReceived(1000, 5000));
        QVERIFY(frames.startsWith(sim.received()));
        QVERIFY(drained.isEmpty() && removed.isEmpty() && line.pendingOutput() > 0 &&
                line.isOpen());
    }

    // On a pseudo-terminal of the test's own, whose far end the test closes (the cable
    // pulled) without the event loop running in between.
    void removalIsConfirmedAndToldOnce_data()
    {
        const Table<QString> row;
        row("idle: the port reports it", "idle");
        row("the next write finds it", "write");
        row("a flush that fails without a port error", "flush");
        row("a flush that fails, the device still there", "flush, present");
        row("a look at the system's queue finds it", "queue");
        row("batched: a look finds it", "batched");
    }
    void removalIsConfirmedAndToldOnce()
    {
        const auto [how] = Table<QString>::fetch();
        Pty pty;
        QVERIFY(!pty.device.isEmpty());
        const PortMap ports = PortMap::fromDevices({pty.device});
        const std::unique_ptr<SerialTransport> line(
            how.startsWith("flush") ? new FlushFails(ports) : new SerialTransport(ports));
        QVERIFY(line->open(1));
        QSignalSpy removed(line.get(), &Transport::removed);
        line->setBatched(how == "batched");
        if (how == "batched") { // a block comes whole, and wakes nobody
            QSignalSpy received(line.get(), &Transport::received);
            QCOMPARE(::write(pty.master, QByteArray(1024, 'x').constData(), 1024), 1024);
            QTRY_COMPARE_WITH_TIMEOUT(line->available(), qint64(1024), 5000);
            QVERIFY(received.isEmpty() && line->take().size() == 1024);
        }
        if (how == "flush, present") { // a full line, as far as the port can tell
            QVERIFY(line->write("i") && line->isOpen() && !line->wasRemoved());
            return;
        }
        pty.unplug();
        if (how != "idle") { // closed at once, told once the call has returned
            QVERIFY(how == "queue"     ? line->systemQueue() == 0
                    : how == "batched" ? line->available() == 0
                                       : !line->write("i"));
            QVERIFY(!line->isOpen() && line->wasRemoved() && removed.isEmpty());
        }
        QTRY_COMPARE_WITH_TIMEOUT(removed.count(), 1, 5000);
        QVERIFY(!line->isOpen() && line->wasRemoved() && !line->write("i"));
        QCoreApplication::processEvents();
        QCOMPARE(removed.count(), 1);
    }

    // The wire's log: nothing unless asked for; then a write is one line, its bytes escaped.
    void writeIsLoggedWhenAskedFor_data()
    {
        const Table<bool, QString> row;
        row("not asked", false, "");
        row("asked", true, "COM1 out 5: i\\\\\\x00\\x7F\\xE9");
    }
    void writeIsLoggedWhenAskedFor()
    {
        const auto [asked, logged] = Table<bool, QString>::fetch();
        SimProcess sim;
        QVERIFY(sim.start());
        SerialTransport line(PortMap::fromDevices({sim.device()}));
        QVERIFY(line.open(1));
        if (asked)
            WireLog::enable();
        static QStringList lines;
        lines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &where, const QString &text) {
                if (QLatin1String(where.category) == QLatin1String("vantor.transport"))
                    lines << text;
            });
        const bool written = line.write(QByteArray("i\\\x00\x7F\xE9", 5));
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(written);
        QCOMPARE(lines.join('|').section(QLatin1String(" ms "), 1), logged);
        QVERIFY(lines.join('|').contains(QRegularExpression("^\\d+ ms ")) == asked);
    }

    // Why a device could not be opened, from QSerialPort's error and the device as seen (the
    // tool's tests open real ones).
    void openFailureSaysWhy_data()
    {
        using E = QSerialPort::SerialPortError;
        const Table<E, bool, bool, QString, QString> row;
        row("missing", E::DeviceNotFoundError, false, true, "", "no device");
        row("gone between", E::PermissionError, false, true, "", "no device");
        row("not in dialout", E::PermissionError, true, false, "", "denied");
        row("locked", E::PermissionError, true, true, "minicom", "busy minicom 812");
        row("held unseen", E::PermissionError, true, true, "", "busy");
        row("other", E::OpenError, true, true, "", "failed not a tty");
    }
    void openFailureSaysWhy()
    {
        const auto [error, exists, permitted, holder, why] =
            Table<QSerialPort::SerialPortError, bool, bool, QString, QString>::fetch();
        const OpenFailure::Device device{exists, permitted, holder, holder.isEmpty() ? 0 : 812};
        const PortProbe p = OpenFailure::classify(error, "not a tty", device);
        const QStringList said{outcomeName(p.outcome), p.program,
                               p.pid ? QString::number(p.pid) : "", p.systemError};
        QCOMPARE(said.join(' ').simplified(), why);
    }
};

QTEST_GUILESS_MAIN(TstSerialTransport)
#include "tst_serialtransport.moc"
