// vantor-soak: drives the real window against the emulator with random user actions and
// injected faults, and checks after every action that nothing was lost or misreported.
//
//   vantor-soak [--seconds N] [--seed S]
//
// Prints the counts at the end; exits non-zero when an invariant was violated or a
// removal was reported that did not happen.

#include "core/messages.h"
#include "core/programmer.h"
#include "image/commondialog.h"
#include "simfixture.h"
#include "ui/form1.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>

namespace
{

// Answers the dialogs with whatever the current action put in place.
class SoakDialogs : public DialogBackend
{
public:
    QString nextFile;
    bool cancel = false;
    int boxReply = 6;

    Outcome fileDialog(Kind, const QString &, const QString &, QString &fileName) override
    {
        if (cancel)
            return Outcome::Cancelled;
        fileName = nextFile;
        return Outcome::Chosen;
    }
    int messageBox(const QString &, int style, const QString &) override
    {
        // A missing file in the load dialog: cancel the next round, or it asks for ever.
        if ((style & 7) == 0)
            cancel = true;
        return (style & 7) == 4 ? boxReply : 1;
    }
};

// Heap in use by this process, in KiB (glibc's count of allocated blocks; resident memory
// also moves with the allocator's caches and says little about growth).
qint64 heapInUseKiB()
{
#if defined(__GLIBC__)
    return static_cast<qint64>(mallinfo2().uordblks / 1024);
#else
    return -1;
#endif
}

struct Counts {
    qint64 actions = 0;
    qint64 transfers = 0;
    qint64 refused = 0;
    qint64 bytesMoved = 0;
    qint64 faults = 0;
    qint64 violations = 0;
    qint64 falseRemovals = 0;
    qint64 discoveries = 0;
    // Memory after the first fifth of the run and at its end, and the actions between.
    qint64 warmKiB = 0;
    qint64 endKiB = 0;
    qint64 actionsSinceWarm = 0;
};

QByteArray fromHexLine(const QString &line)
{
    return QByteArray::fromHex(line.toLatin1());
}

class Soak
{
public:
    Soak(quint64 seed) : rng(seed) {}

    bool run(int seconds);
    Counts counts;

private:
    bool startEmulator(const QStringList &args);
    bool discover();
    void violation(const QString &what);
    bool responsive();
    QByteArray fence();
    QString randomText(int typicalLength, bool hex);
    QString makeImage(int size);

    void fixedCommand();
    void chipChange();
    void fillOrDump();
    void transfer(bool express);
    void save();
    void answerSelectSize(Form3 *form3, int option, const QString &path);
    void keyReport();
    void comPortCheck();
    void unplugAndReplug();
    void junkBurst();

    Programmer &p() { return window->programmer(); }

    QRandomGenerator rng;
    QTemporaryDir dir;
    SoakDialogs dialogs;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<Form1> window;
    bool expectOpen = false;
    bool unplugged = false;
    int fileSerial = 0;

public:
    const char *currentAction = "start";
};

void Soak::violation(const QString &what)
{
    ++counts.violations;
    std::fprintf(stderr, "violation in action %lld (%s): %s\n", counts.actions, currentAction,
                 qPrintable(what));
}

bool Soak::startEmulator(const QStringList &args)
{
    sim = std::make_unique<SimProcess>(args);
    if (!sim->start())
        return false;
    p().MSComm1.setPortMap(PortMap::fromDevices({sim->device()}));
    unplugged = false;
    return true;
}

// Runs a ComPort check and waits until it has found the programmer and settled, or given up.
bool Soak::discover()
{
    ++counts.discoveries;
    p().discovery.muFileComm_Click();
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QTest::qWait(20);
        const QString status = p().text(2);
        if (status.startsWith(Msg::notInstalled()))
            break;
        if (status.startsWith(Msg::foundOn(1)) && !p().Timer4.Enabled())
            break;
    }
    expectOpen = p().text(2).startsWith(Msg::foundOn(1));
    if (p().MSComm1.PortOpen() != expectOpen)
        violation(QStringLiteral("port open %1 after discovery").arg(p().MSComm1.PortOpen()));
    return expectOpen;
}

