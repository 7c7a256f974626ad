#include "core/messages.h"
#include "harness.h"
#include "ui/form3.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// Save: the "Select Size" window, the save dialog, the read-back of the programmer's SRAM
// and the file it becomes, through the real window against the emulator.
class TstSave : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void savesChosenBlock_data();
    void savesChosenBlock();
    void secondSaveOffersPreviousChoice();
    void extraBytesMayBeKept();
    void repliesStillArrivingStayOutOfBlock();
    void nothingElseGoesOutDuringSave_data();
    void nothingElseGoesOutDuringSave();
    void fillQueuedJustBeforeGoesOutWhole();
    void shortBlockTimesOutAndKeepsOldFile();
    void replaceNoAsksAgain();
    void replaceYesReplacesWithBlock();
    void unwritableFolder_data();
    void unwritableFolder();
    void form3ClosedAbandons();
    void transfersRunWhileSelectSizeOpen_data();
    void transfersRunWhileSelectSizeOpen();
    void saveDialogCancelledOrFailed_data();
    void saveDialogCancelledOrFailed();
    void loadedImageSavedBackIdentical();
    void portClosedSendsNothing();

    void silentProgrammerTimesOut_data();
    void silentProgrammerTimesOut();
    void waitsForAnswerStillToCome_data();
    void waitsForAnswerStillToCome();
    void pacedReplaceKeepsOldFileWhileArriving();
    void unplugWhileBlockArrives();
    void restOfLateBlockIsDropped();
    void saveRefusedWhileLoadMovesBytes();

private:
    struct Run {
        bool form3Shown = false;
        int offeredOption = 0; // the option selected when Form3 came up
        qint64 elapsedMs = 0;
    };
    // Runs Save in w: Save from the menu, during() while Form3 is open, then Form3 answers
    // with option (1 to 3; 0 keeps the current choice; -1 closes Form3 by its close box);
    // the file dialog answers as scripted beforehand. Returns once Save is over.
    Run save(WindowHarness &w, int option, const std::function<void()> &during = {});
    QString file(const QString &name) const { return m_files.filePath(name); }
    void checkRestored(WindowHarness &w);

    QTemporaryDir m_files;
    QByteArray m_sram; // what the shared emulator's SRAM holds from address 0
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
    QStringList m_text2;
};

namespace
{

// The emulator's SRAM from address 0, as its control channel shows it.
QByteArray simSram(SimProcess &s, int n)
{
    return QByteArray::fromHex(s.control(QStringLiteral("sram 0 %1").arg(n)).toLatin1());
}

// The byte sum modulo 65536, as the firmware and Express count it.
uint byteSum(const QByteArray &bytes)
{
    uint sum = 0;
    for (const char b : bytes)
        sum += quint8(b);
    return sum % 65536;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A place Save cannot simply write to, in dir: a folder that is a plain file, or dir made
// read-only with an old file of the given permissions in it. Returns the path to save to.
QString preparePlace(const QTemporaryDir &dir, bool folderIsFile, int fileMode,
                     const QByteArray &old)
{
    if (folderIsFile) {
        writeFile(dir.filePath(QStringLiteral("plain")), "not a directory");
        return dir.filePath(QStringLiteral("plain/new.tsk"));
    }
    const QString path = writeFile(dir.filePath(QStringLiteral("old.tsk")), old);
    ::chmod(QFile::encodeName(path).constData(), mode_t(fileMode));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0555);
    return path;
}

// Root may write into any folder. While one of these lives, the capabilities that let it
// (overriding permissions, reading and searching any folder) are out of the effective set, so
// that permissions count for the test as they do for anyone else. Not root: nothing to do.
class OrdinaryPermissions
{
public:
    OrdinaryPermissions()
    {
        if (::geteuid() != 0)
            return;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~OrdinaryPermissions()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    OrdinaryPermissions(const OrdinaryPermissions &) = delete;
    OrdinaryPermissions &operator=(const OrdinaryPermissions &) = delete;

    bool inForce() const { return ::geteuid() != 0 || m_dropped; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_dropped = false;
};

// Loads an image into the emulator's SRAM through the window and waits until it took it.
bool loadThrough(WindowHarness &w, const QString &path, int size, int timeoutMs = 5000)
{
    w.dialogs->chooseFile(path);
    w.find<QAction>("muFileLoad")->trigger();
    if (w.text(2) != Msg::loadCompleted())
        return false;
    const QString reply = QStringLiteral("Load OK, %1 bytes").arg(size);
    return QTest::qWaitFor([&] { return w.p().RxText.contains(reply); }, timeoutMs);
}

} // namespace

void TstSave::initTestCase()
{
    QVERIFY(m_files.isValid());
    sim = std::make_unique<SimProcess>();
    QVERIFY(connectWindow(*sim, h));
    connect(h->find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [this](const QString &t) { m_text2 << t; });
    // A known pattern in the first 4 KiB of the programmer's SRAM.
    m_sram = pattern(4096, 4096);
    const QString patternFile = file(QStringLiteral("pattern.tsk"));
    writeFile(patternFile, m_sram);
    QVERIFY(loadThrough(*h, patternFile, 4096));
    QCOMPARE(simSram(*sim, 4096), m_sram);
}

void TstSave::init()
{
    h->startAfresh(*sim);
    m_text2.clear();
}

void TstSave::cleanup()
{
    checkRestored(*h);
}

void TstSave::checkRestored(WindowHarness &w)
{
    QCOMPARE(w.p().MSComm1.InputMode(), 0);
    QVERIFY(w.p().Timer1.Enabled());
    QVERIFY(!w.p().transferActive);
    QVERIFY(!w.p().bytesMoving);
    QVERIFY(!w.window->form3() || !w.window->form3()->isVisible());
}

TstSave::Run TstSave::save(WindowHarness &w, int option, const std::function<void()> &during)
{
    Run run;
    bool answered = false;
    const auto answer = [&w, &run, &answered, option, &during] {
        Form3 *f = w.window->form3();
        if (answered || !f || !f->isVisible())
            return;
        answered = true;
        run.form3Shown = true;
        for (int i = 1; i <= 3; ++i) {
            if (f->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(i))->isChecked())
                run.offeredOption = i;
        }
        if (during)
            during();
        if (option < 0) {
            f->close();
            return;
        }
        if (option > 0)
            f->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(option))->click();
        f->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    };
    // Form3 is answered as soon as it is up: from the event loop when Save waits for it,
    // or right after the menu item when Save returned with it open.
    QObject context;
    QTimer::singleShot(0, &context, answer);
    QElapsedTimer clock;
    clock.start();
    w.find<QAction>("muFileSave")->trigger();
    answer();
    run.elapsedMs = clock.elapsed();
    return run;
}

