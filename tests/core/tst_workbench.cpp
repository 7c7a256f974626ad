#include "rig.h"

#include "core/imagefile.h"

#include <csignal>
#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

// Opens the other end of a FIFO every 3 s until it goes, so that code that would wait on it for
// ever goes on, and the test fails on its checks instead of hanging.
struct FifoWatchdog {
    std::promise<void> done;
    std::future<void> watching; // its end waits for the watch to end
    explicit FifoWatchdog(const QString &path)
        : watching(std::async(
              std::launch::async, [gone = done.get_future(), name = QFile::encodeName(path)] {
                  while (gone.wait_for(std::chrono::seconds(3)) == std::future_status::timeout)
                      ::close(::open(name.constData(), O_RDWR | O_NONBLOCK));
              }))
    {
    }
    ~FifoWatchdog() { done.set_value(); }
};

// While it lives, no file of the process may grow past bytes: a write beyond fails with
// "file too large" (EFBIG), as the system's own limit makes it.
struct FileSizeLimit {
    rlimit was{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN); // the error, not the signal that ends the process
        ::getrlimit(RLIMIT_FSIZE, &was);
        rlimit limit = was;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &was); }
};

// The workbench: start-up with the settings files, the notices' texts, and Load, Express,
// Save and the dump box with their dialogs, files and bytes.
class TstWorkbench : public QObject
{
    Q_OBJECT
private slots:
    void startUpReadsTheSettingsFiles_data()
    {
        // tsk and chip: the files' contents.
        const Table<QByteArray, QByteArray, QString, QByteArray, QByteArray> row;
        const QString none = QStringLiteral("No latest file !");
        row("two lines", "C:\\img\\a.tsk\r\nmore", "1051U", "Latest File at C:\\img\\a.tsk", "#",
            "1051U");
        row("empty first line", "\nb.tsk", "4051\r\n", none, "@", "4051");
        row("no such chip", "", "2051 ", none, "", "2051 ");
    }
    void startUpReadsTheSettingsFiles()
    {
        const auto [tsk, chip, label, told, chipAfter] =
            Table<QByteArray, QByteArray, QString, QByteArray, QByteArray>::fetch();
        Bench b;
        writeFile(b.dir.filePath("tsk.log"), tsk);
        writeFile(b.dir.filePath("chip.log"), chip);
        // When the chip is shown, chip.log holds it already and its command has not gone out.
        const QByteArray remembered = chipAfter;
        connect(&b.bench.session(), &ProgrammerSession::chipShown, this, [&] {
            QCOMPARE(readFile(b.dir.filePath("chip.log")), remembered);
            QCOMPARE(b.line.line(), QByteArray("ii"));
        });
        QVERIFY(b.start());
        QCOMPARE(Messages::latestFileLine(b.bench.latestFile()), label);
        QCOMPARE(b.line.line(), "ii" + told);
        QCOMPARE(readFile(b.dir.filePath("tsk.log")), tsk);
        QCOMPARE(readFile(b.dir.filePath("chip.log")), chipAfter);
    }

    void settingsFilesMustBeRegular_data()
    {
        const Table<QString, bool, QString> row;
        row("tsk.log is a folder", "tsk.log", false, "這是資料夾，不是檔案");
        row("chip.log is a FIFO", "chip.log", true, "不是一般檔案");
    }
    void settingsFilesMustBeRegular()
    {
        const auto [file, fifo, why] = Table<QString, bool, QString>::fetch();
        Bench b;
        const QString path = b.path(file);
        QVERIFY(fifo ? ::mkfifo(qPrintable(path), 0600) == 0 : QDir(b.dir.path()).mkdir(file));
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
        const QString chipLog = b.path("chip.log");
        FifoWatchdog watchdog(chipLog);
        QFile::remove(chipLog);
        QVERIFY(::mkfifo(qPrintable(chipLog), 0600) == 0);
        b.bench.chooseChip(2);
        QCOMPARE(b.status(),
                 QStringLiteral("無法寫入設定檔 %1（不是一般檔案），這次的選擇將不會被記住。")
                     .arg(chipLog));
        QVERIFY(b.line.line().endsWith("#"));
    }