bool Soak::responsive()
{
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    QDeadlineTimer deadline(3000);
    while (!ran && !deadline.hasExpired())
        QTest::qWait(5);
    return ran;
}

// Everything sent before this is on the line afterwards; returns it and forgets it.
QByteArray Soak::fence()
{
    if (!p().MSComm1.PortOpen() || unplugged)
        return QByteArray();
    // A fill or dump request still being pumped would take "c" between its bytes.
    QDeadlineTimer pumped(2000);
    while (p().Timer2.Enabled() && !pumped.hasExpired())
        QTest::qWait(5);
    // What came before may already end in "c" (an image's last byte, an earlier "c"):
    // wait for this one.
    const qsizetype before = sim->received().size();
    p().link.SendCommand(QStringLiteral("c"));
    QDeadlineTimer deadline(3000);
    auto arrived = [&] {
        const QByteArray line = sim->received();
        return line.size() > before && line.endsWith('c');
    };
    while (!arrived() && !deadline.hasExpired())
        QTest::qWait(5);
    const QByteArray line = sim->received();
    sim->markReceived();
    return line;
}

QString Soak::randomText(int typicalLength, bool hex)
{
    static const QString hexDigits = QStringLiteral("0123456789ABCDEFabcdef");
    static const QString odd = QStringLiteral(" gGxX-+/:@`\u00e9\u4e2d\u71d2\U0001F600\t");
    const int length = rng.bounded(10) < 7 ? typicalLength : int(rng.bounded(7));
    QString text;
    for (int i = 0; i < length; ++i) {
        if (hex || rng.bounded(3) != 0)
            text += hexDigits.at(int(rng.bounded(hexDigits.size())));
        else
            text += odd.at(int(rng.bounded(odd.size())));
    }
    return text;
}

QString Soak::makeImage(int size)
{
    const QString path = dir.filePath(QStringLiteral("image%1.tsk").arg(++fileSerial % 8));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(rng.bounded(256));
    file.write(bytes);
    return path;
}

void Soak::fixedCommand()
{
    static const char *names[] = {
        "muIcSig",   "muIcBlank",   "muIcErase", "muIcProg",   "muIcLock",  "muIcRead",
        "muIcVer",   "muProgClear", "muProgSum", "muDiagRAM",  "muDiagLED", "muDiagBuz",
        "muDiagVpp", "muDiagHi",    "muDiagLow", "muDiagFirm", "muAboutVer"};
    const int pick = int(rng.bounded(18));
    if (pick == 17)
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Command9")),
                          Qt::LeftButton);
    else
        window->findChild<QAction *>(QString::fromLatin1(names[pick]))->trigger();
    QTest::qWait(int(rng.bounded(120)));
}

void Soak::chipChange()
{
    const int option = 1 + int(rng.bounded(3));
    QTest::mouseClick(window->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(option)),
                      Qt::LeftButton);
    if (window->selectedChipOption() != option)
        violation(QStringLiteral("chip option %1 not selected").arg(option));
}

void Soak::fillOrDump()
{
    const bool fill = rng.bounded(2) == 0;
    auto *box =
        window->findChild<QLineEdit *>(fill ? QStringLiteral("Text3") : QStringLiteral("Text4"));
    box->setText(randomText(fill ? 2 : 4, rng.bounded(2) == 0));
    if (rng.bounded(2) == 0)
        QTest::keyClick(box, Qt::Key_Return);
    else
        QTest::mouseClick(window->findChild<QPushButton *>(fill ? QStringLiteral("Command6")
                                                                : QStringLiteral("Command7")),
                          Qt::LeftButton);
    QTest::qWait(int(rng.bounded(60)));
}

