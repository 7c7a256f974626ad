#include "core/messages.h"
#include "core/settingsfile.h"
#include "harness.h"

#include <QDir>
#include <QFile>
#include <QTest>

// The settings files tsk.log and chip.log, on their own and through start-up.
class TstSettings : public QObject
{
    Q_OBJECT
private slots:
    void readsFirstLine_data();
    void readsFirstLine();
    void missingFileIsCreatedEmpty();
    void writeReplacesWithoutLineEnd();
    void writeDoesNotCreateMissingFile();
    void unusableLocationReportsFailure();
    void linkToRegularFileIsUsed();
    void firstRunInEmptyDirectory();
    void latestFileLabel_data();
    void latestFileLabel();
    void chipChoiceIsStoredExactly();
    void unusableDirectoryIsReportedAfterSearch();
    void settingsMessagesShowPathsAsWritten();
};

static QString writeValue(const QTemporaryDir &dir, const QByteArray &content)
{
    return writeFile(dir.filePath(QStringLiteral("value.log")), content);
}

void TstSettings::readsFirstLine_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("value");
    QTest::newRow("no line end") << QByteArray("C:\\a.tsk") << "C:\\a.tsk";
    QTest::newRow("two lines") << QByteArray("/x/first.tsk\n/x/second.tsk\n") << "/x/first.tsk";
    QTest::newRow("CR LF") << QByteArray("4051\r\n") << "4051";
    QTest::newRow("CR alone") << QByteArray("4051\rjunk") << "4051";
    QTest::newRow("empty first line") << QByteArray("\n/x/second.tsk") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("trailing blank kept") << QByteArray("2051 \n") << "2051 ";
    QTest::newRow("non-ASCII path") << QString::fromUtf8("/燒錄/影像.tsk\n").toLocal8Bit()
                                    << QString::fromUtf8("/燒錄/影像.tsk");
    QTest::newRow("binary junk") << QByteArray("\x01\xff\x00zz\n", 6)
                                 << QString::fromLocal8Bit(QByteArray("\x01\xff\x00zz", 5));
}

void TstSettings::readsFirstLine()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString path = writeValue(dir, content);
    QString read, why;
    QCOMPARE(SettingsFile::readValue(path, &read, &why), SettingsFile::ReadResult::Ok);
    QCOMPARE(read, value);
}

