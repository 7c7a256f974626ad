#include "core/csvlog.h"
#include "rig.h"

// The production log's fields: quoted so that each stays one, and none that a spreadsheet
// would run. (The header, the lines and a full disk: tst_tool's production runs.)
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
};

QTEST_GUILESS_MAIN(TstCsvLog)
#include "tst_csvlog.moc"
