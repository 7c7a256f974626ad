#include "core/portmap.h"
#include "core/serialtransport.h"
#include "core/simulatedprogrammer.h"
#include "core/workbench.h"
#include "window/mainwindow.h"
#include "window/qtdialogbackend.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>

namespace
{

// The ports from the command line: --ports, --simulate's emulator as COM1, or the system's.
bool choosePorts(const QCommandLineParser &parser, SimulatedProgrammer &simulator, PortMap *ports)
{
    if (parser.isSet(QStringLiteral("simulate"))) {
        QString error;
        const QString device = simulator.start(
            QDir(QApplication::applicationDirPath()).filePath(QStringLiteral("vantor-sim")), {},
            &error);
        if (device.isEmpty()) {
            qCritical("vantor-sim: %s", qPrintable(error));
            return false;
        }
        *ports = PortMap::fromDevices({device});
    } else if (parser.isSet(QStringLiteral("ports"))) {
        *ports = PortMap::fromList(parser.value(QStringLiteral("ports")));
    } else {
        *ports = PortMap::systemDefault();
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("usb-vantor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("USB_Vantor Programmer"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("ports"),
                      QStringLiteral("Devices of COM1, COM2, ... in order, comma-separated; an "
                                     "empty entry leaves that number without a device."),
                      QStringLiteral("LIST")});
    parser.addOption({QStringLiteral("simulate"),
                      QStringLiteral("Start the programmer emulator and use it as COM1.")});
    parser.process(app);

    SimulatedProgrammer simulator;
    PortMap ports;
    if (!choosePorts(parser, simulator, &ports))
        return 1;
    SerialTransport transport(ports);
    QtDialogBackend dialogs;
    Workbench workbench(&transport, &dialogs);
    MainWindow window(workbench);
    dialogs.setOwner(&window);
    QObject::connect(&window, &MainWindow::programEnded, &app, [] { QApplication::exit(0); });

    // Start-up reads the settings and starts the search before the window first shows.
    workbench.start(QDir::currentPath());
    window.show();
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.frameGeometry().center() +
                    window.pos());
    const int status = QApplication::exec();
    simulator.stop();
    return status;
}