void TstSave::savesChosenBlock_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("sizeText");
    QTest::newRow("2K") << 1 << 2048 << "block2048.tsk" << QByteArray("S2")
                        << "Saving 2K Bytes Data.";
    QTest::newRow("4K") << 2 << 4096 << "block4096.tsk" << QByteArray("S4")
                        << "Saving 4K Bytes Data.";
    QTest::newRow("1K") << 3 << 1024 << "block1024.tsk" << QByteArray("S1")
                        << "Saving 1K Bytes Data.";
    // A name without an extension is kept as it is.
    QTest::newRow("1K, no extension")
        << 3 << 1024 << "noextension" << QByteArray("S1") << "Saving 1K Bytes Data.";
}

void TstSave::savesChosenBlock()
{
    QFETCH(int, option);
    QFETCH(int, size);
    QFETCH(QString, name);
    QFETCH(QByteArray, command);
    QFETCH(QString, sizeText);
    Programmer &p = h->p();
    const QString path = file(name);
    const QByteArray tskBefore = h->readSetting(QStringLiteral("tsk.log"));
    QVERIFY(!tskBefore.isEmpty());
    h->dialogs->chooseFile(path);

    const Run run = save(*h, option);

    QVERIFY(run.form3Shown);
    QCOMPARE(m_text2, QStringList({sizeText}));
    QCOMPARE(Msg::saving(size / 1024), sizeText);
    QCOMPARE(h->dialogs->fileCalls.size(), 1);
    const ScriptedDialogs::FileCall call = h->dialogs->fileCalls.at(0);
    QCOMPARE(call.kind, DialogBackend::Kind::Save);
    QCOMPARE(call.title, QStringLiteral("儲存"));
    QCOMPARE(call.filter, QStringLiteral("TSK二進位檔 (*.tsk)|*.tsk"));
    QVERIFY(h->dialogs->boxCalls.isEmpty());
    const QByteArray saved = readFile(path);
    QCOMPARE(saved, m_sram.left(size));
    QVERIFY(!QFileInfo::exists(path + ".tsk")); // no extension is added
    QCOMPARE(saved, simSram(*sim, size));
    QCOMPARE(h->find<QLabel>("Label3")->text(), QStringLiteral("Latest File at ") + path);
    QCOMPARE(p.LatestFile, path);
    QCOMPARE(h->readSetting(QStringLiteral("tsk.log")), tskBefore);
    // Nothing of the block reaches the response box.
    QVERIFY(h->text(1).isEmpty());
    QVERIFY(p.RxText.isEmpty());
    QCOMPARE(h->fence(*sim), command + "c");
}

