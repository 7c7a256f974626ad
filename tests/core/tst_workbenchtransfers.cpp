#include "bench.h"

// The workbench's Load, Express and Save: the file dialogs, the files and the bytes.
class TstWorkbenchTransfers : public QObject
{
    Q_OBJECT
private slots:
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

void TstWorkbenchTransfers::loadAsksUntilAFileExists()
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

void TstWorkbenchTransfers::expressSendsTheRememberedFile()
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

void TstWorkbenchTransfers::imagesRefused_data()
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

void TstWorkbenchTransfers::imagesRefused()
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

void TstWorkbenchTransfers::saveWritesTheBlock_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("replace");
    QTest::newRow("1K") << 1024 << false;
    QTest::newRow("2K, replacing after a No") << 2048 << true;
    QTest::newRow("4K") << 4096 << false;
}

void TstWorkbenchTransfers::saveWritesTheBlock()
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

void TstWorkbenchTransfers::failedSaveLeavesTheOldFile_data()
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

void TstWorkbenchTransfers::failedSaveLeavesTheOldFile()
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

void TstWorkbenchTransfers::saveHoldsThePortFromTheSizeChoice()
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

void TstWorkbenchTransfers::transfersRefusedWhileTheLineIsTaken()
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

QTEST_GUILESS_MAIN(TstWorkbenchTransfers)
#include "tst_workbenchtransfers.moc"
