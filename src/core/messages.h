#pragma once

#include <QDir>
#include <QString>

// The texts the program itself shows. Captions live with the windows. A path is shown
// with the platform's separators.
namespace Msg
{

// Serial link and discovery.
inline QString removed()
{
    return QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。");
}
inline QString notInstalled()
{
    return QStringLiteral("你尚未安裝燒錄器，請安裝後再執行。");
}
inline QString checkCom(int n)
{
    return QStringLiteral("Check COM%1......").arg(n);
}
inline QString foundOn(int n)
{
    return QStringLiteral("Find Programmer on COM%1").arg(n);
}

// Settings files.
inline QString settingsReadFailed(const QString &path, const QString &why)
{
    return QStringLiteral("無法讀取或建立設定檔 %1（%2），設定將不會被記住。")
        .arg(QDir::toNativeSeparators(path), why);
}
inline QString settingsWriteFailed(const QString &path, const QString &why)
{
    return QStringLiteral("無法寫入設定檔 %1（%2），這次的選擇將不會被記住。")
        .arg(QDir::toNativeSeparators(path), why);
}

// Transfers.
inline QString searching()
{
    return QStringLiteral("正在尋找燒錄器，請等 ComPort check 完成後再執行。");
}
inline QString busy()
{
    return QStringLiteral("資料傳輸中，請等傳輸完成後再執行。");
}
inline QString loadCancelled()
{
    return QStringLiteral("放棄載入。");
}
inline QString loadFailed()
{
    return QStringLiteral("載入失敗。");
}
inline QString saveCancelled()
{
    return QStringLiteral("放棄儲存。");
}
inline QString saveFailed()
{
    return QStringLiteral("儲存失敗。");
}
inline QString notFoundTitle()
{
    return QStringLiteral("找不到檔案");
}
inline QString notFoundText(const QString &path)
{
    return QStringLiteral("找不到") + QDir::toNativeSeparators(path) +
           QStringLiteral("這個檔案，請重新輸入。");
}
inline QString existsTitle()
{
    return QStringLiteral("檔案已存在");
}
inline QString existsText(const QString &path)
{
    return QDir::toNativeSeparators(path) + QStringLiteral(" 這個檔案已經存在，確定要取代？");
}
inline QString progress(const QString &path, int count)
{
    return QStringLiteral("Loading  ") + QDir::toNativeSeparators(path) + QStringLiteral("   (") +
           QStringLiteral(" %1").arg(count) + QStringLiteral(" Bytes)...");
}
inline QString loadCompleted()
{
    return QStringLiteral("Load completed");
}
inline QString expressCompleted(quint16 checksum)
{
    return QStringLiteral("Load completed... ( Checksum = %1 )")
        .arg(QString::number(checksum, 16).toUpper());
}
inline QString tooLarge(const QString &path, qint64 size)
{
    // One arg() call: a "%1" inside the path is not a place for the size.
    return QStringLiteral("%1 有 %2 位元組，超過燒錄器緩衝區的 4999 位元組，檔案沒有送出。")
        .arg(QDir::toNativeSeparators(path), QString::number(size));
}
inline QString hexLineError(const QString &path, int line)
{
    return QStringLiteral("Intel HEX 檔 %1 第 %2 行有錯誤，檔案沒有送出。")
        .arg(QDir::toNativeSeparators(path), QString::number(line));
}
inline QString hexIncomplete(const QString &path)
{
    return QStringLiteral("Intel HEX 檔 %1 沒有結束記錄，檔案不完整，沒有送出。")
        .arg(QDir::toNativeSeparators(path));
}
inline QString hexEmpty(const QString &path)
{
    return QStringLiteral("Intel HEX 檔 %1 沒有任何資料，檔案沒有送出。")
        .arg(QDir::toNativeSeparators(path));
}
inline QString hexTooLarge(const QString &path, qint64 size)
{
    return QStringLiteral("Intel HEX 檔 %1 的資料長達 %2 位元組，超過燒錄器緩衝區的 4999 "
                          "位元組，檔案沒有送出。")
        .arg(QDir::toNativeSeparators(path), QString::number(size));
}
inline QString unreadable(const QString &path, const QString &why)
{
    return QStringLiteral("無法讀取 %1（%2），檔案沒有送出。")
        .arg(QDir::toNativeSeparators(path), why);
}
inline QString missing(const QString &path)
{
    return QStringLiteral("找不到") + QDir::toNativeSeparators(path) +
           QStringLiteral("這個檔案，沒有送出任何資料。");
}
inline QString notConnected()
{
    return QStringLiteral("燒錄器沒有連線，資料沒有送出，請執行 ComPort check。");
}
inline QString saving(int kilobytes)
{
    return QStringLiteral("Saving %1K Bytes Data.").arg(kilobytes);
}
inline QString saveTimedOut(int got, int expected)
{
    return QStringLiteral("燒錄器只傳回 %1 位元組（應為 %2 位元組），沒有寫入檔案。")
        .arg(got)
        .arg(expected);
}
inline QString saveOverrun(int expected)
{
    return QStringLiteral("燒錄器傳回的資料多於 %1 位元組，無法確定內容，沒有寫入檔案。")
        .arg(expected);
}
inline QString saveWriteFailed(const QString &path, const QString &why)
{
    return QStringLiteral("無法寫入 %1（%2），原來的檔案沒有改變。")
        .arg(QDir::toNativeSeparators(path), why);
}

// SRAM tools.
inline QString noAddress()
{
    return QStringLiteral("你並未輸入起始位置，請輸入四位數十六進位碼。");
}
inline QString badAddress()
{
    return QStringLiteral("你所輸入的是無效的起始位置，請輸入四位數十六進位碼。");
}
inline QString addressTooHigh()
{
    return QStringLiteral("你所輸入的位址超過記憶體長度，請重新輸入。");
}
inline QString badFill()
{
    return QStringLiteral("你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。");
}

// Label3.
inline QString noLatestFile()
{
    return QStringLiteral("No latest file !");
}
inline QString latestFile(const QString &path)
{
    return QStringLiteral("Latest File at ") + QDir::toNativeSeparators(path);
}

} // namespace Msg
