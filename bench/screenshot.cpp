// vantor-screenshot: the pictures of the README's walkthrough, made by the window itself
// against the emulator and saved as PNG files in the folder given as argument:
//   screenshot.png  the programmer found, the chip chosen, a Signature command answered;
//   express.png     after Express of tests/data/blink.tsk, the programmer's report shown;
//   save-size.png   the "Select Size" window of Save;
//   not-found.png   no programmer on any port: the status line and the about box.
// Each picture is a grab of the window, menu bar included.
//
// usage: xvfb-run -a vantor-screenshot FOLDER

#include "benchsupport.h"
#include "core/serialtransport.h"
#include "core/workbench.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace bench;

namespace
{

// A window with its line and workbench, started in a folder of its own.
struct Scene {
    explicit Scene(const QStringList &devices)
        : line(PortMap::fromDevices(devices)), workbench(&line, &dialogs), window(workbench)
    {
        workbench.start(dir.path());
        window.show();
        response = window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
        status = window.findChild<QLineEdit *>(QStringLiteral("Text2"));
    }
    // Runs the event loop until done() holds after a change of the response or status box.
    bool waitFor(const std::function<bool()> &done, int timeoutMs, const char *what)
    {
        EventWait wait(done);
        wait.wakeOn(response, &QPlainTextEdit::textChanged).wakeOn(status, &QLineEdit::textChanged);
        if (wait.run(timeoutMs))
            return true;
        std::fprintf(stderr, "%s did not come (status box '%s', response box '%s')\n", what,
                     qPrintable(status->text()), qPrintable(response->toPlainText()));
        return false;
    }
    bool found()
    {
        auto *chip = window.findChild<QRadioButton *>(QStringLiteral("Option1"));
        return waitFor(
            [&] {
                return status->text() == QLatin1String("Find Programmer on COM1") &&
                       chip->isChecked() &&
                       response->toPlainText().contains(QLatin1String("Chip AT89C2051"));
            },
            10000, "the programmer");
    }
    void trigger(const char *action)
    {
        window.findChild<QAction *>(QString::fromLatin1(action))->trigger();
    }

    QTemporaryDir dir;
    SerialTransport line;
    ScriptedDialogBackend dialogs;
    Workbench workbench;
    MainWindow window;
    QPlainTextEdit *response = nullptr;
    QLineEdit *status = nullptr;
};

// Lets the windows repaint what changed, then saves the grab of each, side by side.
bool save(const QList<QWidget *> &widgets, const QString &path)
{
    QEventLoop settle;
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();
    QList<QPixmap> grabs;
    QSize size;
    for (QWidget *widget : widgets) {
        grabs << widget->grab();
        size =
            QSize(size.width() + grabs.last().width(), qMax(size.height(), grabs.last().height()));
    }
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    int x = 0;
    for (const QPixmap &grab : grabs) {
        painter.drawPixmap(x, 0, grab);
        x += grab.width();
    }
    painter.end();
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

QWidget *topLevel(const char *objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() == QLatin1String(objectName))
            return widget;
    }
    return nullptr;
}

bool signatureAndSize(const QString &device, const QDir &out)
{
    Scene scene({device});
    if (!scene.found())
        return false;
    scene.trigger("muIcSig");
    if (!scene.waitFor(
            [&] { return scene.response->toPlainText().contains(QLatin1String("Signature")); },
            5000, "the reply to Signature") ||
        !save({&scene.window}, out.filePath(QStringLiteral("screenshot.png"))))
        return false;
    scene.trigger("muFileSave");
    QWidget *sizeWindow = topLevel("Form3");
    return sizeWindow && save({sizeWindow}, out.filePath(QStringLiteral("save-size.png")));
}

bool express(const QString &device, const QDir &out)
{
    Scene scene({device});
    if (!scene.found())
        return false;
    // The image from the scene's folder, so that the latest-file line shows no source tree.
    const QString image = scene.dir.filePath(QStringLiteral("blink.tsk"));
    if (!QFile::copy(QStringLiteral(VANTOR_TEST_DATA "/blink.tsk"), image))
        return false;
    scene.dialogs.choose(image);
    scene.trigger("muIcExp");
    return scene.waitFor(
               [&] {
                   return scene.status->text().startsWith(QLatin1String("Load completed...")) &&
                          scene.response->toPlainText().contains(QLatin1String("Verify OK"));
               },
               10000, "the end of Express") &&
           save({&scene.window}, out.filePath(QStringLiteral("express.png")));
}

bool notFound(const QDir &out)
{
    Scene scene({});
    if (!scene.waitFor(
            [&] { return scene.status->text().startsWith(QStringLiteral("你尚未安裝燒錄器")); },
            10000, "the end of the search"))
        return false;
    QApplication::processEvents();
    QWidget *about = topLevel("Form2");
    if (!about) {
        std::fprintf(stderr, "the about box did not open\n");
        return false;
    }
    return save({&scene.window, about}, out.filePath(QStringLiteral("not-found.png")));
}

} // namespace

int main(int argc, char **argv)
{
    setUpEnvironment(false);
    QApplication app(argc, argv);
    quietOffscreenNotes();
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantor-screenshot FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    SimProcess sim;
    if (!sim.start())
        return 1;
    const bool made =
        signatureAndSize(sim.device(), out) && express(sim.device(), out) && notFound(out);
    return made ? 0 : 1;
}
