#include "core/messages.h"
#include "harness.h"

#include <QDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Bad input wherever it can enter: settings files, image files, the hex boxes. Each gets
// the specified behaviour or a clear message, and nothing goes to the programmer that
// should not.
class TstBadInput : public QObject
{
    Q_OBJECT
private slots:
    void chipLogContent_data();
    void chipLogContent();
    void settingsFileNotRegularAtStartUp_data();
    void settingsFileNotRegularAtStartUp();
    void settingsFileNotRegularWhileRunning_data();
    void settingsFileNotRegularWhileRunning();
    void tskLogNamingDirectory();
    void nonAsciiImagePathRoundTrip();
    void imageThatIsNotAFile_data();
    void imageThatIsNotAFile();
    void hexBoxesWithAnyUnicode_data();
    void hexBoxesWithAnyUnicode();
};

namespace
{

// Opens the other end of a FIFO again and again from a thread of its own, so that a program
// that blocks opening the FIFO goes on (and then fails its checks) instead of hanging the
// test: a write end, opened and closed, releases a reader; a read end, kept, releases a
// writer. A program that never opens the FIFO does not notice it.
class FifoWatchdog
{
public:
    explicit FifoWatchdog(const QString &path) : m_path(QFile::encodeName(path))
    {
        m_thread = std::thread([this] { run(); });
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    FifoWatchdog(const FifoWatchdog &) = delete;
    FifoWatchdog &operator=(const FifoWatchdog &) = delete;

private:
    void run()
    {
        int reader = -1;
        std::unique_lock<std::mutex> lock(m_mutex);
        // Give the program the time to block for real first.
        auto pause = std::chrono::milliseconds(500);
        while (!m_wake.wait_for(lock, pause, [this] { return m_stop; })) {
            pause = std::chrono::milliseconds(100);
            if (reader < 0)
                reader = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
            const int writer = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        if (reader >= 0)
            ::close(reader);
    }

    QByteArray m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Puts what is not a regular file at path: a FIFO, or a link to the null device.
bool makeIrregular(const QString &path, const QString &kind)
{
    QFile::remove(path);
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    return QFile::link(QStringLiteral("/dev/null"), path);
}

QString readRefused(const QString &path)
{
    return QStringLiteral("無法讀取或建立設定檔 ") + path +
           QStringLiteral("（不是一般檔案），設定將不會被記住。");
}

QString writeRefused(const QString &path)
{
    return QStringLiteral("無法寫入設定檔 ") + path +
           QStringLiteral("（不是一般檔案），這次的選擇將不會被記住。");
}

} // namespace

void TstBadInput::chipLogContent_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray() << 1 << QByteArray("ii!");
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe\x01", 4) << 0 << QByteArray("ii");
    QTest::newRow("huge, first line 4051")
        << (QByteArray("4051\n") + QByteArray(8 << 20, 'x')) << 2 << QByteArray("ii@");
    QTest::newRow("huge single line") << QByteArray(8 << 20, '7') << 0 << QByteArray("ii");
    QTest::newRow("lower case") << QByteArray("1051u") << 0 << QByteArray("ii");
}

void TstBadInput::chipLogContent()
{
    QFETCH(QByteArray, content);
    QFETCH(int, option);
    QFETCH(QByteArray, line);
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    h.writeSetting(QStringLiteral("chip.log"), content);
    h.load();
    QVERIFY(h.settled());
    QCOMPARE(h.window->selectedChipOption(), option);
    QCOMPARE(h.fence(sim), line + "c");
}

void TstBadInput::settingsFileNotRegularAtStartUp_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("kind");
    QTest::newRow("tsk.log a FIFO") << "tsk.log"
                                    << "fifo";
    QTest::newRow("chip.log a FIFO") << "chip.log"
                                     << "fifo";
    QTest::newRow("tsk.log a link to a device") << "tsk.log"
                                                << "device";
    QTest::newRow("chip.log a link to a device") << "chip.log"
                                                 << "device";
}

void TstBadInput::settingsFileNotRegularAtStartUp()
{
    // The window opens, says that the file cannot be used, and finds the programmer; the
    // search's text repeats the message. chip.log is written again when the chip is chosen.
    QFETCH(QString, setting);
    QFETCH(QString, kind);
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString path = h.path(setting);
    QVERIFY(makeIrregular(path, kind));
    std::unique_ptr<FifoWatchdog> watchdog;
    if (kind == QLatin1String("fifo"))
        watchdog = std::make_unique<FifoWatchdog>(path);
    QStringList texts;
    connect(h.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [&](const QString &t) { texts << t; });

    h.load();

    QTRY_COMPARE_WITH_TIMEOUT(h.window->selectedChipOption(), 1, 5000);
    QTRY_VERIFY(!h.p().Timer4.Enabled());
    QCOMPARE(h.fence(sim), QByteArray("ii!c"));
    QStringList expected = {readRefused(path), QString(), QStringLiteral("Check COM1......"),
                            QStringLiteral("Find Programmer on COM1  ") + readRefused(path)};
    if (setting == QLatin1String("chip.log"))
        expected << writeRefused(path);
    QCOMPARE(texts, expected);
    QCOMPARE(h.find<QLabel>("Label3")->text(), QStringLiteral("No latest file !"));
    QVERIFY(QFileInfo::exists(path) && !QFileInfo(path).isFile());
}

void TstBadInput::settingsFileNotRegularWhileRunning_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("kind");
    QTest::newRow("chip.log a FIFO") << "chip.log"
                                     << "fifo";
    QTest::newRow("tsk.log a FIFO") << "tsk.log"
                                    << "fifo";
    QTest::newRow("chip.log a link to a device") << "chip.log"
                                                 << "device";
    QTest::newRow("tsk.log a link to a device") << "tsk.log"
                                                << "device";
}