void TstSettings::missingFileIsCreatedEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chip.log"));
    QString read = QStringLiteral("stale"), why;
    QCOMPARE(SettingsFile::readValue(path, &read, &why), SettingsFile::ReadResult::CreatedEmpty);
    QCOMPARE(read, QString());
    QVERIFY(QFile::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TstSettings::writeReplacesWithoutLineEnd()
{
    QTemporaryDir dir;
    const QString path = writeValue(dir, "a much longer previous value\r\nand a second line\r\n");
    QString why;
    QVERIFY(SettingsFile::writeValue(path, QStringLiteral("1051U"), &why));
    QCOMPARE(readFile(path), QByteArray("1051U"));
}

void TstSettings::writeDoesNotCreateMissingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tsk.log"));
    QString why;
    QVERIFY(!SettingsFile::writeValue(path, QStringLiteral("x"), &why));
    QVERIFY(!why.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TstSettings::unusableLocationReportsFailure()
{
    // A "directory" that is a regular file can hold no settings file, whoever we run as.
    QTemporaryDir dir;
    const QString notADir = writeValue(dir, "plain file");
    QString read, why;
    QCOMPARE(SettingsFile::readValue(notADir + QStringLiteral("/tsk.log"), &read, &why),
             SettingsFile::ReadResult::Failed);
    QVERIFY(!why.isEmpty());
    QCOMPARE(SettingsFile::readValue(dir.path(), &read, &why), SettingsFile::ReadResult::Failed);
}

void TstSettings::linkToRegularFileIsUsed()
{
    // Only regular files hold settings, but a link to one is followed.
    QTemporaryDir dir;
    const QString target = writeValue(dir, "4051\r\n");
    const QString link = dir.filePath(QStringLiteral("chip.log"));
    QVERIFY(QFile::link(target, link));
    QString read, why;
    QCOMPARE(SettingsFile::readValue(link, &read, &why), SettingsFile::ReadResult::Ok);
    QCOMPARE(read, QStringLiteral("4051"));
    QVERIFY2(SettingsFile::writeValue(link, QStringLiteral("2051"), &why), qPrintable(why));
    QCOMPARE(readFile(target), QByteArray("2051"));
    QVERIFY(QFileInfo(link).isSymLink());
}

void TstSettings::firstRunInEmptyDirectory()
{
    WindowHarness h(PortMap::fromList(QString()));
    h.load();
    QCOMPARE(h.readSetting(QStringLiteral("tsk.log")), QByteArray());
    QCOMPARE(h.readSetting(QStringLiteral("chip.log")), QByteArray());
    QCOMPARE(h.find<QLabel>("Label3")->text(), Msg::noLatestFile());
    QCOMPARE(h.p().TskLogPath, QDir::toNativeSeparators(h.dir.path()) + QDir::separator() +
                                   QStringLiteral("tsk.log"));
    QCOMPARE(h.window->selectedChipOption(), 0);
    QVERIFY(h.p().Timer3.Enabled());
    QVERIFY(!h.p().Timer1.Enabled());
}

void TstSettings::latestFileLabel_data()
{
    QTest::addColumn<QByteArray>("tsk");
    QTest::addColumn<QString>("label");
    QTest::newRow("a path") << QByteArray("/img/blink.tsk") << "Latest File at /img/blink.tsk";
    QTest::newRow("two lines") << QByteArray("/img/a.tsk\n/img/b.tsk")
                               << "Latest File at /img/a.tsk";
    QTest::newRow("empty first line") << QByteArray("\n/img/b.tsk") << "No latest file !";
    QTest::newRow("CR LF") << QByteArray("/img/a.tsk\r\n") << "Latest File at /img/a.tsk";
}

void TstSettings::latestFileLabel()
{
    QFETCH(QByteArray, tsk);
    QFETCH(QString, label);
    WindowHarness h(PortMap::fromList(QString()));
    h.writeSetting(QStringLiteral("tsk.log"), tsk);
    h.load();
    QCOMPARE(h.find<QLabel>("Label3")->text(), label);
    // Reading changes nothing.
    QCOMPARE(h.readSetting(QStringLiteral("tsk.log")), tsk);
}

void TstSettings::chipChoiceIsStoredExactly()
{
    WindowHarness h(PortMap::fromList(QString()));
    h.load();
    QTest::mouseClick(h.find<QRadioButton>("Option3"), Qt::LeftButton);
    QCOMPARE(h.readSetting(QStringLiteral("chip.log")), QByteArray("1051U"));
    QCOMPARE(h.p().ChipName, QStringLiteral("1051U"));
    QTest::mouseClick(h.find<QRadioButton>("Option2"), Qt::LeftButton);
    QCOMPARE(h.readSetting(QStringLiteral("chip.log")), QByteArray("4051"));
}

void TstSettings::unusableDirectoryIsReportedAfterSearch()
{
    // Neither file can be opened or created: start-up goes on, both reports come back with
    // the result of the search that clears Text2, and the chip choice that chip.log cannot
    // keep is reported when it is made.
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString notADir = h.dir.filePath(QStringLiteral("plain-file"));
    QFile(notADir).open(QIODevice::WriteOnly);
    const QString tsk = notADir + QStringLiteral("/tsk.log");
    const QString chip = notADir + QStringLiteral("/chip.log");
    QStringList texts;
    connect(h.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [&](const QString &t) { texts << t; });
    h.window->Form_Load(notADir);
    QCOMPARE(h.find<QLabel>("Label3")->text(), Msg::noLatestFile());
    QTRY_COMPARE_WITH_TIMEOUT(h.window->selectedChipOption(), 1, 5000);
    QTRY_VERIFY(!h.p().Timer4.Enabled());
    QCOMPARE(texts.size(), 6);
    QVERIFY2(matchesWithReason(texts.at(0), QStringLiteral("無法讀取或建立設定檔 ") + tsk +
                                                QStringLiteral("（\1），設定將不會被記住。")),
             qPrintable(texts.at(0)));
    QVERIFY2(matchesWithReason(texts.at(1), QStringLiteral("無法讀取或建立設定檔 ") + chip +
                                                QStringLiteral("（\1），設定將不會被記住。")),
             qPrintable(texts.at(1)));
    QCOMPARE(texts.mid(2, 3), QStringList({QString(), QStringLiteral("Check COM1......"),
                                           QStringLiteral("Find Programmer on COM1  ") +
                                               texts.at(0) + QStringLiteral("  ") + texts.at(1)}));
    QVERIFY2(matchesWithReason(texts.at(5), QStringLiteral("無法寫入設定檔 ") + chip +
                                                QStringLiteral("（\1），這次的選擇將不會被記住。")),
             qPrintable(texts.at(5)));
    // The programmer was told the chip all the same.
    QVERIFY(sim.waitReceived(3));
    QCOMPARE(sim.received(), QByteArray("ii!"));
}

void TstSettings::settingsMessagesShowPathsAsWritten()
{
    // A start-up directory whose name looks like placeholders is shown as it is written.
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString dir = h.dir.filePath(QStringLiteral("odd %1 %2 %L1 dir"));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/tsk.log")));
    h.window->Form_Load(dir);
    QTRY_COMPARE_WITH_TIMEOUT(h.window->selectedChipOption(), 1, 5000);
    QTRY_VERIFY(!h.p().Timer4.Enabled());
    QCOMPARE(h.text(2), QStringLiteral("Find Programmer on COM1  無法讀取或建立設定檔 ") + dir +
                            QStringLiteral("/tsk.log（是一個資料夾），設定將不會被記住。"));

    QVERIFY(QFile::remove(dir + QStringLiteral("/chip.log")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/chip.log")));
    QTest::mouseClick(h.find<QRadioButton>("Option3"), Qt::LeftButton);
    QCOMPARE(h.text(2), QStringLiteral("無法寫入設定檔 ") + dir +
                            QStringLiteral("/chip.log（是一個資料夾），這次的選擇將不會被記住。"));
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
