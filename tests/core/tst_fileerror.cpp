#include "core/fileerror.h"
#include "rig.h"

#include <cerrno>

// The system's errors in the window's words and the tool's, from one table. (The causes that
// a path shows, a folder, a missing one, no permission, are met through the workbench.)
class TstFileError : public QObject
{
    Q_OBJECT
private slots:
    void wordsOfAnErrorNumber_data()
    {
        const Table<int, QString, QString> row;
        row("ENOSPC", ENOSPC, "磁碟已滿", "disk full");
        row("EDQUOT", EDQUOT, "磁碟已滿", "disk full");
        row("EROFS", EROFS, "唯讀的檔案系統", "read-only file system");
        row("EIO", EIO, "系統錯誤 5", "system error 5");
        row("none", 0, "未知的錯誤", "unknown error");
    }
    void wordsOfAnErrorNumber()
    {
        const auto [number, chinese, english] = Table<int, QString, QString>::fetch();
        QCOMPARE(FileError::fromErrno(number).chinese(), chinese);
        QCOMPARE(FileError::fromErrno(number).english(), english);
    }
};

QTEST_GUILESS_MAIN(TstFileError)
#include "tst_fileerror.moc"