void TstBadInput::settingsFileNotRegularWhileRunning()
{
    // A settings file replaced after start-up: the write is refused with a message, and the
    // chip choice or the load goes on.
    QFETCH(QString, setting);
    QFETCH(QString, kind);
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    h.load();
    QVERIFY(h.settled());
    QCOMPARE(h.fence(sim), QByteArray("ii!c"));
    const QString path = h.path(setting);
    QVERIFY(makeIrregular(path, kind));
    std::unique_ptr<FifoWatchdog> watchdog;
    if (kind == QLatin1String("fifo"))
        watchdog = std::make_unique<FifoWatchdog>(path);
    QStringList texts;
    connect(h.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [&](const QString &t) { texts << t; });

    if (setting == QLatin1String("chip.log")) {
        QTest::mouseClick(h.find<QRadioButton>("Option2"), Qt::LeftButton);
        QCOMPARE(texts, QStringList({writeRefused(path)}));
        QCOMPARE(h.window->selectedChipOption(), 2);
        QCOMPARE(h.fence(sim), QByteArray("@c"));
    } else {
        const QByteArray image("0123456789");
        const QString file = writeFile(h.path(QStringLiteral("ten.tsk")), image);
        h.dialogs->chooseFile(file);
        h.find<QAction>("muFileLoad")->trigger();
        QCOMPARE(texts, QStringList({writeRefused(path),
                                     QStringLiteral("Loading  ") + file +
                                         QStringLiteral("   ( 10 Bytes)..."),
                                     QStringLiteral("Load completed")}));
        QCOMPARE(h.find<QLabel>("Label3")->text(), QStringLiteral("Latest File at ") + file);
        QCOMPARE(h.fence(sim), QByteArray("L\x00\x0a", 3) + image + "c");
    }
    QVERIFY(QFileInfo::exists(path) && !QFileInfo(path).isFile());
}

void TstBadInput::tskLogNamingDirectory()
{
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString folder = h.dir.filePath(QStringLiteral("images"));
    QVERIFY(QDir().mkpath(folder));
    h.writeSetting(QStringLiteral("tsk.log"), folder.toLocal8Bit());
    h.load();
    QVERIFY(h.settled());
    QCOMPARE(h.find<QLabel>("Label3")->text(), Msg::latestFile(folder));
    QCOMPARE(h.fence(sim), QByteArray("ii!c"));
    h.find<QAction>("muIcExp")->trigger();
    QCOMPARE(h.text(2), Msg::missing(folder));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(h.fence(sim), QByteArray("c"));
    QVERIFY(h.p().Timer1.Enabled());
}

