// vantor-screenshot: the main window, menu bar included, with the emulator attached:
// after the search found it and the chip was chosen, and after a Signature command, so that
// the response box shows the programmer's reply. Saved as the image file given as argument.
//
// usage: xvfb-run -a vantor-screenshot OUT.png

#include "benchsupport.h"
#include "core/serialtransport.h"
#include "core/workbench.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace bench;

int main(int argc, char **argv)
{
    setUpEnvironment(false);
    QApplication app(argc, argv);
    quietOffscreenNotes();
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantor-screenshot OUT.png\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);

    SimProcess sim;
    if (!sim.start())
        return 1;
    QTemporaryDir dir;
    SerialTransport line(PortMap::fromDevices({sim.device()}));
    ScriptedDialogBackend dialogs;
    Workbench workbench(&line, &dialogs);
    MainWindow window(workbench);
    workbench.start(dir.path());
    window.show();
    auto *response = window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    auto *status = window.findChild<QLineEdit *>(QStringLiteral("Text2"));
    auto *chip = window.findChild<QRadioButton *>(QStringLiteral("Option1"));

    EventWait ready([&] {
        return status->text() == QLatin1String("Find Programmer on COM1") && chip->isChecked() &&
               response->toPlainText().contains(QLatin1String("Chip AT89C2051"));
    });
    ready.wakeOn(response, &QPlainTextEdit::textChanged).wakeOn(status, &QLineEdit::textChanged);
    if (!ready.run(10000)) {
        std::fprintf(stderr, "the programmer was not found (status box '%s')\n",
                     qPrintable(status->text()));
        return 1;
    }

    window.findChild<QAction *>(QStringLiteral("muIcSig"))->trigger();
    EventWait replied([&] { return response->toPlainText().contains(QLatin1String("Signature")); });
    replied.wakeOn(response, &QPlainTextEdit::textChanged);
    if (!replied.run(5000)) {
        std::fprintf(stderr, "no reply to the signature command (response box '%s')\n",
                     qPrintable(response->toPlainText()));
        return 1;
    }
    // Let the window repaint what changed before it is grabbed.
    QEventLoop settle;
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();

    if (!window.grab().save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