    // What a request shows and sends, and that the image file stays as it was.
    void outcomes_data()
    {
        // size: image.tsk's (bytes FF), -1 for none; dialog: 0 chooses it, 1 cancels, 2 fails,
        // 3 is not expected (tsk.log names it); status: %1 for its path.
        const Table<QString, int, int, QString, QString, QByteArray> row;
        // 4096 times FF is FF000; the checksum keeps 16 bits.
        row("express, remembered", "express", 4096, 3, "on COM1",
            "Load completed... ( Checksum = F000 )",
            QByteArray("Q\x10\x00", 3) + QByteArray(4096, '\xFF'));
        row("load 5000 bytes", "load", 5000, 0, "on COM1",
            "%1 有 5000 位元組，超過燒錄器緩衝區的 4999 位元組，檔案沒有送出。", {});
        row("express, file gone", "express", -1, 0, "on COM1",
            "找不到%1這個檔案，沒有送出任何資料。", {});
        row("load cancelled", "load", 10, 1, "on COM1", "放棄載入。", {});
        row("load failed", "load", 10, 2, "on COM1", "載入失敗。", {});
        row("express cancelled", "express", 10, 1, "on COM1", "Find Programmer on COM1", {});
        row("load, no programmer", "load", 10, 0, "absent",
            "燒錄器沒有連線，資料沒有送出，請執行 ComPort check。", {});
        // The system takes the image at once; its 4099 bytes are on the line for 4270 ms.
        row("load, unplugged on the line", "load", 4096, 0, "unplugged at 3 s",
            "燒錄器已移除，請重新接上後執行 ComPort check。",
            QByteArray("L\x10\x00", 3) + QByteArray(4096, '\xFF'));
        row("save cancelled", "save", 10, 1, "on COM1", "放棄儲存。", {});
        row("save failed", "save", 10, 2, "on COM1", "儲存失敗。", {});
        row("save, short block", "save", 10, 0, "on COM1",
            "燒錄器只傳回 100 位元組（應為 2048 位元組），沒有寫入檔案。", "S2");
        row("save, a byte too many", "save", 10, 0, "2049 bytes for S2",
            "燒錄器傳回的資料多於 2048 位元組，無法確定內容，沒有寫入檔案。", "S2");
        row("save, unplugged", "save", 10, 0, "unplugged after S2",
            "燒錄器已移除，請重新接上後執行 ComPort check。", "S2");
        // Another's read-back is not the workbench's: no notice, no file.
        row("another's read-back", "block", 10, 0, "on COM1", "Find Programmer on COM1", "S2");
        row("dump 2000", "dump 2000", 10, 0, "on COM1",
            "你所輸入的是無效的起始位置，請輸入四位數十六進位碼。", {});
    }
    void outcomes()
    {
        const auto [request, size, dialog, programmer, status, sent] =
            Table<QString, int, int, QString, QString, QByteArray>::fetch();
        Bench b;
        const QString image = b.path("image.tsk");
        if (size >= 0)
            writeFile(image, QByteArray(size, '\xFF'));
        if (dialog == 3)
            writeFile(b.dir.filePath("tsk.log"), image.toLocal8Bit());
        if (programmer == "absent") {
            b.bench.start(b.dir.path());
            b.clock.advance(6000); // the search has given up
        } else {
            QVERIFY(b.start());
        }
        b.line.answer(1, "S2", QByteArray(programmer == "2049 bytes for S2" ? 2049 : 100, '\x11'));
        if (programmer.startsWith("unplugged")) // "S2" goes out at 30 ms
            b.clock.callAfter(programmer.endsWith("S2") ? 40 : 3000, [&] { b.line.unplug(); });
        if (dialog < 3)
            dialog == 0   ? b.dialogs.choose(image)
            : dialog == 1 ? b.dialogs.cancel()
                          : b.dialogs.fail();
        b.dialogs.reply(DialogBackend::Yes);
        const QByteArray before = b.line.line();
        if (request == "save")
            QVERIFY(b.bench.save(2048));
        else
            request == "load"      ? b.bench.load()
            : request == "express" ? b.bench.express()
            : request == "block"   ? void(b.bench.session().readBlock(2048))
                                   : b.bench.dump(request.mid(5));
        ADVANCE_UNTIL(b, !b.bench.session().isBusy(), 20000);
        b.clock.advance(100);
        QCOMPARE(b.status(), status.contains("%1") ? status.arg(image) : status);
        QCOMPARE(b.line.line().mid(before.size()), sent);
        QCOMPARE(readFile(image), size < 0 ? QByteArray("<unreadable>") : QByteArray(size, '\xFF'));
    }