void TstSave::secondSaveOffersPreviousChoice()
{
    h->dialogs->chooseFile(file(QStringLiteral("first.tsk")));
    const Run first = save(*h, 3);
    QCOMPARE(h->text(2), Msg::saving(1));
    h->dialogs->chooseFile(file(QStringLiteral("second.tsk")));
    const Run second = save(*h, 0);
    QVERIFY(first.form3Shown && second.form3Shown);
    QCOMPARE(second.offeredOption, 3);
    QCOMPARE(h->text(2), Msg::saving(1));
    QCOMPARE(readFile(file(QStringLiteral("second.tsk"))), m_sram.left(1024));
    QCOMPARE(h->fence(*sim), QByteArray("S1S1c"));
}

void TstSave::repliesStillArrivingStayOutOfBlock()
{
    // A command's reply that the poller has not taken yet, and text that arrives just as
    // Save starts, are not read as the first bytes of the block.
    const QString path = file(QStringLiteral("clean.tsk"));
    h->dialogs->chooseFile(path);
    h->find<QAction>("muDiagFirm")->trigger();
    QVERIFY(sim->waitReceivedEndsWith("tf"));
    QCOMPARE(sim->control(QStringLiteral("send late text\\r\\n")), QStringLiteral("ok"));
    save(*h, 1);
    QCOMPARE(h->text(2), Msg::saving(2));
    QCOMPARE(readFile(path), m_sram.left(2048));
}

void TstSave::nothingElseGoesOutDuringSave_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("inDialog"); // while the save dialog is open, else as the line settles
    for (const char *action : {"fill", "dump", "checksum", "chip", "comport"})
        QTest::newRow(qPrintable(QStringLiteral("%1 as the line settles").arg(action)))
            << QString::fromLatin1(action) << false;
    QTest::newRow("fill in the save dialog") << "fill" << true;
    QTest::newRow("checksum in the save dialog") << "checksum" << true;
}

void TstSave::nothingElseGoesOutDuringSave()
{
    // From the size choice on, Save owns the port: whatever the user does meanwhile is
    // refused and puts nothing on the line, and the block is the SRAM as it was.
    QFETCH(QString, action);
    QFETCH(bool, inDialog);
    const QString path = file(QStringLiteral("owned-%1-%2.tsk").arg(action).arg(inDialog));
    QString shown;
    const auto act = [this, action, &shown] {
        if (action == QLatin1String("fill")) {
            h->find<QLineEdit>("Text3")->setText(QStringLiteral("00"));
            h->find<QAction>("muProgFill")->trigger();
        } else if (action == QLatin1String("dump")) {
            h->find<QLineEdit>("Text4")->setText(QStringLiteral("0000"));
            h->find<QAction>("muProgDump")->trigger();
        } else if (action == QLatin1String("checksum")) {
            h->find<QAction>("muProgSum")->trigger();
        } else if (action == QLatin1String("chip")) {
            h->find<QRadioButton>("Option2")->click();
        } else {
            h->find<QAction>("muFileComm")->trigger();
        }
        shown = h->text(2);
    };
    h->dialogs->answerFile([&](QString &fileName) {
        fileName = path;
        if (inDialog)
            act();
        else
            QTimer::singleShot(0, this, act); // runs as soon as Save lets events run again
        return DialogBackend::Outcome::Chosen;
    });

    save(*h, 1);

    QCOMPARE(shown, QStringLiteral("資料傳輸中，請等傳輸完成後再執行。"));
    QVERIFY(!m_text2.contains(Msg::removed()));
    QCOMPARE(readFile(path), m_sram.left(2048));
    QCOMPARE(simSram(*sim, 2048), m_sram.left(2048));
    QCOMPARE(h->window->selectedChipOption(), 1);
    QCOMPARE(h->readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
    QVERIFY(h->p().MSComm1.PortOpen());
    QVERIFY(!h->p().Timer3.Enabled());
    QCOMPARE(h->fence(*sim), QByteArray("S2c"));
}

void TstSave::fillQueuedJustBeforeGoesOutWhole()
{
    // A fill clicked just before SAVE is still being pumped out: it finishes first, whole.
    const QString path = file(QStringLiteral("after-fill.tsk"));
    h->dialogs->chooseFile(path);
    save(*h, 3, [this] {
        h->find<QLineEdit>("Text3")->setText(QStringLiteral("A5"));
        h->find<QAction>("muProgFill")->trigger();
    });
    QCOMPARE(h->text(2), Msg::saving(1));
    QCOMPARE(readFile(path), QByteArray(1024, '\xA5'));
    QCOMPARE(h->fence(*sim), QByteArray("F\xA5S1c"));
    // The pattern back in the SRAM for the tests that follow.
    QVERIFY(loadThrough(*h, file(QStringLiteral("pattern.tsk")), 4096));
    QCOMPARE(simSram(*sim, 4096), m_sram);
}

void TstSave::extraBytesMayBeKept()
{
    QCOMPARE(sim->control(QStringLiteral("extra 2")), QStringLiteral("ok"));
    const QString path = file(QStringLiteral("extra.tsk"));
    h->dialogs->chooseFile(path);
    save(*h, 1);
    QCOMPARE(h->text(2), Msg::saving(2));
    // Whatever had arrived when the count reached 2048 is written.
    const QByteArray saved = readFile(path);
    QVERIFY2(saved.size() == 2048 || saved.size() == 2050,
             qPrintable(QString::number(saved.size())));
    QCOMPARE(saved, m_sram.left(saved.size()));
    QCOMPARE(h->fence(*sim), QByteArray("S2c"));
}

void TstSave::shortBlockTimesOutAndKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.tsk"));
    const QByteArray old = pattern(3000, 3);
    writeFile(path, old);
    QCOMPARE(sim->control(QStringLiteral("short 100")), QStringLiteral("ok"));
    h->dialogs->chooseFile(path);
    h->dialogs->answerBox(6);

    const Run run = save(*h, 3);

    QCOMPARE(h->text(2),
             QStringLiteral("燒錄器只傳回 100 位元組（應為 1024 位元組），沒有寫入檔案。"));
    QCOMPARE(m_text2, QStringList({Msg::saving(1), Msg::saveTimedOut(100, 1024)}));
    QVERIFY2(run.elapsedMs >= SaveBuffer::timeoutMs(1024) - 50 &&
                 run.elapsedMs < SaveBuffer::timeoutMs(1024) + 2000,
             qPrintable(QString::number(run.elapsedMs)));
    QCOMPARE(h->dialogs->boxCalls.size(), 1);
    QCOMPARE(readFile(path), old);
    QCOMPARE(entries(dir.path()), QStringList({QStringLiteral("old.tsk")}));
    QCOMPARE(h->fence(*sim), QByteArray("S1c"));
}

