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
        const Table<QString, QString> row;
        row("plain", "blink.ihx", "blink.ihx");
        row("empty", "", "");
        row("a comma", "lot 7, line 2", "\"lot 7, line 2\"");
        row("quotes", "the \"new\" one", "\"the \"\"new\"\" one\"");
        row("a line end", "two\nlines", "\"two\nlines\"");
        row("=", "=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"");
        row("+", "+1", "'+1");
        row("-", "-2+3", "'-2+3");
        row("@", "@SUM(A1)", "'@SUM(A1)");
        row("tab", "\t=1", "'\t=1");
        row("carriage return", "\r=1", "\"'\r=1\"");
        row("= inside", "a=b", "a=b");
        row("an apostrophe first", "'quoted", "'quoted");
    }
    void fields()
    {
        const auto [text, written] = Table<QString, QString>::fetch();
        QCOMPARE(CsvLog::field(text), written);
    }
};

QTEST_GUILESS_MAIN(TstCsvLog)
#include "tst_csvlog.moc"
