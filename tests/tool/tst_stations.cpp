#include "table.h"

#include "exitcode.h"
#include "options.h"
#include "stations.h"

#include <QFile>
#include <QTemporaryDir>

namespace
{

// Two FTDI adapters, a CH340 without a serial number, and a port of the board.
const QList<PortInfo> Available = {
    {"/dev/ttyUSB0", "FT232R USB UART", "A1B2C3", UsbId{0x0403, 0x6001}},
    {"/dev/ttyUSB1", "FT232R USB UART", "B7F00D", UsbId{0x0403, 0x6001}},
    {"/dev/ttyACM0", "USB Serial", "", UsbId{0x1a86, 0x7523}},
    {"/dev/ttyS0", "", "", std::nullopt},
};

const char *const SourceNames[] = {"System", "One", "List", "Simulate"};

QString shown(const QList<StationPort> &stations)
{
    QStringList out;
    for (const StationPort &s : stations)
        out << QStringList{SourceNames[int(s.source)], s.value, s.usbSerial}.join(' ').trimmed();
    return out.join("; ");
}

} // namespace

// Which programmers a command line names, as the tool looks them up among the system's ports.
class TstStations : public QObject
{
    Q_OBJECT
private slots:
    void programmers_data()
    {
        // stations: each as its source, device and USB serial; or the exit code and why.
        columns<QString, QString>("args", "stations");
        const QString repeat = "write f.hex --repeat ";
        const QString several = ": only write --repeat drives several at once; ";
        QTest::newRow("searched") << "sig"
                                  << "System";
        QTest::newRow("a device") << "--port /dev/ttyUSB1 sig"
                                  << "One /dev/ttyUSB1 B7F00D";
        QTest::newRow("a list") << "--ports /dev/ttyS0,,ttyUSB0 sig"
                                << "List /dev/ttyS0,,ttyUSB0";
        QTest::newRow("the emulator") << "--simulate sig"
                                      << "Simulate";
        QTest::newRow("--port twice") << repeat + "--port /dev/ttyUSB0 --port ttyS0"
                                      << "One /dev/ttyUSB0 A1B2C3; One ttyS0";
        QTest::newRow("--ports --all") << repeat + "--ports ttyUSB1,,/dev/ttyS0 --all"
                                       << "One ttyUSB1 B7F00D; One /dev/ttyS0";
        QTest::newRow("--all, one entry") << "--ports ,ttyACM0, --all sig"
                                          << "One ttyACM0";
        QTest::newRow("--usb-serial, either case")
            << repeat + "--usb-serial b7f00d --usb-serial A1B2C3"
            << "One /dev/ttyUSB1 B7F00D; One /dev/ttyUSB0 A1B2C3";
        QTest::newRow("--usb, both") << repeat + "--usb 0403:6001"
                                     << "One /dev/ttyUSB0 A1B2C3; One /dev/ttyUSB1 B7F00D";
        QTest::newRow("--usb, one, any command") << "--usb 1A86:7523 sig"
                                                 << "One /dev/ttyACM0";
        QTest::newRow("--usb-serial, any command") << "--usb-serial A1B2C3 read x.tsk"
                                                   << "One /dev/ttyUSB0 A1B2C3";
        QTest::newRow("--port and --usb-serial") << repeat + "--port /dev/ttyS0 --usb-serial a1b2c3"
                                                 << "One /dev/ttyS0; One /dev/ttyUSB0 A1B2C3";
        // Nothing found, found twice, one device under two names.
        QTest::newRow("--usb-serial, none")
            << "--usb-serial A1B2C4 sig"
            << "3: --usb-serial A1B2C4: no USB adapter has this serial number (vantor-cli ports "
               "shows each adapter's)";
        QTest::newRow("--usb, none")
            << repeat + "--usb 403:6015"
            << "3: --usb 0403:6015: no USB adapter has these ids (vantor-cli ports shows each "
               "adapter's)";
        QTest::newRow("--usb, two for sig")
            << "--usb 403:6001 sig"
            << "2: 2 programmers named (/dev/ttyUSB0, /dev/ttyUSB1)" + several +
                   "name one with --usb-serial or --port";
        QTest::newRow("--port and --usb, one device")
            << repeat + "--port ttyUSB1 --usb 0403:6001"
            << "2: ttyUSB1 and /dev/ttyUSB1 are the same device";
        QTest::newRow("--port, named twice") << repeat + "--port ttyS0 --ports ttyUSB0,ttyS0 --all"
                                             << "2: ttyS0 is named twice";
        QTest::newRow("--usb-serial, named twice") << repeat + "--usb-serial A1 --usb-serial a1"
                                                   << "2: --usb-serial a1 is named twice";
        QTest::newRow("a link to a device named") << repeat + "--port /dev/null --port LINK"
                                                  << "2: /dev/null and LINK are the same device";
        // Several for another command, or from sources that do not go together.
        QTest::newRow("several for sig") << "--port ttyUSB0 --usb-serial A1 sig"
                                         << "2: 2 programmers named" + several + "name one for sig";
        QTest::newRow("several for write")
            << "--ports a,b --all write f.hex"
            << "2: 2 programmers named" + several + "add --repeat, or name one";
        QTest::newRow("--simulate and --port")
            << "--simulate --port ttyS0 sig"
            << "2: --simulate is the emulator alone: give no --port, --ports, --usb-serial or "
               "--usb with it";
        QTest::newRow("--ports searched and --port")
            << repeat + "--ports a,b --port c"
            << "2: --ports without --all is one programmer searched for over the list: add --all "
               "for a programmer on each entry";
        QTest::newRow("--all alone") << "--all sig"
                                     << "2: --all goes with --ports LIST";
        QTest::newRow("--all, no device") << "--port a --ports ,, --all sig"
                                          << "2: --ports LIST --all: the list names no device";
        const QString usb = "2: --usb takes VID:PID in hex, as vantor-cli ports shows them "
                            "(0403:6001)";
        QTest::newRow("--usb, no PID") << "--usb 0403 sig" << usb;
        QTest::newRow("--usb, five digits") << "--usb 0403:16001 sig" << usb;
        QTest::newRow("--usb, not hex") << "--usb 0x403:6001 sig" << usb;
    }
    void programmers()
    {
        const auto [args, stations] = fetch<QString, QString>("args", "stations");
        QTemporaryDir folder;
        const QString link = folder.filePath("programmer");
        QVERIFY(QFile::link("/dev/null", link));
        Options options;
        QString why;
        const QStringList arguments =
            QString("vantor-cli " + args).replace("LINK", link).split(' ');
        if (parseOptions(arguments, &options, &why) != ParseOutcome::Run) {
            QCOMPARE("2: " + why, stations);
            return;
        }
        QList<StationPort> found;
        int rc = stationsFor(options, Available, &found, &why);
        if (!options.repeat && rc == Success) {
            StationPort one;
            rc = chooseOneStation(options, Available, &one, &why);
            found = {one};
        }
        QCOMPARE(rc == Success ? shown(found) : QString("%1: %2").arg(rc).arg(why),
                 QString(stations).replace("LINK", link));
    }
    void portsListsWhatTheAdapterTells()
    {
        QStringList texts;
        for (const PortInfo &port : Available)
            texts << port.adapterText();
        QCOMPARE(texts, QStringList({"FT232R USB UART, USB 0403:6001, USB serial A1B2C3",
                                     "FT232R USB UART, USB 0403:6001, USB serial B7F00D",
                                     "USB Serial, USB 1a86:7523", ""}));
    }
};

QTEST_GUILESS_MAIN(TstStations)
#include "tst_stations.moc"