void TstSave::replaceNoAsksAgain()
{
    const QString existing = file(QStringLiteral("keep.tsk"));
    const QByteArray old = pattern(500, 5);
    writeFile(existing, old);
    const QString other = file(QStringLiteral("other.tsk"));
    h->dialogs->chooseFile(existing);
    h->dialogs->answerBox(7);
    h->dialogs->chooseFile(other);

    save(*h, 1);

    QCOMPARE(h->dialogs->boxCalls.size(), 1);
    QCOMPARE(h->dialogs->boxCalls.at(0).text,
             existing + QStringLiteral(" 這個檔案已經存在，確定要取代？"));
    QCOMPARE(h->dialogs->boxCalls.at(0).style, 52);
    QCOMPARE(h->dialogs->boxCalls.at(0).title, QStringLiteral("檔案已存在"));
    QCOMPARE(h->dialogs->fileCalls.size(), 2);
    QCOMPARE(h->dialogs->fileCalls.at(1).kind, DialogBackend::Kind::Save);
    QCOMPARE(h->dialogs->fileCalls.at(1).title, QStringLiteral("儲存"));
    QCOMPARE(h->dialogs->fileCalls.at(1).offered, existing);
    QCOMPARE(readFile(existing), old);
    QCOMPARE(readFile(other), m_sram.left(2048));
    QCOMPARE(h->find<QLabel>("Label3")->text(), Msg::latestFile(other));
    QCOMPARE(h->fence(*sim), QByteArray("S2c"));
}

void TstSave::replaceYesReplacesWithBlock()
{
    const QString existing = file(QStringLiteral("replace.tsk"));
    writeFile(existing, QByteArray(3000, '\x11'));
    h->dialogs->chooseFile(existing);
    h->dialogs->answerBox(6);
    save(*h, 1);
    QCOMPARE(h->dialogs->boxCalls.size(), 1);
    QCOMPARE(h->dialogs->fileCalls.size(), 1);
    QCOMPARE(readFile(existing), m_sram.left(2048));
    QCOMPARE(m_text2, QStringList({Msg::saving(2)}));
}

void TstSave::unwritableFolder_data()
{
    QTest::addColumn<bool>("folderIsFile"); // the folder is a plain file, else read-only
    QTest::addColumn<int>("fileMode");      // permissions of the old file (none in a plain file)
    QTest::addColumn<int>("shortBlock");    // the programmer sends only this many bytes (0: all)
    QTest::addColumn<QString>("outcome");   // "saved", "not written" or "timed out"
    QTest::newRow("read-only folder, writable file") << false << 0644 << 0 << "saved";
    QTest::newRow("read-only folder, read-only file") << false << 0444 << 0 << "not written";
    QTest::newRow("read-only folder, short block") << false << 0644 << 100 << "timed out";
    QTest::newRow("folder is a plain file") << true << 0 << 0 << "not written";
}

