#include "bench.h"

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The workbench's start-up with the settings files, the chip choice, the texts of its
// notices and the fill and dump boxes.
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

QTEST_GUILESS_MAIN(TstWorkbench)
#include "tst_workbench.moc"
