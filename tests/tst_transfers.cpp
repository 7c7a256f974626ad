#include "core/messages.h"
#include "harness.h"

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

// Load ("L") and Express ("Q") through the real window, against the emulator: the exact
// bytes on the line, the texts shown, the latest-file label and tsk.log.
class TstTransfers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void loadSendsLengthAndImage_data();
    void loadSendsLengthAndImage();
    void refusedFilesSendNothing_data();
    void refusedFilesSendNothing();
    void loadMissingNameAsksAgain_data();
    void loadMissingNameAsksAgain();
    void loadDialogFailure();
    void fillQueuedBeforeLoadGoesOutFirst();

    void expressSendsRememberedFile_data();
    void expressSendsRememberedFile();
    void expressDialogChoosesAndRemembersFile();
    void expressDialogCancelledSendsNothing();
    void expressUsesFileFromTskLogAtOnce();

    void blinkLoadedErasedProgrammedVerified();
    void commandsRefusedDuringPacedLoad();
    void unplugDuringPacedLoadThenCheckAgain();
    void transfersRefusedWhileSearching_data();
    void transfersRefusedWhileSearching();
    void completionTextsStayExact_data();
    void completionTextsStayExact();
    void pathsShownAsWritten_data();
    void pathsShownAsWritten();

private:
    QString writeImage(const QString &name, const QByteArray &bytes);
    void activate(WindowHarness &w, const QString &via);
    QString label3(WindowHarness &w) { return w.find<QLabel>("Label3")->text(); }

    QTemporaryDir m_files;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
    QStringList m_text2; // every text the shared window's Text2 took in the current test
};

namespace
{

QByteArray header(char letter, int size)
{
    QByteArray bytes(1, letter);
    bytes.append(static_cast<char>(size / 256));
    bytes.append(static_cast<char>(size % 256));
    return bytes;
}

quint16 byteSum(const QByteArray &bytes)
{
    quint32 sum = 0;
    for (char b : bytes)
        sum += static_cast<quint8>(b);
    return static_cast<quint16>(sum & 0xFFFF);
}

// A path of a regular file that exists but cannot be read, even by root: reading the
// process's own memory at address 0 fails.
const QString UnreadableFile = QStringLiteral("/proc/self/mem");

} // namespace

void TstTransfers::initTestCase()
{
    QVERIFY(m_files.isValid());
    sim = std::make_unique<SimProcess>();
    QVERIFY(connectWindow(*sim, h));
    connect(h->find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [this](const QString &t) { m_text2 << t; });
}

void TstTransfers::init()
{
    h->startAfresh(*sim);
    m_text2.clear();
}

QString TstTransfers::writeImage(const QString &name, const QByteArray &bytes)
{
    return writeFile(m_files.filePath(name), bytes);
}

void TstTransfers::activate(WindowHarness &w, const QString &via)
{
    if (via.startsWith(QLatin1String("Command")))
        w.find<QPushButton>(qPrintable(via))->click();
    else if (via == QLatin1String("Ctrl+P"))
        QTest::keyClick(w.window.get(), Qt::Key_P, Qt::ControlModifier);
    else
        w.find<QAction>(qPrintable(via))->trigger();
}

// Load ---------------------------------------------------------------------------------

void TstTransfers::loadSendsLengthAndImage_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("lengthBytes");
    QTest::addColumn<QString>("via");
    QTest::newRow("2048 by menu") << 2048 << QByteArray::fromHex("0800")
                                  << QStringLiteral("muFileLoad");
    QTest::newRow("2048 by Command1")
        << 2048 << QByteArray::fromHex("0800") << QStringLiteral("Command1");
    QTest::newRow("300") << 300 << QByteArray::fromHex("012C") << QStringLiteral("muFileLoad");
    QTest::newRow("empty") << 0 << QByteArray::fromHex("0000") << QStringLiteral("Command1");
    QTest::newRow("4999") << 4999 << QByteArray::fromHex("1387") << QStringLiteral("muFileLoad");
}

