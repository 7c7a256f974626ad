#include "core/portchoice.h"
#include "core/serialtransport.h"
#include "core/simulatedprogrammer.h"
#include "core/workbench.h"
#include "window/mainwindow.h"
#include "window/qtdialogbackend.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>
#include <QStandardPaths>

#include <cstdio>

namespace
{

struct StartOptions {
    PortSource ports = PortSource::System; // --ports LIST, --simulate, or the system's
    QString portList;
    bool dataFolder = false;
};

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("USB_Vantor Programmer"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("ports"),
         QStringLiteral("Devices of COM1, COM2, ... in order, comma-separated; an empty entry "
                        "leaves that number without a device."),
         QStringLiteral("LIST")},
        {QStringLiteral("simulate"),
         QStringLiteral("Start the programmer emulator and use it as COM1.")},
        {QStringLiteral("data-folder"),
         QStringLiteral("Keep tsk.log and chip.log in $XDG_DATA_HOME/usb-vantor instead of the "
                        "folder the program was started in.")},
    });
}

// --help and --version are answered before the window's application exists, so they need no
// display. True when one of them was.
bool answeredAtOnce(int argc, char *argv[])
{
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("usb-vantor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    QCommandLineParser parser;
    describeOptions(parser);
    // A wrong option is reported later, once QApplication has taken Qt's own (-platform ...).
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        std::fputs(qPrintable(parser.helpText()), stdout);
    else if (parser.isSet(QStringLiteral("version")))
        std::printf("usb-vantor %s\n", VANTOR_VERSION);
    else
        return false;
    return true;
}

// The program's own options. False, with the reason on standard error, for a wrong one.
bool readOptions(StartOptions *options)
{
    QCommandLineParser parser;
    describeOptions(parser);
    const bool parsed = parser.parse(QCoreApplication::arguments());
    const QStringList extra = parser.positionalArguments();
    if (!parsed || !extra.isEmpty()) {
        const QString error =
            parsed ? QStringLiteral("unexpected argument '%1'").arg(extra.constFirst())
                   : parser.errorText();
        std::fprintf(stderr, "usb-vantor: %s\nsee usb-vantor --help\n", qPrintable(error));
        return false;
    }
    if (parser.isSet(QStringLiteral("simulate")))
        options->ports = PortSource::Simulate;
    else if (parser.isSet(QStringLiteral("ports")))
        options->ports = PortSource::List;
    options->portList = parser.value(QStringLiteral("ports"));
    options->dataFolder = parser.isSet(QStringLiteral("data-folder"));
    return true;
}

// Where tsk.log and chip.log live: the folder the program was started in, or with
// --data-folder the user's own data folder, made when missing (a folder that cannot be
// made is reported as the settings files are).
QString settingsFolder(const StartOptions &options)
{
    if (!options.dataFolder)
        return QDir::currentPath();
    const QString folder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
            .filePath(QStringLiteral("usb-vantor"));
    QDir().mkpath(folder);
    return folder;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredAtOnce(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("usb-vantor"));
    StartOptions options;
    if (!readOptions(&options))
        return 2;

    SimulatedProgrammer simulator;
    PortMap ports;
    QString error;
    if (!choosePorts(options.ports, options.portList, simulator, &ports, &error)) {
        qCritical("vantor-sim: %s", qPrintable(error));
        return 1;
    }
    SerialTransport transport(ports);
    QtDialogBackend dialogs;
    Workbench workbench(&transport, &dialogs);
    MainWindow window(workbench);
    dialogs.setOwner(&window);
    QObject::connect(&window, &MainWindow::programEnded, &app, [] { QApplication::exit(0); });

    // Start-up reads the settings and starts the search before the window first shows.
    workbench.start(settingsFolder(options));
    window.show();
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.frameGeometry().center() +
                    window.pos());
    const int status = QApplication::exec();
    simulator.stop();
    return status;
}
