#include "core/notice.h"
#include "core/workbench.h"
#include "faketransport.h"
#include "manualclock.h"
#include "scripteddialogs.h"
#include "simfixture.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The workbench on the fake line with scripted dialogs, in a folder of its own: what the
// status box and the latest-file line would show, the settings and image files, the bytes.
struct Bench {
    ManualClock clock;
    FakeTransport line{clock};
    ScriptedDialogBackend dialogs;
    Workbench bench{&line, &dialogs, &clock};
    QTemporaryDir dir;
    QStringList shown;
    QString label;

    Bench()
    {
        QObject::connect(&bench, &Workbench::notice, &bench,
                         [this](const Notice &n) { shown << Messages::text(n); });
        QObject::connect(&bench, &Workbench::latestFileChanged, &bench,
                         [this](const QString &p) { label = Messages::latestFileLine(p); });
    }
    QString path(const QString &name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    QString status() const { return shown.isEmpty() ? QString() : shown.last(); }
    // Starts with a programmer on COM1 that answers "i" and the chip commands; returns once
    // the chip has been told.
    bool start()
    {
        line.setDevice(1, FakeTransport::Device::Answering);
        line.answer(1, "i", "Vantor USB Programmer V2.10\r\n", 20);
        for (const char *chip : {"!", "@", "#"})
            line.answer(1, chip, "Chip OK\r\n", 5);
        QSignalSpy settled(&bench.session(), &ProgrammerSession::settled);
        bench.start(dir.path());
        return clock.advanceUntil([&] { return settled.count() > 0; }, 2000) &&
               (clock.advance(200), true);
    }
};

#define ADVANCE_UNTIL(b, cond, ms)                                                                 \
    QVERIFY2((b).clock.advanceUntil([&] { return bool(cond); }, (ms)),                             \
             "still not true after " #ms " ms: " #cond)

class TstWorkbench : public QObject
{
    Q_OBJECT
private slots:
    void startUpReadsTheSettingsFiles_data();
    void startUpReadsTheSettingsFiles();
    void settingsProblemsAreShown_data();
    void settingsProblemsAreShown();
    void chipLogIsWrittenBeforeTheCommandGoesOut();
    void noticeTexts_data();
    void noticeTexts();
    void fillAndDumpBoxes_data();
    void fillAndDumpBoxes();
    void loadAsksUntilAFileExists();
    void expressSendsTheRememberedFile();
    void imagesRefused_data();
    void imagesRefused();
    void saveWritesTheBlock_data();
    void saveWritesTheBlock();
    void failedSaveLeavesTheOldFile_data();
    void failedSaveLeavesTheOldFile();
    void saveHoldsThePortFromTheSizeChoice();
    void transfersRefusedWhileTheLineIsTaken();
};

void TstWorkbench::startUpReadsTheSettingsFiles_data()
{
    QTest::addColumn<QByteArray>("tsk");  // null: no file
    QTest::addColumn<QByteArray>("chip"); // null: no file
    QTest::addColumn<QString>("label");
    QTest::addColumn<QByteArray>("told");
    QTest::addColumn<QByteArray>("chipAfter");
    QTest::newRow("first run") << QByteArray() << QByteArray() << QStringLiteral("No latest file !")
                               << QByteArray("!") << QByteArray("2051");
    QTest::newRow("two lines") << QByteArray("C:\\img\\a.tsk\r\nmore") << QByteArray("1051U")
                               << QStringLiteral("Latest File at C:\\img\\a.tsk") << QByteArray("#")
                               << QByteArray("1051U");
    QTest::newRow("empty first line")
        << QByteArray("\nb.tsk") << QByteArray("4051\r\n") << QStringLiteral("No latest file !")
        << QByteArray("@") << QByteArray("4051");
    QTest::newRow("no such chip") << QByteArray("") << QByteArray("2051 ")
                                  << QStringLiteral("No latest file !") << QByteArray()
                                  << QByteArray("2051 ");
}

void TstWorkbench::startUpReadsTheSettingsFiles()
{
    QFETCH(QByteArray, tsk);
    QFETCH(QByteArray, chip);
    QFETCH(QString, label);
    QFETCH(QByteArray, told);
    QFETCH(QByteArray, chipAfter);
    Bench b;
    if (!tsk.isNull())
        writeFile(b.dir.filePath("tsk.log"), tsk);
    if (!chip.isNull())
        writeFile(b.dir.filePath("chip.log"), chip);
    QVERIFY(b.start());
    QCOMPARE(b.label, label);
    QCOMPARE(b.line.line(), QByteArray("ii") + told);
    QCOMPARE(readFile(b.dir.filePath("tsk.log")), tsk.isNull() ? QByteArray("") : tsk);
    QCOMPARE(readFile(b.dir.filePath("chip.log")), chipAfter);
}

// Opens the other end of a FIFO after a few seconds, so that code that would wait on it
// for ever goes on, and the test fails on its checks instead of hanging.
class FifoWatchdog
{
public:
    explicit FifoWatchdog(const QString &path) : m_path(QFile::encodeName(path))
    {
        m_thread = std::thread([this] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_done.wait_for(lock, std::chrono::seconds(3), [this] { return m_finished; }))
                return;
            const int fd = ::open(m_path.constData(), O_RDWR | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    QByteArray m_path;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
};

static void makeFifo(const QString &path)
{
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
}

void TstWorkbench::settingsProblemsAreShown_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<QString>("why");
    QTest::newRow("tsk.log is a folder") << "tsk.log" << false << "是一個資料夾";
    QTest::newRow("chip.log is a FIFO") << "chip.log" << true << "不是一般檔案";
}

void TstWorkbench::settingsProblemsAreShown()
{
    QFETCH(QString, file);
    QFETCH(bool, fifo);
    QFETCH(QString, why);
    Bench b;
    const QString path = b.path(file);
    if (fifo)
        makeFifo(path);
    else
        QVERIFY(QDir(b.dir.path()).mkdir(file));
    {
        FifoWatchdog watchdog(path);
        QVERIFY(b.start());
    }
    // At start-up, and again with the search's result.
    const QString problem =
        QStringLiteral("無法讀取或建立設定檔 %1（%2），設定將不會被記住。").arg(path, why);
    QCOMPARE(b.shown.first(), problem);
    QVERIFY(b.shown.contains(QStringLiteral("Find Programmer on COM1  ") + problem));
    // Later, when the chip is written, on its own.
    FifoWatchdog watchdog(b.path("chip.log"));
    QFile::remove(b.path("chip.log"));
    makeFifo(b.path("chip.log"));
    b.bench.chooseChip(2);
    QCOMPARE(b.status(),
             QStringLiteral("無法寫入設定檔 %1（不是一般檔案），這次的選擇將不會被記住。")
                 .arg(b.path("chip.log")));
    QVERIFY(b.line.line().endsWith("#"));
}

void TstWorkbench::chipLogIsWrittenBeforeTheCommandGoesOut()
{
    Bench b;
    QVERIFY(b.start());
    QByteArray fileThen, lineThen;
    QObject::connect(&b.bench.session(), &ProgrammerSession::chipShown, &b.bench, [&] {
        fileThen = readFile(b.dir.filePath("chip.log"));
        lineThen = b.line.line();
    });
    b.bench.chooseChip(1);
    QCOMPARE(fileThen, QByteArray("4051"));
    QCOMPARE(lineThen, QByteArray("ii!"));
    QCOMPARE(b.line.line(), QByteArray("ii!@"));
}

void TstWorkbench::noticeTexts_data()
{
    QTest::addColumn<Notice>("notice");
    QTest::addColumn<QString>("text");
    const QString p = QStringLiteral("D:\\%1 &<b>.tsk");
    QTest::newRow("probing") << Notice(Notice::Probing, 3) << "Check COM3......";
    QTest::newRow("found") << Notice(Notice::Found, 11) << "Find Programmer on COM11";
    QTest::newRow("not installed")
        << Notice(Notice::NotInstalled) << "你尚未安裝燒錄器，請安裝後再執行。";
    QTest::newRow("removed") << Notice(Notice::Removed)
                             << "燒錄器已移除，請重新接上後執行 ComPort check。";
    QTest::newRow("progress") << Notice(Notice::Progress, p)
                              << "Loading  " + p + "   ( 0 Bytes)...";
    Notice progress(Notice::Progress, p);
    progress.number = 4999;
    QTest::newRow("progress 4999") << progress << "Loading  " + p + "   ( 4999 Bytes)...";
    QTest::newRow("load completed") << Notice(Notice::LoadCompleted) << "Load completed";
    QTest::newRow("checksum 0") << Notice(Notice::ExpressCompleted, 0)
                                << "Load completed... ( Checksum = 0 )";
    QTest::newRow("checksum F000")
        << Notice(Notice::ExpressCompleted, 0xF000) << "Load completed... ( Checksum = F000 )";
    QTest::newRow("checksum 0A5") << Notice(Notice::ExpressCompleted, 0xA5)
                                  << "Load completed... ( Checksum = A5 )";
    QTest::newRow("saving") << Notice(Notice::Saving, 4) << "Saving 4K Bytes Data.";
    QTest::newRow("load cancelled") << Notice(Notice::LoadCancelled) << "放棄載入。";
    QTest::newRow("save failed") << Notice(Notice::SaveFailed) << "儲存失敗。";
    QTest::newRow("missing") << Notice(Notice::ImageMissing, p)
                             << "找不到" + p + "這個檔案，沒有送出任何資料。";
    Notice tooLarge(Notice::ImageTooLarge, p);
    tooLarge.number = 5000;
    QTest::newRow("too large")
        << tooLarge << p + " 有 5000 位元組，超過燒錄器緩衝區的 4999 位元組，檔案沒有送出。";
    QTest::newRow("no address") << Notice(Notice::NoAddress)
                                << "你並未輸入起始位置，請輸入四位數十六進位碼。";
    QTest::newRow("beyond memory")
        << Notice(Notice::AddressTooHigh) << "你所輸入的位址超過記憶體長度，請重新輸入。";
    QTest::newRow("bad fill") << Notice(Notice::BadFill)
                              << "你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。";
    QTest::newRow("cleared") << Notice(Notice::Cleared) << QString();
}

void TstWorkbench::noticeTexts()
{
    QFETCH(Notice, notice);
    QFETCH(QString, text);
    QCOMPARE(Messages::text(notice), text);
}

void TstWorkbench::fillAndDumpBoxes_data()
{
    QTest::addColumn<bool>("fill");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("status");
    const QString badFill = QStringLiteral("你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。");
    const QString badAddress =
        QStringLiteral("你所輸入的是無效的起始位置，請輸入四位數十六進位碼。");
    QTest::newRow("fill FF") << true << "FF" << QByteArray("F\xFF") << QString();
    QTest::newRow("fill a5") << true << "a5" << QByteArray("F\xA5") << QString();
    QTest::newRow("fill 00") << true << "00" << QByteArray("F\x00", 2) << QString();
    QTest::newRow("fill empty") << true << "" << QByteArray() << badFill;
    QTest::newRow("fill 100") << true << "100" << QByteArray() << badFill;
    QTest::newRow("fill 1G") << true << "1G" << QByteArray() << badFill;
    QTest::newRow("dump 0000") << false << "0000" << QByteArray("d\x00\x00", 3) << QString();
    QTest::newRow("dump 0fff") << false << "0fff" << QByteArray("d\x0F\xFF") << QString();
    QTest::newRow("dump 0123") << false << "0123" << QByteArray("d\x01\x23") << QString();
    QTest::newRow("dump empty") << false << "" << QByteArray()
                                << "你並未輸入起始位置，請輸入四位數十六進位碼。";
    QTest::newRow("dump 1FFF") << false << "1FFF" << QByteArray()
                               << "你所輸入的位址超過記憶體長度，請重新輸入。";
    QTest::newRow("dump 2000") << false << "2000" << QByteArray() << badAddress;
    QTest::newRow("dump 0x1F") << false << "0x1F" << QByteArray() << badAddress;
    QTest::newRow("dump 123") << false << "123" << QByteArray() << badAddress;
}

void TstWorkbench::fillAndDumpBoxes()
{
    QFETCH(bool, fill);
    QFETCH(QString, text);
    QFETCH(QByteArray, sent);
    QFETCH(QString, status);
    Bench b;
    QVERIFY(b.start());
    if (fill)
        b.bench.fill(text);
    else
        b.bench.dump(text);
    b.clock.advance(20);
    QCOMPARE(b.line.line(), QByteArray("ii!") + sent);
    QCOMPARE(b.status(), status);
    QCOMPARE(b.bench.session().received(), QString());
}

void TstWorkbench::loadAsksUntilAFileExists()
{
    Bench b;
    QVERIFY(b.start());
    const QString gone = b.path("gone.tsk");
    const QString image = writeFile(b.path("blink.tsk"), QByteArray(2048, '\x5A'));
    b.dialogs.choose(gone);
    b.dialogs.choose(image);
    QSignalSpy finished(&b.bench.session(), &ProgrammerSession::imageFinished);
    b.bench.load();
    ADVANCE_UNTIL(b, finished.count() == 1, 1000);
    QCOMPARE(b.dialogs.boxes.size(), 1);
    QCOMPARE(b.dialogs.boxes.at(0).text, "找不到" + gone + "這個檔案，請重新輸入。");
    QCOMPARE(b.dialogs.boxes.at(0).style, 48);
    QCOMPARE(b.dialogs.boxes.at(0).title, QStringLiteral("找不到檔案"));
    QCOMPARE(b.dialogs.asked.size(), 2);
    QCOMPARE(b.dialogs.asked.at(1).offered, gone);
    QCOMPARE(b.dialogs.asked.at(1).title, QStringLiteral("開啟"));
    QCOMPARE(b.dialogs.asked.at(1).filter, QStringLiteral("TSK二進位檔 (*.tsk)|*.tsk"));
    QCOMPARE(b.line.line(), QByteArray("ii!L\x08\x00", 6) + QByteArray(2048, '\x5A'));
    QCOMPARE(b.shown.mid(b.shown.size() - 2),
             QStringList({"Loading  " + image + "   ( 2048 Bytes)...", "Load completed"}));
    QCOMPARE(readFile(b.dir.filePath("tsk.log")), image.toLocal8Bit());
    QCOMPARE(b.label, "Latest File at " + image);
}

void TstWorkbench::expressSendsTheRememberedFile()
{
    Bench b;
    const QString image = writeFile(b.path("ff.tsk"), QByteArray(4096, '\xFF'));
    writeFile(b.dir.filePath("tsk.log"), image.toLocal8Bit());
    QVERIFY(b.start());
    QSignalSpy finished(&b.bench.session(), &ProgrammerSession::imageFinished);
    b.bench.express();
    ADVANCE_UNTIL(b, finished.count() == 1, 1000);
    QVERIFY(b.dialogs.asked.isEmpty());
    QCOMPARE(b.line.line(), QByteArray("ii!Q\x10\x00", 6) + QByteArray(4096, '\xFF'));
    QCOMPARE(b.status(), QStringLiteral("Load completed... ( Checksum = F000 )"));
}

void TstWorkbench::imagesRefused_data()
{
    QTest::addColumn<bool>("express");
    QTest::addColumn<int>("size");   // -1: no file
    QTest::addColumn<int>("dialog"); // 0 choose, 1 cancel, 2 fail
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("status"); // %1: the file's path
    QTest::newRow("5000 bytes")
        << false << 5000 << 0 << true
        << "%1 有 5000 位元組，超過燒錄器緩衝區的 4999 位元組，檔案沒有送出。";
    QTest::newRow("express, file gone")
        << true << -1 << 0 << true << "找不到%1這個檔案，沒有送出任何資料。";
    QTest::newRow("load cancelled") << false << 10 << 1 << true << "放棄載入。";
    QTest::newRow("load dialog failed") << false << 10 << 2 << true << "載入失敗。";
    QTest::newRow("express cancelled") << true << 10 << 1 << true << "Find Programmer on COM1";
    QTest::newRow("no programmer")
        << false << 10 << 0 << false << "燒錄器沒有連線，資料沒有送出，請執行 ComPort check。";
}

void TstWorkbench::imagesRefused()
{
    QFETCH(bool, express);
    QFETCH(int, size);
    QFETCH(int, dialog);
    QFETCH(bool, connected);
    QFETCH(QString, status);
    Bench b;
    const QString image = b.path("image.tsk");
    if (size >= 0)
        writeFile(image, QByteArray(size, '\x01'));
    if (connected) {
        QVERIFY(b.start());
    } else {
        b.bench.start(b.dir.path());
        b.clock.advance(6000); // the search has given up
    }
    const QByteArray before = b.line.line();
    if (dialog == 0)
        b.dialogs.choose(image);
    else if (dialog == 1)
        b.dialogs.cancel();
    else
        b.dialogs.fail();
    express ? b.bench.express() : b.bench.load();
    b.clock.advance(100);
    QCOMPARE(b.status(), status.contains("%1") ? status.arg(image) : status);
    QCOMPARE(b.line.line(), before);
    QCOMPARE(QFileInfo::exists(image), size >= 0);
    QVERIFY(!b.bench.session().isBusy());
}

void TstWorkbench::saveWritesTheBlock_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("replace");
    QTest::newRow("1K") << 1024 << false;
    QTest::newRow("2K, replacing after a No") << 2048 << true;
    QTest::newRow("4K") << 4096 << false;
}

void TstWorkbench::saveWritesTheBlock()
{
    QFETCH(int, bytes);
    QFETCH(bool, replace);
    Bench b;
    QVERIFY(b.start());
    const QByteArray command = "S" + QByteArray::number(bytes / 1024);
    const QByteArray block(bytes, '\xC3');
    b.line.answer(1, command, block);
    const QString first = writeFile(b.path("old.tsk"), "old");
    const QString target = replace ? writeFile(b.path("two.tsk"), "old") : b.path("new");
    if (replace) {
        b.dialogs.choose(first);
        b.dialogs.reply(7); // No: ask again
        b.dialogs.reply(6);
    }
    b.dialogs.choose(target);
    QVERIFY(b.bench.offerSave());
    QVERIFY(b.bench.save(bytes));
    QSignalSpy finished(&b.bench.session(), &ProgrammerSession::blockFinished);
    ADVANCE_UNTIL(b, finished.count() == 1, 20000);
    QCOMPARE(readFile(target), block);
    QCOMPARE(readFile(first), QByteArray("old"));
    QCOMPARE(b.status(), "Saving " + QString::number(bytes / 1024) + "K Bytes Data.");
    QVERIFY(b.line.line().endsWith(command));
    QCOMPARE(b.label, "Latest File at " + target);
    QCOMPARE(readFile(b.dir.filePath("tsk.log")), QByteArray());
    QCOMPARE(b.dialogs.boxes.size(), replace ? 2 : 0);
    if (replace)
        QCOMPARE(b.dialogs.boxes.at(0).text, first + " 這個檔案已經存在，確定要取代？");
}

void TstWorkbench::failedSaveLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("status");
    QTest::newRow("cancelled") << "cancel"
                               << "放棄儲存。";
    QTest::newRow("short block") << "short"
                                 << "燒錄器只傳回 100 位元組（應為 2048 位元組），沒有寫入檔案。";
    QTest::newRow("unplugged") << "unplug"
                               << "燒錄器已移除，請重新接上後執行 ComPort check。";
}

void TstWorkbench::failedSaveLeavesTheOldFile()
{
    QFETCH(QString, how);
    QFETCH(QString, status);
    Bench b;
    QVERIFY(b.start());
    const QString target = writeFile(b.path("keep.tsk"), "precious");
    b.line.answer(1, "S2", QByteArray(100, '\x11'));
    if (how == "unplug")
        b.clock.callAfter(40, [&] { b.line.unplug(); }); // after "S2" at 30 ms
    if (how == "cancel") {
        b.dialogs.cancel();
    } else {
        b.dialogs.choose(target);
        b.dialogs.reply(6);
    }
    const QByteArray before = b.line.line();
    QVERIFY(b.bench.save(2048));
    ADVANCE_UNTIL(b, !b.bench.session().isBusy(), 20000);
    QCOMPARE(b.status(), status);
    QCOMPARE(readFile(target), QByteArray("precious"));
    QCOMPARE(b.line.line(), how == "cancel" ? before : before + "S2");
}

void TstWorkbench::saveHoldsThePortFromTheSizeChoice()
{
    Bench b;
    QVERIFY(b.start());
    b.line.answer(1, "S2", QByteArray(2048, '\x22'));
    b.dialogs.choose(b.path("held.tsk"));
    b.dialogs.whileAsking = [&] { b.bench.fill("A5"); };
    QVERIFY(b.bench.save(2048));
    b.clock.advance(15); // in the quiet wait before "S2"
    b.bench.command("c");
    b.bench.search();
    ADVANCE_UNTIL(b, !b.bench.session().isBusy(), 10000);
    QCOMPARE(b.line.line(), QByteArray("ii!S2"));
    QCOMPARE(b.shown.count(QStringLiteral("資料傳輸中，請等傳輸完成後再執行。")), 3);
    QCOMPARE(readFile(b.path("held.tsk")), QByteArray(2048, '\x22'));
}

void TstWorkbench::transfersRefusedWhileTheLineIsTaken()
{
    Bench b;
    const QString image = writeFile(b.path("a.tsk"), "abc");
    b.bench.start(b.dir.path());
    b.clock.advance(450); // probing COM1
    b.bench.load();
    QCOMPARE(b.status(), QStringLiteral("正在尋找燒錄器，請等 ComPort check 完成後再執行。"));
    QVERIFY(!b.bench.offerSave());
    QVERIFY(b.dialogs.asked.isEmpty());
    QVERIFY(b.start());
    // With the size window open nothing is held: Load goes ahead.
    QVERIFY(b.bench.offerSave());
    b.dialogs.choose(image);
    b.bench.load();
    b.clock.advance(100);
    QVERIFY(b.line.line().endsWith(QByteArray("L\x00\x03"
                                              "abc",
                                              6)));
}

QTEST_GUILESS_MAIN(TstWorkbench)
#include "tst_workbench.moc"