void TstTransfers::loadSendsLengthAndImage()
{
    QFETCH(int, size);
    QFETCH(QByteArray, lengthBytes);
    QFETCH(QString, via);
    Programmer &p = h->p();
    const QByteArray image = pattern(size, static_cast<quint32>(size));
    const QString path = writeImage(QStringLiteral("load%1.tsk").arg(size), image);
    h->dialogs->chooseFile(path);

    activate(*h, via);

    const QString progress = QStringLiteral("Loading  ") + path + QStringLiteral("   (") +
                             QStringLiteral(" ") + QString::number(size) +
                             QStringLiteral(" Bytes)...");
    QCOMPARE(Msg::progress(path, size), progress);
    QCOMPARE(m_text2, QStringList({progress, Msg::loadCompleted()}));
    QCOMPARE(h->text(2), QStringLiteral("Load completed"));
    QCOMPARE(label3(*h), QStringLiteral("Latest File at ") + path);
    QCOMPARE(h->readSetting(QStringLiteral("tsk.log")), path.toLocal8Bit());
    QCOMPARE(p.LatestFile, path);
    QCOMPARE(h->dialogs->fileCalls.size(), 1);
    const ScriptedDialogs::FileCall call = h->dialogs->fileCalls.at(0);
    QCOMPARE(call.kind, DialogBackend::Kind::Open);
    QCOMPARE(call.title, QStringLiteral("開啟"));
    QCOMPARE(call.filter, QStringLiteral("TSK二進位檔 (*.tsk)|*.tsk"));
    QVERIFY(h->dialogs->boxCalls.isEmpty());
    QVERIFY(p.Timer1.Enabled());
    QVERIFY(!p.transferActive);
    QCOMPARE(int(p.TxCount), size + 2);
    QCOMPARE(p.TxIndex, size + 2);
    if (size == 4999) // the last byte staged sits at the buffer's last index
        QCOMPARE(p.TxBuffer[5000], static_cast<quint8>(image.at(4998)));

    // The programmer took exactly the announced count, and the poller shows its answer.
    QTRY_VERIFY(p.RxText.contains(QStringLiteral("Load OK, %1 bytes\r\n").arg(size)));
    QTRY_VERIFY(h->text(1).contains(QStringLiteral("Load OK, %1 bytes").arg(size)));
    QCOMPARE(h->fence(*sim), QByteArray("L") + lengthBytes + image + "c");
}

// Load (a file chosen in the dialog) and Express (the remembered file) refuse a file too
// large, unreadable or gone, and send nothing while the port is closed.
void TstTransfers::refusedFilesSendNothing_data()
{
    QTest::addColumn<QString>("via");
    QTest::addColumn<int>("size"); // -1: unreadable, -2: removed before the command
    QTest::addColumn<bool>("closed");
    QTest::newRow("load 5000") << "muFileLoad" << 5000 << false;
    QTest::newRow("load 40000") << "muFileLoad" << 40000 << false;
    QTest::newRow("load unreadable") << "Command1" << -1 << false;
    QTest::newRow("load, port closed") << "Command1" << 300 << true;
    QTest::newRow("express 5000") << "muIcExp" << 5000 << false;
    QTest::newRow("express unreadable") << "muIcExp" << -1 << false;
    QTest::newRow("express, file gone") << "Command4" << -2 << false;
    QTest::newRow("express, port closed") << "Command4" << 256 << true;
}

