// vantor-screenshot: the main window, menu bar included, with the emulator attached:
// after discovery found it and selected the chip, and after a Signature command, so that
// Text1 shows the programmer's reply. Saved as the image file given as argument.
//
// usage: xvfb-run -a vantor-screenshot OUT.png

#include "benchsupport.h"
#include "core/messages.h"
#include "core/programmer.h"
#include "ui/form1.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
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
    Form1 window(PortMap::fromDevices({sim.device()}));
    window.Form_Load(dir.path());
    window.show();
    Programmer &p = window.programmer();
    auto *text1 = window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    auto *text2 = window.findChild<QLineEdit *>(QStringLiteral("Text2"));

    EventWait ready([&] {
        return p.view.text(2) == Msg::foundOn(1) && window.selectedChipOption() == 1 &&
               p.RxText.contains(QStringLiteral("Chip AT89C2051"));
    });
    ready.wakeOn(text1, &QPlainTextEdit::textChanged).wakeOn(text2, &QLineEdit::textChanged);
    if (!ready.run(10000)) {
        std::fprintf(stderr, "the programmer was not found (Text2 '%s')\n",
                     qPrintable(p.view.text(2)));
        return 1;
    }

    window.findChild<QAction *>(QStringLiteral("muIcSig"))->trigger();
    EventWait replied([&] { return p.view.text(1).contains(QStringLiteral("Signature")); });
    replied.wakeOn(text1, &QPlainTextEdit::textChanged);
    if (!replied.run(5000)) {
        std::fprintf(stderr, "no reply to the signature command (Text1 '%s')\n",
                     qPrintable(p.view.text(1)));
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