void Soak::transfer(bool express)
{
    const int roll = int(rng.bounded(100));
    int size = int(rng.bounded(4100));
    if (roll < 5)
        size = 4999;
    else if (roll < 10)
        size = 5000 + int(rng.bounded(40000));
    else if (roll < 13)
        size = 0;
    QString path;
    if (roll >= 13 && roll < 16) {
        path = dir.filePath(QStringLiteral("a directory"));
        QDir().mkpath(path);
    } else if (roll >= 16 && roll < 19) {
        path = dir.filePath(QStringLiteral("missing.tsk"));
        QFile::remove(path);
    } else {
        path = makeImage(size);
    }
    QByteArray image;
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            image = f.readAll();
    }
    fence();
    dialogs.cancel = false;
    dialogs.nextFile = path;
    if (express)
        p().LatestFile = path;
    window->findChild<QAction *>(express ? QStringLiteral("muIcExp") : QStringLiteral("muFileLoad"))
        ->trigger();
    dialogs.cancel = false;
    const QString status = p().text(2);
    const bool sent = express ? status.startsWith(QStringLiteral("Load completed... ( Checksum = "))
                              : status.startsWith(Msg::loadCompleted());
    const QByteArray line = fence();
    const QByteArray frame = QByteArray(1, express ? 'Q' : 'L') + char(image.size() / 256) +
                             char(image.size() % 256) + image;
    if (sent) {
        ++counts.transfers;
        counts.bytesMoved += frame.size();
        if (!line.startsWith(frame))
            violation(QStringLiteral("image of %1 bytes not on the line as one piece: line %2... "
                                     "(%3 bytes), image found at %4")
                          .arg(image.size())
                          .arg(QString::fromLatin1(line.left(12).toHex(' ')))
                          .arg(line.size())
                          .arg(line.indexOf(frame)));
        if (!expectOpen || unplugged)
            violation(QStringLiteral("transfer reported done with no programmer"));
    } else {
        ++counts.refused;
        // Refused before a byte went out, or cut off by a removal that was reported.
        if (line.contains(frame.left(3)) && status != Msg::removed())
            violation(QStringLiteral("refused transfer (%1) put its header on the line: %2")
                          .arg(status, QString::fromLatin1(line.left(8).toHex())));
        if (status.startsWith(Msg::loadCompleted()))
            violation(QStringLiteral("completed text for an image that was not sent"));
    }
}

void Soak::answerSelectSize(Form3 *form3, int option, const QString &path)
{
    // Select Size leaves the main window usable: now and then something else runs while it
    // is open, or Save is clicked again (it only raises the window).
    QTest::qWait(int(rng.bounded(50)));
    const int meanwhile = int(rng.bounded(8));
    if (meanwhile == 0)
        fixedCommand();
    else if (meanwhile == 1)
        fillOrDump();
    else if (meanwhile == 2)
        window->findChild<QAction *>(QStringLiteral("muFileSave"))->trigger();
    if (!form3->isVisible())
        violation(QStringLiteral("Select Size closed by something else"));
    dialogs.nextFile = path;
    if (rng.bounded(20) == 0) {
        form3->close();
        return;
    }
    form3->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(option))->setChecked(true);
    QTest::mouseClick(form3->findChild<QPushButton *>(QStringLiteral("Command1")),
                      Qt::LeftButton); // returns once Save is over
}

void Soak::save()
{
    const int option = 1 + int(rng.bounded(3));
    const int sizes[] = {2048, 4096, 1024};
    const int expected = sizes[option - 1];
    const bool existing = rng.bounded(2) == 0;
    const QString path = dir.filePath(QStringLiteral("saved%1.tsk").arg(rng.bounded(3)));
    QByteArray old;
    if (existing) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        old = QByteArray("old content that must survive a failed save");
        f.write(old);
    } else {
        QFile::remove(path);
    }
    fence();
    dialogs.cancel = false;
    dialogs.boxReply = 6;
    dialogs.nextFile = path;
    window->findChild<QAction *>(QStringLiteral("muFileSave"))->trigger();
    Form3 *form3 = window->form3();
    if (form3 && form3->isVisible())
        answerSelectSize(form3, option, path);
    QFile f(path);
    const QByteArray now = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const QString status = p().text(2);
    const bool saved = status.startsWith(QStringLiteral("Saving "));
    if (saved) {
        ++counts.transfers;
        counts.bytesMoved += now.size();
        if (now.size() < expected)
            violation(QStringLiteral("saved file of %1 bytes for a %2-byte block")
                          .arg(now.size())
                          .arg(expected));
        else if (!unplugged && p().MSComm1.PortOpen()) {
            const QByteArray sram =
                fromHexLine(sim->control(QStringLiteral("sram 0 %1").arg(expected)));
            if (now.left(expected) != sram)
                violation(QStringLiteral("saved block differs from the programmer's SRAM"));
        }
    } else {
        ++counts.refused;
        if (existing ? now != old : QFile::exists(path))
            violation(QStringLiteral("failed save (%1) changed the file").arg(status));
    }
}

