#include "core/csvlog.h"
#include "rig.h"

#include <QTemporaryDir>

// The production log's CSV: fields quoted so that each stays one, no field a spreadsheet
// would run, the header once, and a disk that takes no more refused.
class TstCsvLog : public QObject
{
    Q_OBJECT
private slots:
    void fields_data()
    {
        columns<QString, QString>("text", "written");
        QTest::newRow("plain") << "blink.ihx"
                               << "blink.ihx";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("a comma") << "lot 7, line 2"
                                 << "\"lot 7, line 2\"";
        QTest::newRow("quotes") << "the \"new\" one"
                                << "\"the \"\"new\"\" one\"";
        QTest::newRow("a line end") << "two\nlines"
                                    << "\"two\nlines\"";
        QTest::newRow("=") << "=HYPERLINK(\"x\")"
                           << "\"'=HYPERLINK(\"\"x\"\")\"";
        QTest::newRow("+") << "+1"
                           << "'+1";
        QTest::newRow("-") << "-2+3"
                           << "'-2+3";
        QTest::newRow("@") << "@SUM(A1)"
                           << "'@SUM(A1)";
        QTest::newRow("tab") << "\t=1"
                             << "'\t=1";
        QTest::newRow("carriage return") << "\r=1"
                                         << "\"'\r=1\"";
        QTest::newRow("= inside") << "a=b"
                                  << "a=b";
        QTest::newRow("an apostrophe first") << "'quoted"
                                             << "'quoted";
    }
    void fields()
    {
        const auto [text, written] = fetch<QString, QString>("text", "written");
        QCOMPARE(CsvLog::field(text), written);
    }

    void appends_data()
    {
        columns<QString, QString, QString>("before", "after", "error"); // "-": no file before
        QTest::newRow("a new file") << "-"
                                    << "time,image\n1,\"a,b.tsk\"\n2,x\n"
                                    << "";
        QTest::newRow("an empty file") << ""
                                       << "time,image\n1,\"a,b.tsk\"\n2,x\n"
                                       << "";
        QTest::newRow("an older log") << "0,old\n"
                                      << "0,old\n1,\"a,b.tsk\"\n2,x\n"
                                      << "";
        QTest::newRow("a full disk") << "/dev/full"
                                     << ""
                                     << "No space left on device";
    }
    void appends()
    {
        const auto [before, after, error] =
            fetch<QString, QString, QString>("before", "after", "error");
        QTemporaryDir dir;
        const QString path = before.startsWith("/dev/") ? before : dir.filePath("log.csv");
        if (before != "-" && !before.startsWith("/dev/"))
            writeFile(path, before.toUtf8());
        const QStringList header{"time", "image"};
        auto log = std::make_unique<CsvLog>();
        const bool opened = log->open(path, header);
        QCOMPARE(log->errorString(), error);
        if (!opened)
            return;
        QVERIFY(log->append({"1", "a,b.tsk"}));
        log = std::make_unique<CsvLog>(); // the next run: no second header
        QVERIFY(log->open(path, header));
        QVERIFY(log->append({"2", "x"}));
        QCOMPARE(QString::fromUtf8(readFile(path)), after);
    }
};

QTEST_GUILESS_MAIN(TstCsvLog)
#include "tst_csvlog.moc"