    void refusedWhileTheLineIsTaken()
    {
        Bench b;
        const QString image = b.path("a.tsk");
        b.bench.start(b.dir.path());
        b.clock.advance(450); // probing COM1
        b.bench.load();
        QCOMPARE(b.status(), QStringLiteral("正在尋找燒錄器，請等 ComPort check 完成後再執行。"));
        QVERIFY(!b.bench.offerSave() && b.dialogs.asked.isEmpty());
        // The size window holds nothing; a save holds the port from the size chosen on.
        QVERIFY(b.start() && b.bench.offerSave());
        b.line.answer(1, "S2", QByteArray(2048, '\x22'));
        b.dialogs.choose(image);
        b.dialogs.whileAsking = [&] {
            b.bench.fill("A5");
            b.bench.load();
        };
        const QByteArray latest = readFile(b.dir.filePath("tsk.log")); // Save leaves it
        QVERIFY(b.bench.save(2048));
        b.clock.advance(15); // in the quiet wait before "S2"
        b.bench.command("c");
        b.bench.search();
        ADVANCE_UNTIL(b, !b.bench.session().isBusy(), 10000);
        QCOMPARE(b.line.line(), QByteArray("ii!S2"));
        QCOMPARE(b.shown.count(QStringLiteral("資料傳輸中，請等傳輸完成後再執行。")), 4);
        QCOMPARE(b.dialogs.asked.size(), 1);
        QCOMPARE(readFile(image), QByteArray(2048, '\x22'));
        QCOMPARE(readFile(b.dir.filePath("tsk.log")), latest);
    }
    void replacesFileInReadOnlyFolder()
    {
        // The new block goes beside the old file and replaces it whole; where the folder may not
        // be written, into the file itself; a read-only file stays.
        for (const int mode : {0644, 0444}) {
            QTemporaryDir dir;
            const QString path = writeFile(dir.filePath("old.tsk"), "old");
            ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
            ::chmod(QFile::encodeName(dir.path()).constData(), 0555);
            FileError why;
            bool written = false;
            {
                OrdinaryPermissions ordinary;
                QVERIFY(ordinary.ok);
                written = ImageFile::writeWholeFile(path, "new block", &why);
            }
            ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
            QCOMPARE(written, mode == 0644);
            QCOMPARE(why.chinese(), mode == 0644 ? QString() : QStringLiteral("沒有存取權限"));
            QCOMPARE(readFile(path), mode == 0644 ? QByteArray("new block") : QByteArray("old"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.tsk"});
        }
    }

    // Files as they come. Load and Express read a file by its content, whatever its name:
    // Intel HEX as the image it describes (from address 0, gaps FF), anything else byte for
    // byte. A file that cannot be sent whole, read or written is refused with its cause (the
    // system's in words), the path as written, and nothing goes out.
    void filesAsTheyCome_data()
    {
        // file: image.tsk's bytes, or what stands at its path; status: %1 for the path.
        const Table<QString, QByteArray, QString, QByteArray> table;
        const auto row = [&](const char *request, const char *tag, const QByteArray &file,
                             const QString &status, const QByteArray &sent = QByteArray()) {
            table(qPrintable(QString("%1, %2").arg(request, tag)), request, file, status, sent);
        };
        const QByteArray eof(":00000001FF\n");
        const QByteArray code(":0300000002000AF1\r\n:01001000559A\r\n"); // 02 00 0A, 55 at 10
        const QByteArray image = QByteArray("\x02\x00\x0A", 3) + QByteArray(13, '\xFF') + "\x55";
        row("load", "HEX", code + eof, "Load completed", QByteArray("L\x00\x11", 3) + image);
        row("express", "HEX", code + eof, "Load completed... ( Checksum = D54 )",
            QByteArray("Q\x00\x11", 3) + image);
        // Raw images that begin with ':' as a HEX file does.
        const QByteArray colonCode(":\x10\x00\x02\x00\x0A\x75\x81\x07", 9);
        row("load", "raw, ':' and code", colonCode, "Load completed",
            QByteArray("L\x00\x09", 3) + colonCode);
        row("express", "raw, short first record", ":0300\n" + code,
            "Load completed... ( Checksum = 73C )", QByteArray("Q\x00\x28", 3) + ":0300\n" + code);
        row("load", "HEX, error on line 7",
            ":0100000001FE\n:0100010002FC\n:0100020003FA\n:0100030004F8\n:0100040005F6\n"
            ":0100050006F4\n:0100060007F3\n" +
                eof,
            "Intel HEX 檔 %1 第 7 行有錯誤，檔案沒有送出。");
        row("express", "HEX, no data", eof, "Intel HEX 檔 %1 沒有任何資料，檔案沒有送出。");
        row("load", "HEX, no end", code, "Intel HEX 檔 %1 沒有結束記錄，檔案不完整，沒有送出。");
        row("load", "HEX of 5000 bytes", ":0113870078ED\n" + eof,
            "Intel HEX 檔 %1 的資料長達 5000 位元組，超過燒錄器緩衝區的 4999 "
            "位元組，檔案沒有送出。");
        row("load", "raw, 4999 bytes", QByteArray(4999, 'x'), "Load completed",
            "L\x13\x87" + QByteArray(4999, 'x'));
        row("express", "raw, 4999 bytes", QByteArray(4999, 'x'),
            "Load completed... ( Checksum = 2748 )", "Q\x13\x87" + QByteArray(4999, 'x'));
        row("load", "HEX of 4999 bytes", ":0113860078EE\n" + eof, "Load completed",
            "L\x13\x87" + QByteArray(4998, '\xFF') + "x");
        const QString unread = "無法讀取 %1（%2），檔案沒有送出。";
        row("express", "folder", "<folder>", unread.arg("%1", "這是資料夾，不是檔案"));
        row("express", "no access", "<no access>", unread.arg("%1", "沒有存取權限"));
        row("express", "under a file", "<under a file>",
            unread.arg("%1", "路徑中有一層不是資料夾"));
        const QString unwritten = "無法寫入 %1（%2），原來的檔案沒有改變。";
        row("save", "folder", "<folder>", unwritten.arg("%1", "這是資料夾，不是檔案"), "S2");
        row("save", "no access", "<no access>", unwritten.arg("%1", "沒有存取權限"), "S2");
        row("save", "missing folder", "<missing folder>", unwritten.arg("%1", "資料夾不存在"),
            "S2");
        row("save", "file size limit", "old", unwritten.arg("%1", "檔案太大"), "S2");
    }
    void filesAsTheyCome()
    {
        const auto [request, file, status, sent] =
            Table<QString, QByteArray, QString, QByteArray>::fetch();
        Bench b;
        const QString path = b.path(file == "<missing folder>" ? "gone/image.tsk"
                                    : file == "<under a file>" ? "file.tsk/image.tsk"
                                    : file == "<no access>"    ? "ro/image.tsk"
                                                               : "image.tsk");
        QVERIFY(QDir(b.dir.path()).mkdir(file == "<folder>" ? "image.tsk" : "ro"));
        if (file != "<folder>" && file != "<missing folder>")
            writeFile(file == "<under a file>" ? b.path("file.tsk") : path, file);
        if (file == "<no access>") { // a file not to be read in a folder not to be written
            ::chmod(QFile::encodeName(path).constData(), 0);
            ::chmod(QFile::encodeName(b.path("ro")).constData(), 0555);
        }
        QVERIFY(b.start());
        b.line.answer(1, "S2", QByteArray(2048, '\x11'));
        b.dialogs.choose(path);
        b.dialogs.reply(DialogBackend::Yes);
        const QByteArray before = b.line.line();
        {
            OrdinaryPermissions ordinary;
            std::optional<FileSizeLimit> limit;
            if (file == "old")
                limit.emplace(1000); // the block has 2048 bytes
            request == "save"   ? void(b.bench.save(2048))
            : request == "load" ? b.bench.load()
                                : b.bench.express();
            ADVANCE_UNTIL(b, ordinary.ok && !b.bench.session().isBusy(), 10000);
        }
        QCOMPARE(b.status(), status.contains("%1") ? status.arg(path) : status);
        QCOMPARE(b.line.line().mid(before.size()), sent);
        QCOMPARE(b.dialogs.asked.last().filter,
                 request == "save" ? "TSK二進位檔 (*.tsk)|*.tsk"
                                   : "TSK二進位檔 (*.tsk)|*.tsk|Intel HEX檔 (*.hex *.ihx "
                                     "*.ihex)|*.hex;*.ihx;*.ihex");
        if (file == "old") // the old file whole, and nothing beside it
            QCOMPARE(QDir(b.dir.path()).entryList(QDir::Files).join(' ') + ": " + readFile(path),
                     "chip.log image.tsk tsk.log: old");
    }
};

QTEST_GUILESS_MAIN(TstWorkbench)
#include "tst_workbench.moc"