void Soak::keyReport()
{
    if (unplugged)
        return;
    static const char *keys[] = {"2K", "4K", "1K"};
    const int k = int(rng.bounded(3));
    // An earlier report of the chip already selected stays in RxText (and, being tested
    // first, could win) until a command clears it.
    fence();
    sim->control(QStringLiteral("key %1").arg(QLatin1String(keys[k])));
    const int option = k == 0 ? 1 : k == 1 ? 2 : 3;
    const QString report = QStringLiteral("KEY_") + QLatin1String(keys[k]);
    if (expectOpen) {
        // Followed: the option is selected, and the report has been read (a report of the
        // chip already selected stays in RxText; one that moved the chip was cleared by
        // its command), so that it cannot arrive late into the next action.
        const bool wasSelected = window->selectedChipOption() == option;
        QDeadlineTimer deadline(2000);
        while (!(window->selectedChipOption() == option &&
                 (!wasSelected || p().RxText.contains(report))) &&
               !deadline.hasExpired())
            QTest::qWait(10);
        if (window->selectedChipOption() != option && p().Timer1.Enabled())
            violation(QStringLiteral("key report %1 not followed").arg(QLatin1String(keys[k])));
    }
}

void Soak::comPortCheck()
{
    discover();
}

void Soak::unplugAndReplug()
{
    ++counts.faults;
    unplugged = true; // before the line: the program may notice while the emulator answers
    sim->control(QStringLiteral("unplug"));
    if (rng.bounded(2) == 0)
        window->findChild<QAction *>(QStringLiteral("muIcSig"))->trigger();
    QTest::qWait(int(rng.bounded(300)));
    if (p().MSComm1.PortOpen() && rng.bounded(2) == 0) {
        // It is noticed at the latest on the next write.
        window->findChild<QAction *>(QStringLiteral("muIcBlank"))->trigger();
        if (p().MSComm1.PortOpen())
            violation(QStringLiteral("write to an unplugged programmer left the port open"));
    }
    QStringList args;
    if (rng.bounded(10) == 0) {
        args << QStringLiteral("--silent");
        ++counts.faults;
    }
    startEmulator(args);
    discover();
}

void Soak::junkBurst()
{
    if (unplugged)
        return;
    ++counts.faults;
    QString escaped;
    const int n = 1 + int(rng.bounded(200));
    for (int i = 0; i < n; ++i)
        escaped += QStringLiteral("\\x%1").arg(int(rng.bounded(256)), 2, 16, QLatin1Char('0'));
    sim->control(QStringLiteral("send ") + escaped);
    QTest::qWait(int(rng.bounded(150)));
}