void TstSave::unwritableFolder()
{
    QFETCH(bool, folderIsFile);
    QFETCH(int, fileMode);
    QFETCH(int, shortBlock);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QByteArray old = pattern(700, 9);
    const QString path = preparePlace(dir, folderIsFile, fileMode, old);
    const QStringList before = entries(dir.path());
    if (!folderIsFile) {
        QVERIFY(!(QFileInfo(dir.path()).permissions() & QFileDevice::WriteOwner));
        h->dialogs->answerBox(6);
    }
    if (shortBlock > 0)
        QCOMPARE(sim->control(QStringLiteral("short %1").arg(shortBlock)), QStringLiteral("ok"));
    h->dialogs->chooseFile(path);
    {
        OrdinaryPermissions ordinary;
        QVERIFY(ordinary.inForce());
        save(*h, 3);
    }
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);

    QCOMPARE(entries(dir.path()), before);
    if (outcome == QLatin1String("saved")) {
        QCOMPARE(m_text2, QStringList({Msg::saving(1)}));
        QCOMPARE(readFile(path), m_sram.left(1024));
    } else if (outcome == QLatin1String("timed out")) {
        QCOMPARE(h->text(2),
                 QStringLiteral("燒錄器只傳回 100 位元組（應為 1024 位元組），沒有寫入檔案。"));
        QCOMPARE(readFile(path), old);
    } else {
        QVERIFY2(matchesWithReason(h->text(2), Msg::saveWriteFailed(path, QStringLiteral("\1"))),
                 qPrintable(h->text(2)));
        QCOMPARE(m_text2.size(), 2);
        QCOMPARE(m_text2.first(), Msg::saving(1));
        if (folderIsFile) {
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(readFile(dir.filePath(QStringLiteral("plain"))),
                     QByteArray("not a directory"));
        } else {
            QCOMPARE(readFile(path), old);
        }
    }
    QCOMPARE(h->fence(*sim), QByteArray("S1c"));
}

void TstSave::form3ClosedAbandons()
{
    // An earlier save left its size text: closing Form3 still saves nothing.
    h->p().setText(2, Msg::saving(2));
    m_text2.clear();
    const QStringList before = entries(m_files.path());
    const Run run = save(*h, -1);
    QVERIFY(run.form3Shown);
    QCOMPARE(m_text2, QStringList({Msg::saveCancelled()}));
    QCOMPARE(h->text(2), QStringLiteral("放棄儲存。"));
    QVERIFY(h->dialogs->fileCalls.isEmpty());
    QCOMPARE(entries(m_files.path()), before);
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

void TstSave::transfersRunWhileSelectSizeOpen_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("completed");
    QTest::newRow("load") << "muFileLoad" << QByteArray("L\x08\x00", 3)
                          << QStringLiteral("Load completed");
    QTest::newRow("express") << "muIcExp" << QByteArray("Q\x08\x00", 3)
                             << QStringLiteral("Load completed... ( Checksum = %1 )");
}

void TstSave::transfersRunWhileSelectSizeOpen()
{
    // While Select Size is open no data moves: Load and Express run, and a second Save
    // only brings the window to the front.
    QFETCH(QString, action);
    QFETCH(QByteArray, header);
    QFETCH(QString, completed);
    const QByteArray image = pattern(2048, 2048 + header.at(0));
    if (completed.contains(QLatin1String("%1")))
        completed = completed.arg(QString::number(byteSum(image), 16).toUpper());
    const QString imagePath = writeFile(file(action + QStringLiteral(".tsk")), image);
    const QString path = file(QStringLiteral("while-open-") + action + QStringLiteral(".tsk"));
    h->dialogs->chooseFile(imagePath); // Load asks; Express takes the latest file
    h->p().LatestFile = imagePath;
    h->dialogs->chooseFile(path);
    QString shown;
    bool stillOpen = false;
    bool openAfterSecondSave = false;
    int fileCallsBefore = -1;
    int fileCallsAfter = -1;

    save(*h, 1, [&] {
        fileCallsBefore = int(h->dialogs->fileCalls.size());
        h->find<QAction>(action.toLatin1().constData())->trigger();
        shown = h->text(2);
        stillOpen = h->window->form3()->isVisible();
        h->find<QAction>("muFileSave")->trigger();
        openAfterSecondSave = h->window->form3()->isVisible();
        fileCallsAfter = int(h->dialogs->fileCalls.size());
    });

    QCOMPARE(shown, completed);
    QVERIFY(stillOpen);
    QVERIFY(openAfterSecondSave);
    QCOMPARE(fileCallsAfter, fileCallsBefore + (action == QLatin1String("muFileLoad") ? 1 : 0));
    QCOMPARE(h->text(2), Msg::saving(2));
    QCOMPARE(readFile(path), image);
    QCOMPARE(simSram(*sim, 2048), image);
    m_sram.replace(0, 2048, image);
    QCOMPARE(h->fence(*sim), header + image + "S2c");
}

