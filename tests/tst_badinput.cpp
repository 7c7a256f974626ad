#include "core/messages.h"
#include "harness.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

// Bad input wherever it can enter: settings files, image files, the hex boxes. Each gets
// the specified behaviour or a clear message, and nothing goes to the programmer that
// should not.
class TstBadInput : public QObject
{
    Q_OBJECT
private slots:
    void chipLogContent_data();
    void chipLogContent();
    void tskLogNamingDirectory();
    void nonAsciiImagePathRoundTrip();
    void imageThatIsNotAFile_data();
    void imageThatIsNotAFile();
    void hexBoxesWithAnyUnicode_data();
    void hexBoxesWithAnyUnicode();
};

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