bool Soak::run(int seconds)
{
    window = std::make_unique<Form1>(PortMap::fromList(QString()), &dialogs);
    int removalsShown = 0;
    bool removalAllowed = false;
    QObject::connect(window->findChild<QLineEdit *>(QStringLiteral("Text2")),
                     &QLineEdit::textChanged, [&](const QString &text) {
                         if (text == Msg::removed()) {
                             ++removalsShown;
                             if (!removalAllowed && !unplugged) {
                                 ++counts.falseRemovals;
                                 std::fprintf(stderr, "false removal during action %lld (%s)\n",
                                              counts.actions, currentAction);
                             }
                         }
                     });
    if (!startEmulator({}))
        return false;
    window->Form_Load(dir.path());
    window->show();
    QDeadlineTimer deadline(10000);
    while (!(p().text(2) == Msg::foundOn(1) && !p().Timer4.Enabled()) && !deadline.hasExpired())
        QTest::qWait(20);
    expectOpen = p().MSComm1.PortOpen();
    ++counts.discoveries;

    QElapsedTimer clock;
    clock.start();
    qint64 warmAt = -1;
    qint64 nextSample = 0;
    while (clock.elapsed() < seconds * 1000LL) {
        if (warmAt < 0 && clock.elapsed() > seconds * 200LL) {
            warmAt = counts.actions;
            counts.warmKiB = heapInUseKiB();
        }
        if (clock.elapsed() >= nextSample) {
            std::printf("  %4lld s: %lld actions, heap in use %lld KiB\n", clock.elapsed() / 1000,
                        counts.actions, heapInUseKiB());
            std::fflush(stdout);
            nextSample += seconds * 100LL;
        }
        ++counts.actions;
        const int roll = int(rng.bounded(100));
        currentAction = roll < 25   ? "command"
                        : roll < 33 ? "chip"
                        : roll < 48 ? "fill/dump"
                        : roll < 60 ? "load"
                        : roll < 70 ? "express"
                        : roll < 78 ? "save"
                        : roll < 83 ? "key"
                        : roll < 86 ? "comport"
                        : roll < 90 ? "unplug"
                        : roll < 94 ? "junk"
                                    : "short/extra save";
        if (qEnvironmentVariableIsSet("SOAK_TRACE"))
            std::fprintf(stderr, "action %lld: %s\n", counts.actions, currentAction);
        if (roll < 25)
            fixedCommand();
        else if (roll < 33)
            chipChange();
        else if (roll < 48)
            fillOrDump();
        else if (roll < 60)
            transfer(false);
        else if (roll < 70)
            transfer(true);
        else if (roll < 78)
            save();
        else if (roll < 83)
            keyReport();
        else if (roll < 86)
            comPortCheck();
        else if (roll < 90)
            unplugAndReplug();
        else if (roll < 94)
            junkBurst();
        else if (!unplugged) {
            ++counts.faults;
            sim->control(rng.bounded(2) == 0 ? QStringLiteral("short %1").arg(rng.bounded(1024))
                                             : QStringLiteral("extra %1").arg(1 + rng.bounded(8)));
            save();
        }

        if (!responsive())
            violation(QStringLiteral("the window stopped answering"));
        if (p().transferActive || p().bytesMoving)
            violation(QStringLiteral("transfer interlock left set"));
        if (p().MSComm1.InputMode() != MSComm::comInputModeText)
            violation(QStringLiteral("port left in binary mode"));
        const bool open = p().MSComm1.PortOpen();
        if (!unplugged && open != expectOpen)
            violation(QStringLiteral("port open is %1, expected %2").arg(open).arg(expectOpen));
        if (unplugged && !open)
            expectOpen = false;
    }
    Q_UNUSED(removalsShown);
    counts.endKiB = heapInUseKiB();
    counts.actionsSinceWarm = warmAt < 0 ? 0 : counts.actions - warmAt;
    window.reset();
    sim.reset();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("How long."),
                                           QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Random seed."),
                                        QStringLiteral("S"));
    parser.addOption(secondsOption);
    parser.addOption(seedOption);
    parser.process(app);
    const quint64 seed = parser.isSet(seedOption) ? parser.value(seedOption).toULongLong()
                                                  : QRandomGenerator::global()->generate64();
    std::printf("soak: seed %llu, %d s\n", static_cast<unsigned long long>(seed),
                parser.value(secondsOption).toInt());
    Soak soak(seed);
    if (!soak.run(parser.value(secondsOption).toInt())) {
        std::printf("soak: could not start the emulator\n");
        return 2;
    }
    const Counts &c = soak.counts;
    std::printf("actions %lld, transfers %lld (refused %lld), bytes moved %lld, faults injected "
                "%lld, discoveries %lld, invariant violations %lld, false removals %lld\n",
                c.actions, c.transfers, c.refused, c.bytesMoved, c.faults, c.discoveries,
                c.violations, c.falseRemovals);
    if (c.actionsSinceWarm > 0)
        std::printf(
            "heap in use: %lld KiB after warm-up, %lld KiB at the end, %+.2f KiB per action "
            "over %lld actions\n",
            c.warmKiB, c.endKiB, double(c.endKiB - c.warmKiB) / double(c.actionsSinceWarm),
            c.actionsSinceWarm);
    std::fflush(stdout);
    return c.violations == 0 && c.falseRemovals == 0 ? 0 : 1;
}