void TstSave::saveDialogCancelledOrFailed_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancelled") << true << QStringLiteral("放棄儲存。");
    QTest::newRow("failed") << false << QStringLiteral("儲存失敗。");
}

void TstSave::saveDialogCancelledOrFailed()
{
    QFETCH(bool, cancel);
    QFETCH(QString, message);
    const QString labelBefore = h->find<QLabel>("Label3")->text();
    if (cancel)
        h->dialogs->cancelFile();
    else
        h->dialogs->failFile();
    save(*h, 2);
    QCOMPARE(m_text2, QStringList({Msg::saving(4), message}));
    QCOMPARE(h->find<QLabel>("Label3")->text(), labelBefore);
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

void TstSave::loadedImageSavedBackIdentical()
{
    const QString image =
        QDir(QStringLiteral(VANTOR_TEST_DATA)).filePath(QStringLiteral("blink.tsk"));
    QVERIFY(loadThrough(*h, image, 2048));
    const QString copy = file(QStringLiteral("blink-copy.tsk"));
    h->dialogs->chooseFile(copy);
    save(*h, 1);
    QCOMPARE(readFile(copy), readFile(image));
    // Loading the copy sends the same bytes again.
    sim->markReceived();
    QVERIFY(loadThrough(*h, copy, 2048));
    QByteArray expected("L\x08", 2);
    expected.append('\0');
    QCOMPARE(h->fence(*sim), expected + readFile(image) + "c");
    h->dialogs->fileCalls.clear();
}

void TstSave::silentProgrammerTimesOut_data()
{
    QTest::addColumn<QByteArray>("before"); // a command sent just before Save
    QTest::addColumn<int>("waitMs");        // how long Save waits for its answer
    QTest::newRow("nothing sent before") << QByteArray() << 0;
    // The answer to "P" may take as long as programming a whole AT89C4051 (about 8.7 s),
    // with half again as margin: 13 s.
    QTest::newRow("after Programming") << QByteArray("P") << 13000;
}

void TstSave::silentProgrammerTimesOut()
{
    // A programmer that answers nothing is never found by a ComPort check: open its port
    // by hand, as discovery would.
    QFETCH(QByteArray, before);
    QFETCH(int, waitMs);
    SimProcess silent({QStringLiteral("--silent")});
    QVERIFY(silent.start());
    WindowHarness w(PortMap::fromDevices({silent.device()}));
    w.window->show();
    Programmer &p = w.p();
    QVERIFY(p.MSComm1.setCommPort(1));
    QVERIFY(p.MSComm1.setPortOpen(true));
    p.Timer1.setEnabled(true);
    const QString path = file(QStringLiteral("silent%1.tsk").arg(waitMs));
    w.dialogs->chooseFile(path);
    if (!before.isEmpty()) {
        w.find<QPushButton>("Command3")->click();
        QVERIFY(silent.waitReceived(1));
    }

    const Run run = save(w, 3);

    QCOMPARE(w.text(2), Msg::saveTimedOut(0, 1024));
    const int least = waitMs + SaveBuffer::timeoutMs(1024);
    QVERIFY2(run.elapsedMs >= least - 200 && run.elapsedMs < least + 3000,
             qPrintable(QString::number(run.elapsedMs)));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(p.MSComm1.PortOpen());
    checkRestored(w);
    QVERIFY(silent.waitReceived(before.size() + 2));
    QCOMPARE(silent.received(), before + "S1");
}

void TstSave::waitsForAnswerStillToCome_data()
{
    QTest::addColumn<bool>("unplug"); // the programmer goes away while Save waits
    QTest::newRow("answer comes") << false;
    QTest::newRow("unplugged while waiting") << true;
}

void TstSave::waitsForAnswerStillToCome()
{
    // Save clicked while the programmer is still programming the chip: its answer comes
    // seconds later, and must not be taken for the start of the block.
    QFETCH(bool, unplug);
    SimProcess paced({QStringLiteral("--pace")});
    std::unique_ptr<WindowHarness> w;
    QVERIFY(connectWindow(paced, w));
    const QByteArray head = pattern(300, 301);
    QVERIFY(loadThrough(*w, writeFile(file(QStringLiteral("late-head.tsk")), head), 300));
    paced.markReceived();
    const QString path = file(QStringLiteral("late%1.tsk").arg(unplug));
    w->dialogs->answerFile([&](QString &fileName) {
        fileName = path;
        if (unplug)
            QTimer::singleShot(0, this, [&] { paced.control(QStringLiteral("unplug")); });
        return DialogBackend::Outcome::Chosen;
    });
    // Programming the 2051 keeps the programmer busy for about three seconds.
    w->find<QPushButton>("Command3")->click();
    QVERIFY(paced.waitReceivedEndsWith("P"));

    const Run run = save(*w, 1);

    checkRestored(*w);
    if (unplug) {
        QCOMPARE(w->text(2), QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。"));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY2(run.elapsedMs < 10000, qPrintable(QString::number(run.elapsedMs)));
        QCOMPARE(paced.received(), QByteArray("P"));
        return;
    }
    QCOMPARE(w->text(2), QStringLiteral("Saving 2K Bytes Data."));
    QCOMPARE(readFile(path), head + QByteArray(2048 - 300, '\xFF'));
    QCOMPARE(readFile(path), simSram(paced, 2048));
    QCOMPARE(w->fence(paced), QByteArray("PS2c"));
}

void TstSave::pacedReplaceKeepsOldFileWhileArriving()
{
    SimProcess paced({QStringLiteral("--pace")});
    std::unique_ptr<WindowHarness> w;
    QVERIFY(connectWindow(paced, w));
    Programmer &p = w->p();
    const QByteArray head = pattern(300, 300);
    const QString headFile = file(QStringLiteral("head.tsk"));
    writeFile(headFile, head);
    QVERIFY(loadThrough(*w, headFile, 300));
    paced.markReceived();

    const QString path = file(QStringLiteral("paced-old.tsk"));
    const QByteArray old = pattern(1000, 1);
    writeFile(path, old);
    w->dialogs->chooseFile(path);
    w->dialogs->answerBox(6);
    // Half way through the block the old file is still there, unchanged, and commands
    // clicked meanwhile are refused: nothing may land in the block.
    int arrived = -1;
    QByteArray seen;
    QStringList shown;
    QTimer::singleShot(2000, this, [&] {
        arrived = p.MSComm1.InBufferCount();
        seen = readFile(path);
        for (const char *item : {"muIcSig", "muProgSum", "muFileLoad"}) {
            w->p().setText(2, Msg::saving(4));
            w->find<QAction>(item)->trigger();
            shown << w->text(2);
        }
    });

    save(*w, 2);

    QCOMPARE(shown, QStringList({Msg::busy(), Msg::busy(), Msg::busy()}));
    QVERIFY2(arrived > 0 && arrived < 4096, qPrintable(QString::number(arrived)));
    QCOMPARE(seen, old);
    QCOMPARE(readFile(path), head + QByteArray(4096 - 300, '\xFF'));
    QCOMPARE(readFile(path), simSram(paced, 4096));
    QCOMPARE(w->dialogs->fileCalls.size(), 2); // the Load, and the save dialog; no other
    checkRestored(*w);
    QCOMPARE(w->fence(paced), QByteArray("S4c"));
}

void TstSave::unplugWhileBlockArrives()
{
    auto paced = std::make_unique<SimProcess>(QStringList{QStringLiteral("--pace")});
    std::unique_ptr<WindowHarness> w;
    QVERIFY(connectWindow(*paced, w));
    Programmer &p = w->p();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.tsk"));
    const QByteArray old = pattern(2000, 8);
    writeFile(path, old);
    w->dialogs->chooseFile(path);
    w->dialogs->answerBox(6);
    int arrived = -1;
    QTimer::singleShot(1000, this, [&] {
        arrived = p.MSComm1.InBufferCount();
        paced->control(QStringLiteral("unplug"));
    });

    const Run run = save(*w, 2);

    QVERIFY2(arrived > 0 && arrived < 4096, qPrintable(QString::number(arrived)));
    QVERIFY2(run.elapsedMs < SaveBuffer::timeoutMs(4096),
             qPrintable(QString::number(run.elapsedMs)));
    QCOMPARE(w->text(2), QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。"));
    QCOMPARE(readFile(path), old);
    QCOMPARE(entries(dir.path()), QStringList({QStringLiteral("kept.tsk")}));
    QVERIFY(!p.MSComm1.PortOpen());
    checkRestored(*w);
}

void TstSave::restOfLateBlockIsDropped()
{
    // Express, then Save 4K at once: the programmer answers "Load OK" and then programs
    // the AT89C4051 for six seconds before it sends the block, which so arrives too late.
    // What is left of it when Save gives up ends in bytes that spell a key report; they
    // must neither show in Text1 nor switch the chip.
    SimProcess paced({QStringLiteral("--pace")});
    std::unique_ptr<WindowHarness> w;
    QVERIFY(connectWindow(paced, w));
    QCOMPARE(paced.control(QStringLiteral("chip 4051")), QStringLiteral("ok"));
    w->find<QRadioButton>("Option2")->click();
    QCOMPARE(w->fence(paced), QByteArray("@c"));
    QCOMPARE(w->readSetting(QStringLiteral("chip.log")), QByteArray("4051"));
    const QByteArray image = pattern(4088, 4088) + "KEY_2K\r\n";
    w->p().LatestFile = writeFile(file(QStringLiteral("key-tail.tsk")), image);
    w->find<QAction>("muIcExp")->trigger();
    QVERIFY(w->text(2).startsWith(QLatin1String("Load completed... ( Checksum = ")));
    const QString path = file(QStringLiteral("late-block.tsk"));
    w->dialogs->chooseFile(path);

    save(*w, 2);

    const QString shown = w->text(2);
    QVERIFY2(shown.startsWith(QStringLiteral("燒錄器只傳回 ")) &&
                 shown.endsWith(QStringLiteral(" 位元組（應為 4096 位元組），沒有寫入檔案。")),
             qPrintable(shown));
    QVERIFY(!QFileInfo::exists(path));
    checkRestored(*w);
    // The fence's answer comes after anything still on its way.
    QCOMPARE(w->fence(paced), QByteArray("Q\x10\x00", 3) + image + "S4c");
    QCOMPARE(w->window->selectedChipOption(), 2);
    QCOMPARE(w->readSetting(QStringLiteral("chip.log")), QByteArray("4051"));
    // Only the fence's answer was received since the block.
    QVERIFY2(QRegularExpression(QStringLiteral("^Checksum [0-9A-F]{4}\r\n$"))
                 .match(w->p().RxText)
                 .hasMatch(),
             qPrintable(w->p().RxText.left(40)));
    QVERIFY2(w->text(1).startsWith(QLatin1String("Checksum ")) && w->text(1).size() <= 15,
             qPrintable(w->text(1).left(40)));
}

void TstSave::saveRefusedWhileLoadMovesBytes()
{
    // SAVE clicked while a Load sends its bytes is refused with the busy text and keeps
    // Select Size open with the choice; SAVE after the Load saves.
    SimProcess paced({QStringLiteral("--pace")});
    std::unique_ptr<WindowHarness> w;
    QVERIFY(connectWindow(paced, w));
    const QByteArray image = pattern(2048, 77);
    const QString imagePath = writeFile(file(QStringLiteral("paced-load.tsk")), image);
    const QString progress = Msg::progress(imagePath, 2048);
    const QString path = file(QStringLiteral("after-load.tsk"));
    w->dialogs->chooseFile(imagePath);
    w->dialogs->chooseFile(path);
    QString shown;
    bool openAfterRefusal = false;
    bool choiceKept = false;
    bool clickedDuringLoad = false;
    connect(w->find<QLineEdit>("Text2"), &QLineEdit::textChanged, this, [&](const QString &t) {
        if (t != progress || clickedDuringLoad)
            return;
        clickedDuringLoad = true;
        QTimer::singleShot(0, this, [&] {
            Form3 *f = w->window->form3();
            clickedDuringLoad = w->p().bytesMoving;
            f->findChild<QRadioButton *>(QStringLiteral("Option3"))->click();
            f->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
            shown = w->text(2);
            openAfterRefusal = f->isVisible();
            choiceKept = f->findChild<QRadioButton *>(QStringLiteral("Option3"))->isChecked();
        });
    });
    QString afterLoad;

    save(*w, 0, [&] {
        w->find<QAction>("muFileLoad")->trigger();
        afterLoad = w->text(2);
        QVERIFY(QTest::qWaitFor(
            [&] { return w->p().RxText.contains(QLatin1String("Load OK, 2048 bytes")); }, 5000));
    });

    QVERIFY(clickedDuringLoad);
    QCOMPARE(shown, QStringLiteral("資料傳輸中，請等傳輸完成後再執行。"));
    QVERIFY(openAfterRefusal);
    QVERIFY(choiceKept);
    QCOMPARE(afterLoad, QStringLiteral("Load completed"));
    QCOMPARE(w->text(2), QStringLiteral("Saving 1K Bytes Data."));
    QCOMPARE(readFile(path), image.left(1024));
    checkRestored(*w);
    QCOMPARE(w->fence(paced), QByteArray("L\x08\x00", 3) + image + "S1c");
}

void TstSave::portClosedSendsNothing()
{
    const QString path = file(QStringLiteral("closed.tsk"));
    h->p().MSComm1.setPortOpen(false);
    h->dialogs->chooseFile(path);
    save(*h, 1);
    QCOMPARE(h->text(2), Msg::notConnected());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(h->p().MSComm1.InputMode(), 0);
    QVERIFY(!h->p().transferActive);
    QVERIFY(h->p().MSComm1.setPortOpen(true));
    h->p().Timer1.setEnabled(true);
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

QTEST_MAIN(TstSave)
#include "tst_save.moc"
