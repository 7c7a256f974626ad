#include "core/portmap.h"
#include "core/simulatedprogrammer.h"
#include "ui/form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("usb-vantor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("USB_Vantor Programmer"));
    parser.addHelpOption();
    const QCommandLineOption portsOption(
        QStringLiteral("ports"),
        QStringLiteral("Devices of COM1, COM2, ... in order, comma-separated; an empty entry "
                       "leaves that number without a device."),
        QStringLiteral("LIST"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Start the programmer emulator and use it as COM1."));
    parser.addOption(portsOption);
    parser.addOption(simulateOption);
    parser.process(app);

    PortMap ports = parser.isSet(portsOption) ? PortMap::fromList(parser.value(portsOption))
                                              : PortMap::systemDefault();
    SimulatedProgrammer simulator;
    if (parser.isSet(simulateOption)) {
        QString error;
        const QString device = simulator.start(
            QDir(QApplication::applicationDirPath()).filePath(QStringLiteral("vantor-sim")), {},
            &error);
        if (device.isEmpty()) {
            qCritical("vantor-sim: %s", qPrintable(error));
            return 1;
        }
        ports = PortMap::fromDevices({device});
    }

    Form1 window(ports);
    QObject::connect(&window, &Form1::programEnded, &app, [] { QApplication::exit(0); });
    window.Form_Load(QDir::currentPath());
    window.show();
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.frameGeometry().center() +
                    window.pos());
    const int status = QApplication::exec();
    simulator.stop();
    return status;
}