void TstTransfers::refusedFilesSendNothing()
{
    QFETCH(QString, via);
    QFETCH(int, size);
    QFETCH(bool, closed);
    Programmer &p = h->p();
    const bool express = via != QLatin1String("muFileLoad") && via != QLatin1String("Command1");
    QString path = UnreadableFile;
    if (size != -1)
        path = writeImage(QString("refused%1.tsk").arg(size), pattern(qMax(size, 100), 7));
    if (size == -2)
        QVERIFY(QFile::remove(path));
    if (express)
        p.LatestFile = path;
    else
        h->dialogs->chooseFile(path);
    if (closed)
        p.MSComm1.setPortOpen(false);

    activate(*h, via);

    QCOMPARE(m_text2.size(), 1);
    if (size == -1) {
        QVERIFY2(matchesWithReason(h->text(2), Msg::unreadable(path, QStringLiteral("\1"))),
                 qPrintable(h->text(2)));
    } else {
        const QString expected = closed     ? Msg::notConnected()
                                 : size > 0 ? Msg::tooLarge(path, size)
                                            : Msg::missing(path);
        QCOMPARE(m_text2, QStringList({expected}));
        QCOMPARE(label3(*h), Msg::latestFile(path));
    }
    if (closed)
        QCOMPARE(h->text(2),
                 QStringLiteral("燒錄器沒有連線，資料沒有送出，請執行 ComPort check。"));
    if (express)
        QVERIFY(h->dialogs->fileCalls.isEmpty());
    if (size == -2)
        QVERIFY(!QFileInfo::exists(path)); // no empty file was made in its place
    QVERIFY(p.Timer1.Enabled());
    QVERIFY(!p.transferActive);
    if (closed)
        QVERIFY(p.MSComm1.setPortOpen(true));
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

void TstTransfers::loadMissingNameAsksAgain_data()
{
    QTest::addColumn<QString>("via");
    QTest::newRow("menu") << QStringLiteral("muFileLoad");
    QTest::newRow("Command1") << QStringLiteral("Command1");
}

void TstTransfers::loadMissingNameAsksAgain()
{
    QFETCH(QString, via);
    const QString missing = m_files.filePath(QStringLiteral("nosuch.tsk"));
    const QString labelBefore = label3(*h);
    const QByteArray tskBefore = h->readSetting(QStringLiteral("tsk.log"));
    h->dialogs->chooseFile(missing);
    h->dialogs->answerBox(1);
    h->dialogs->cancelFile();

    activate(*h, via);

    QCOMPARE(h->dialogs->boxCalls.size(), 1);
    QCOMPARE(h->dialogs->boxCalls.at(0).text,
             QStringLiteral("找不到") + missing + QStringLiteral("這個檔案，請重新輸入。"));
    QCOMPARE(h->dialogs->boxCalls.at(0).text, Msg::notFoundText(missing));
    QCOMPARE(h->dialogs->boxCalls.at(0).style, 48);
    QCOMPARE(h->dialogs->boxCalls.at(0).title, QStringLiteral("找不到檔案"));
    QCOMPARE(h->dialogs->fileCalls.size(), 2);
    QCOMPARE(h->dialogs->fileCalls.at(1).kind, DialogBackend::Kind::Open);
    QCOMPARE(h->dialogs->fileCalls.at(1).title, QStringLiteral("開啟"));
    QCOMPARE(h->dialogs->fileCalls.at(1).offered, missing);
    QCOMPARE(m_text2, QStringList({Msg::loadCancelled()}));
    QCOMPARE(h->text(2), QStringLiteral("放棄載入。"));
    QCOMPARE(label3(*h), labelBefore);
    QCOMPARE(h->readSetting(QStringLiteral("tsk.log")), tskBefore);
    QVERIFY(!QFileInfo::exists(missing));
    QVERIFY(!h->p().transferActive);
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

void TstTransfers::loadDialogFailure()
{
    h->dialogs->failFile();
    activate(*h, QStringLiteral("muFileLoad"));
    QCOMPARE(m_text2, QStringList({Msg::loadFailed()}));
    QCOMPARE(h->text(2), QStringLiteral("載入失敗。"));
    QCOMPARE(h->dialogs->fileCalls.size(), 1);
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

void TstTransfers::fillQueuedBeforeLoadGoesOutFirst()
{
    // A fill request still in the pump's queue goes out whole before the "L".
    const QByteArray image = pattern(64, 5);
    const QString path = writeImage(QStringLiteral("afterfill.tsk"), image);
    h->p().setText(3, QStringLiteral("A5"));
    h->find<QPushButton>("Command6")->click();
    QVERIFY(h->p().Timer2.Enabled());
    h->dialogs->chooseFile(path);
    activate(*h, QStringLiteral("muFileLoad"));
    QCOMPARE(h->text(2), Msg::loadCompleted());
    QCOMPARE(h->fence(*sim), QByteArray::fromHex("46A5") + header('L', 64) + image + "c");
    h->p().setText(3, QStringLiteral("FF"));
}

// Express ------------------------------------------------------------------------------

void TstTransfers::expressSendsRememberedFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("lengthBytes");
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("checksumText");
    QTest::newRow("4096 x FF by Command4")
        << 4096 << QByteArray::fromHex("1000") << QStringLiteral("Command4")
        << QStringLiteral("Load completed... ( Checksum = F000 )");
    QTest::newRow("2048 x FF by menu")
        << 2048 << QByteArray::fromHex("0800") << QStringLiteral("muIcExp")
        << QStringLiteral("Load completed... ( Checksum = F800 )");
    QTest::newRow("1024 x FF by Ctrl+P")
        << 1024 << QByteArray::fromHex("0400") << QStringLiteral("Ctrl+P")
        << QStringLiteral("Load completed... ( Checksum = FC00 )");
    QTest::newRow("empty") << 0 << QByteArray::fromHex("0000") << QStringLiteral("Command4")
                           << QStringLiteral("Load completed... ( Checksum = 0 )");
}

void TstTransfers::expressSendsRememberedFile()
{
    QFETCH(int, size);
    QFETCH(QByteArray, lengthBytes);
    QFETCH(QString, via);
    QFETCH(QString, checksumText);
    Programmer &p = h->p();
    const QByteArray image(size, '\xFF');
    const QString path = writeImage(QStringLiteral("ff%1.tsk").arg(size), image);
    p.LatestFile = path; // remembered: Express asks nothing
    const QByteArray tskBefore = h->readSetting(QStringLiteral("tsk.log"));
    if (via == QLatin1String("Ctrl+P")) {
        h->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
    }

    activate(*h, via);

    QCOMPARE(m_text2, QStringList({Msg::progress(path, size), checksumText}));
    QCOMPARE(Msg::expressCompleted(byteSum(image)), checksumText);
    QVERIFY(h->dialogs->fileCalls.isEmpty());
    QCOMPARE(label3(*h), Msg::latestFile(path));
    QCOMPARE(h->readSetting(QStringLiteral("tsk.log")), tskBefore);
    QVERIFY(p.Timer1.Enabled());
    QVERIFY(!p.transferActive);
    QTRY_VERIFY(p.RxText.contains(QStringLiteral("Load OK, %1 bytes\r\n").arg(size)));
    QCOMPARE(h->fence(*sim), QByteArray("Q") + lengthBytes + image + "c");
}

void TstTransfers::expressDialogChoosesAndRemembersFile()
{
    Programmer &p = h->p();
    const QByteArray image = pattern(700, 11);
    const QString path = writeImage(QStringLiteral("chosen.tsk"), image);
    p.LatestFile.clear();
    h->dialogs->chooseFile(path);
    activate(*h, QStringLiteral("muIcExp"));
    QCOMPARE(h->dialogs->fileCalls.size(), 1);
    QCOMPARE(h->dialogs->fileCalls.at(0).kind, DialogBackend::Kind::Open);
    QCOMPARE(h->dialogs->fileCalls.at(0).filter, QStringLiteral("TSK二進位檔 (*.tsk)|*.tsk"));
    QCOMPARE(h->readSetting(QStringLiteral("tsk.log")), path.toLocal8Bit());
    QCOMPARE(m_text2,
             QStringList({Msg::progress(path, 700), Msg::expressCompleted(byteSum(image))}));
    QCOMPARE(label3(*h), Msg::latestFile(path));
    QCOMPARE(h->fence(*sim), header('Q', 700) + image + "c");
}

void TstTransfers::expressDialogCancelledSendsNothing()
{
    Programmer &p = h->p();
    p.LatestFile.clear();
    p.setText(2, QStringLiteral("before"));
    m_text2.clear();
    h->dialogs->cancelFile();
    activate(*h, QStringLiteral("Command4"));
    QCOMPARE(h->dialogs->fileCalls.size(), 1);
    QVERIFY(m_text2.isEmpty());
    QCOMPARE(h->text(2), QStringLiteral("before"));
    QCOMPARE(label3(*h), QStringLiteral("No latest file !"));
    QVERIFY(p.LatestFile.isEmpty());
    QVERIFY(p.Timer1.Enabled());
    QVERIFY(!p.transferActive);
    QCOMPARE(h->fence(*sim), QByteArray("c"));
}

void TstTransfers::expressUsesFileFromTskLogAtOnce()
{
    const QByteArray image = pattern(1500, 21);
    const QString path = writeImage(QStringLiteral("remembered.tsk"), image);
    SimProcess other;
    QVERIFY(other.start());
    WindowHarness w(PortMap::fromDevices({other.device()}));
    w.writeSetting(QStringLiteral("tsk.log"), path.toLocal8Bit());
    w.load();
    QCOMPARE(label3(w), Msg::latestFile(path));
    QVERIFY(w.settled());
    QCOMPARE(w.fence(other), QByteArray("ii!c"));

    activate(w, QStringLiteral("Command4"));

    QVERIFY(w.dialogs->fileCalls.isEmpty());
    QCOMPARE(w.text(2), Msg::expressCompleted(byteSum(image)));
    QCOMPARE(w.readSetting(QStringLiteral("tsk.log")), path.toLocal8Bit());
    QCOMPARE(w.fence(other), header('Q', 1500) + image + "c");
}

// End to end, paced and removal --------------------------------------------------------

void TstTransfers::blinkLoadedErasedProgrammedVerified()
{
    Programmer &p = h->p();
    const QString path =
        QDir(QStringLiteral(VANTOR_TEST_DATA)).filePath(QStringLiteral("blink.tsk"));
    const QByteArray image = readFile(path);
    QCOMPARE(image.size(), 2048);
    h->dialogs->chooseFile(path);
    activate(*h, QStringLiteral("muFileLoad"));
    QCOMPARE(h->text(2), Msg::loadCompleted());
    QTRY_VERIFY(p.RxText.contains(QLatin1String("Load OK, 2048 bytes")));

    const struct {
        const char *item;
        const char *reply;
    } steps[] = {{"muIcErase", "Erase OK"}, {"muIcProg", "Program OK"}, {"muIcVer", "Verify OK"}};
    for (const auto &step : steps) {
        h->find<QAction>(step.item)->trigger();
        QTRY_VERIFY2(p.RxText.contains(QLatin1String(step.reply)), step.item);
    }
    QTRY_VERIFY(h->text(1).contains(QLatin1String("Verify OK")));
    QCOMPARE(sim->stateField(QStringLiteral("flash_sum")),
             QStringLiteral("%1").arg(byteSum(image), 4, 16, QLatin1Char('0')).toUpper());
    QCOMPARE(sim->control(QStringLiteral("flash 0 16")),
             QString::fromLatin1(image.left(16).toHex(' ').toUpper()));
    QCOMPARE(h->fence(*sim), header('L', 2048) + image + QByteArray("EPV") + "c");
}

void TstTransfers::commandsRefusedDuringPacedLoad()
{
    SimProcess paced({QStringLiteral("--pace")});
    QVERIFY(paced.start());
    WindowHarness w(PortMap::fromDevices({paced.device()}));
    w.load();
    QVERIFY(w.settled());
    QCOMPARE(w.fence(paced), QByteArray("ii!c"));
    Programmer &p = w.p();

    const QByteArray image = pattern(2048, 99);
    const QString path = writeImage(QStringLiteral("paced.tsk"), image);
    const QString progress = Msg::progress(path, 2048);

    // Each of these, clicked while the bytes go out, is refused with the busy message.
    struct Attempt {
        QString name;
        bool duringTransfer = false;
        QString shown;
    };
    QList<Attempt> attempts;
    for (const char *name :
         {"muIcSig", "Command2", "Command3", "Command9", "muProgClear", "muDiagFirm", "Option2",
          "Command6", "Command7", "muFileComm", "muFileLoad", "Command4", "muFileSave"})
        attempts << Attempt{QString::fromLatin1(name), false, QString()};
    bool scheduled = false;
    QStringList texts;
    connect(w.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this, [&](const QString &t) {
        texts << t;
        if (t != progress || scheduled)
            return;
        scheduled = true;
        QTimer::singleShot(0, this, [&] {
            for (Attempt &a : attempts) {
                a.duringTransfer = p.bytesMoving && p.TxIndex < p.TxCount;
                w.p().setText(2, progress);
                if (a.name.startsWith(QLatin1String("Option")))
                    w.find<QRadioButton>(qPrintable(a.name))->click();
                else
                    activate(w, a.name);
                a.shown = w.text(2);
            }
        });
    });
    w.dialogs->chooseFile(path);
    activate(w, QStringLiteral("muFileLoad"));

    QVERIFY(scheduled);
    for (const Attempt &a : attempts) {
        QVERIFY2(a.duringTransfer, qPrintable(a.name));
        QCOMPARE(a.shown, Msg::busy());
    }
    QCOMPARE(texts.first(), progress);
    QCOMPARE(texts.last(), Msg::loadCompleted());
    QCOMPARE(w.text(2), QStringLiteral("Load completed"));
    QCOMPARE(w.dialogs->fileCalls.size(), 1); // the second Load asked nothing
    QVERIFY(!w.window->form3() || !w.window->form3()->isVisible());
    QCOMPARE(w.window->selectedChipOption(), 1);
    QCOMPARE(w.readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
    QVERIFY(p.Timer1.Enabled());
    QVERIFY(!p.Timer2.Enabled());
    QVERIFY(!p.Timer3.Enabled());
    QVERIFY(p.MSComm1.PortOpen());
    QVERIFY(!p.transferActive);
    QCOMPARE(w.fence(paced), header('L', 2048) + image + "c");
}

void TstTransfers::unplugDuringPacedLoadThenCheckAgain()
{
    auto paced = std::make_unique<SimProcess>(QStringList{QStringLiteral("--pace")});
    QVERIFY(paced->start());
    WindowHarness w(PortMap::fromDevices({paced->device()}));
    w.load();
    QVERIFY(w.settled());
    Programmer &p = w.p();

    const QByteArray image = pattern(2048, 77);
    const QString path = writeImage(QStringLiteral("unplugged.tsk"), image);
    const QString progress = Msg::progress(path, 2048);
    QStringList texts;
    int unpluggedAt = -1;
    connect(w.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this, [&](const QString &t) {
        texts << t;
        if (t == progress && unpluggedAt < 0) {
            unpluggedAt = 0;
            QTimer::singleShot(0, this, [&] {
                unpluggedAt = p.TxIndex;
                paced->control(QStringLiteral("unplug"));
            });
        }
    });
    w.dialogs->chooseFile(path);
    activate(w, QStringLiteral("Command1"));

    QVERIFY2(unpluggedAt > 0 && unpluggedAt < 2050, qPrintable(QString::number(unpluggedAt)));
    QCOMPARE(w.text(2), QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。"));
    QCOMPARE(texts.first(), progress);
    QVERIFY(!texts.contains(Msg::loadCompleted()));
    QVERIFY(p.Timer1.Enabled());
    QVERIFY(!p.MSComm1.PortOpen());
    QVERIFY(!p.transferActive);
    QVERIFY(!p.bytesMoving);
    QCOMPARE(label3(w), Msg::latestFile(path));
    QVERIFY(paced->received().size() < 3 + 2048);
    paced.reset();

    // The programmer comes back on another device: a ComPort check finds it and Express
    // sends the latest file again.
    SimProcess back;
    QVERIFY(back.start());
    p.MSComm1.setPortMap(PortMap::fromDevices({back.device()}));
    p.discovery.muFileComm_Click();
    QVERIFY(w.settled());
    QVERIFY(p.Timer1.Enabled());
    QCOMPARE(w.fence(back), QByteArray("iic"));
    activate(w, QStringLiteral("Command4"));
    QCOMPARE(w.text(2), Msg::expressCompleted(byteSum(image)));
    QCOMPARE(w.fence(back), header('Q', 2048) + image + "c");
}

void TstTransfers::transfersRefusedWhileSearching_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("load") << "muFileLoad";
    QTest::newRow("express") << "muIcExp";
    QTest::newRow("save") << "muFileSave";
}

void TstTransfers::transfersRefusedWhileSearching()
{
    // While COM1 is probed its device may be anything: no transfer goes to it.
    QFETCH(QString, action);
    SimProcess other({QStringLiteral("--silent")});
    SimProcess programmer;
    QVERIFY(other.start());
    QVERIFY(programmer.start());
    WindowHarness w(PortMap::fromDevices({other.device(), programmer.device()}));
    const QString image = writeFile(w.path(QStringLiteral("x.tsk")), QByteArray(100, 'x'));
    w.p().LatestFile = image;
    bool clicked = false;
    QString shown;
    connect(&w.p().Timer4, &VbTimer::Timer, this, [&] {
        if (clicked || w.p().ProbePort != 1)
            return;
        clicked = true;
        w.dialogs->chooseFile(image);
        w.find<QAction>(action.toLatin1().constData())->trigger();
        shown = w.text(2);
    });
    w.load();
    QTRY_COMPARE_WITH_TIMEOUT(w.window->selectedChipOption(), 1, 5000);
    QVERIFY(clicked);
    QCOMPARE(shown, Msg::searching());
    QVERIFY(w.dialogs->fileCalls.isEmpty());
    QVERIFY(!w.window->form3Visible());
    QCOMPARE(other.received(), QByteArray("i"));
    QVERIFY(programmer.waitReceived(3));
    QCOMPARE(programmer.received(), QByteArray("ii!"));
}

void TstTransfers::completionTextsStayExact_data()
{
    QTest::addColumn<QString>("refused"); // the settings file that cannot be written
    QTest::addColumn<bool>("express");
    QTest::newRow("load after a chip choice not remembered") << "chip.log" << false;
    QTest::newRow("express after a chip choice not remembered") << "chip.log" << true;
    QTest::newRow("load whose file is not remembered") << "tsk.log" << false;
    QTest::newRow("express whose file is not remembered") << "tsk.log" << true;
}

void TstTransfers::completionTextsStayExact()
{
    // A settings file that cannot be written is reported when it happens; the texts that
    // end Load and Express stay exactly as they are.
    QFETCH(QString, refused);
    QFETCH(bool, express);
    SimProcess other;
    QVERIFY(other.start());
    WindowHarness w(PortMap::fromDevices({other.device()}));
    w.load();
    QVERIFY(w.settled());
    QCOMPARE(w.fence(other), QByteArray("ii!c"));
    const QString refusedPath = w.path(refused);
    QVERIFY(QFile::remove(refusedPath) && QDir().mkpath(refusedPath));
    const QByteArray image(16, '\x10');
    const QString path = writeImage(QStringLiteral("sixteen.tsk"), image);
    QStringList texts;
    connect(w.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [&](const QString &t) { texts << t; });

    QByteArray line;
    if (refused == QLatin1String("chip.log")) {
        w.find<QRadioButton>("Option2")->click();
        line = "@";
    }
    if (express && refused == QLatin1String("chip.log"))
        w.p().LatestFile = path;
    else
        w.dialogs->chooseFile(path);
    activate(w, express ? QStringLiteral("Command4") : QStringLiteral("Command1"));

    const QString done = express ? QStringLiteral("Load completed... ( Checksum = 100 )")
                                 : QStringLiteral("Load completed");
    QCOMPARE(texts.size(), 3);
    const QString notWritten = QStringLiteral("無法寫入設定檔 ") + refusedPath +
                               QStringLiteral("（\1），這次的選擇將不會被記住。");
    QVERIFY2(matchesWithReason(texts.at(0), notWritten), qPrintable(texts.at(0)));
    QCOMPARE(texts.mid(1),
             QStringList(
                 {QStringLiteral("Loading  ") + path + QStringLiteral("   ( 16 Bytes)..."), done}));
    QCOMPARE(w.text(2), done);
    QCOMPARE(w.fence(other), line + header(express ? 'Q' : 'L', 16) + image + "c");
}

void TstTransfers::pathsShownAsWritten_data()
{
    // shown: the final Text2, box: the one message box, "<path>" standing for the path,
    // "\1" for a reason from the system.
    QTest::addColumn<QString>("via");
    QTest::addColumn<int>("size"); // -1: unreadable, -2: no such file
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("box");
    QTest::newRow("too large")
        << "Command1" << 5000
        << "<path> 有 5000 位元組，超過燒錄器緩衝區的 4999 位元組，檔案沒有送出。"
        << "";
    QTest::newRow("loaded") << "Command1" << 10 << "Load completed"
                            << "";
    QTest::newRow("asked again") << "Command1" << -2 << "放棄載入。"
                                 << "找不到<path>這個檔案，請重新輸入。";
    QTest::newRow("gone") << "Command4" << -2 << "找不到<path>這個檔案，沒有送出任何資料。"
                          << "";
    QTest::newRow("unreadable") << "Command4" << -1 << "無法讀取 <path>（\1），檔案沒有送出。"
                                << "";
}

void TstTransfers::pathsShownAsWritten()
{
    // A path holding what looks like placeholders comes out as it is written.
    QFETCH(QString, via);
    QFETCH(int, size);
    QFETCH(QString, shown);
    QFETCH(QString, box);
    const QString path = m_files.filePath(QStringLiteral("odd %1 %2 %L1 name.tsk"));
    QFile::remove(path);
    if (size >= 0)
        writeFile(path, pattern(size, 3));
    if (size == -1)
        QVERIFY(QFile::link(UnreadableFile, path));
    const bool express = via == QLatin1String("Command4");
    if (express) {
        h->p().LatestFile = path;
    } else {
        h->dialogs->chooseFile(path);
        if (size == -2) {
            h->dialogs->answerBox(1);
            h->dialogs->cancelFile();
        }
    }

    activate(*h, via);

    shown.replace(QStringLiteral("<path>"), path);
    box.replace(QStringLiteral("<path>"), path);
    if (size == -1)
        QVERIFY2(matchesWithReason(h->text(2), shown), qPrintable(h->text(2)));
    else
        QCOMPARE(h->text(2), shown);
    if (size == 10)
        QCOMPARE(m_text2.first(),
                 QStringLiteral("Loading  ") + path + QStringLiteral("   ( 10 Bytes)..."));
    QCOMPARE(h->dialogs->boxCalls.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(h->dialogs->boxCalls.first().text, box);
    if (express || size >= 0)
        QCOMPARE(label3(*h), QStringLiteral("Latest File at ") + path);
    QFile::remove(path);
}

QTEST_MAIN(TstTransfers)
#include "tst_transfers.moc"