void TstBadInput::nonAsciiImagePathRoundTrip()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QByteArray image;
    for (int i = 0; i < 300; ++i)
        image.append(static_cast<char>(i * 13));
    QString path;
    {
        WindowHarness h(PortMap::fromDevices({sim.device()}));
        path = writeFile(h.dir.filePath(QStringLiteral("燒錄 影像 é.tsk")), image);
        h.load();
        QVERIFY(h.settled());
        QCOMPARE(h.fence(sim), QByteArray("ii!c"));
        h.dialogs->chooseFile(path);
        h.find<QAction>("muFileLoad")->trigger();
        QCOMPARE(h.text(2), Msg::loadCompleted());
        QCOMPARE(h.fence(sim), QByteArray("L\x01\x2c", 3) + image + "c");
        QCOMPARE(h.readSetting(QStringLiteral("tsk.log")), path.toLocal8Bit());

        // The next start finds the same file by the name it stored.
        WindowHarness again(PortMap::fromList(QString()));
        again.writeSetting(QStringLiteral("tsk.log"), h.readSetting(QStringLiteral("tsk.log")));
        again.load();
        QCOMPARE(again.find<QLabel>("Label3")->text(), Msg::latestFile(path));
        QCOMPARE(again.p().LatestFile, path);
    }
}

void TstBadInput::imageThatIsNotAFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("directory") << "directory";
    QTest::newRow("fifo") << "fifo";
}

void TstBadInput::imageThatIsNotAFile()
{
    QFETCH(QString, kind);
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString path = h.dir.filePath(QStringLiteral("odd.tsk"));
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(path));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    h.load();
    QVERIFY(h.settled());
    QCOMPARE(h.fence(sim), QByteArray("ii!c"));

    // Load asks again (it is not a file); Express refuses it. Neither sends a byte.
    h.dialogs->chooseFile(path);
    h.dialogs->answerBox(1);
    h.dialogs->cancelFile();
    h.find<QAction>("muFileLoad")->trigger();
    QCOMPARE(h.dialogs->boxCalls.size(), 1);
    QCOMPARE(h.dialogs->boxCalls.first().text, Msg::notFoundText(path));
    QCOMPARE(h.text(2), Msg::loadCancelled());

    h.p().LatestFile = path;
    h.find<QAction>("muIcExp")->trigger();
    QCOMPARE(h.text(2), Msg::missing(path));
    QCOMPARE(h.fence(sim), QByteArray("c"));
}

void TstBadInput::hexBoxesWithAnyUnicode_data()
{
    QTest::addColumn<QString>("fill");
    QTest::addColumn<QString>("dump");
    QTest::newRow("CJK") << QStringLiteral("中文") << QStringLiteral("燒錄位址");
    QTest::newRow("full-width digits") << QStringLiteral("ＦＦ") << QStringLiteral("０１２３");
    QTest::newRow("emoji") << QStringLiteral("\U0001F600") << QStringLiteral("0\U0001F6001");
    QTest::newRow("combining") << QStringLiteral("A\u0301") << QStringLiteral("0\u03010F");
    QTest::newRow("control characters") << QStringLiteral("\t\n") << QStringLiteral("\r\n\t ");
    QTest::newRow("letter with code low byte of a digit")
        << QStringLiteral("\u0141\u0131") << QStringLiteral("\u0130\u0131\u0132\u0133");
}

void TstBadInput::hexBoxesWithAnyUnicode()
{
    QFETCH(QString, fill);
    QFETCH(QString, dump);
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    h.load();
    QVERIFY(h.settled());
    QCOMPARE(h.fence(sim), QByteArray("ii!c"));
    h.find<QLineEdit>("Text3")->setText(fill);
    QTest::mouseClick(h.find<QPushButton>("Command6"), Qt::LeftButton);
    QCOMPARE(h.text(2), Msg::badFill());
    h.find<QLineEdit>("Text4")->setText(dump);
    QTest::mouseClick(h.find<QPushButton>("Command7"), Qt::LeftButton);
    QVERIFY2(h.text(2) == Msg::badAddress() || h.text(2) == Msg::noAddress(),
             qPrintable(h.text(2)));
    QTRY_VERIFY(!h.p().Timer2.Enabled());
    QCOMPARE(h.fence(sim), QByteArray("c"));
}

QTEST_MAIN(TstBadInput)
#include "tst_badinput.moc"
