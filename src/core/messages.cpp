#include "messages.h"

#include "core/notice.h"

#include <QDir>

namespace
{

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString link(const Notice &n)
{
    switch (n.kind) {
    case Notice::Probing:
        return QStringLiteral("Check COM%1......").arg(n.number);
    case Notice::Found:
        return QStringLiteral("Find Programmer on COM%1").arg(n.number);
    case Notice::NotInstalled:
        return QStringLiteral("你尚未安裝燒錄器，請安裝後再執行。");
    case Notice::Removed:
        return QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。");
    case Notice::NotConnected:
        return QStringLiteral("燒錄器沒有連線，資料沒有送出，請執行 ComPort check。");
    case Notice::Busy:
        return QStringLiteral("資料傳輸中，請等傳輸完成後再執行。");
    case Notice::Searching:
        return QStringLiteral("正在尋找燒錄器，請等 ComPort check 完成後再執行。");
    case Notice::SettingsRead:
        return QStringLiteral("無法讀取或建立設定檔 %1（%2），設定將不會被記住。")
            .arg(native(n.path), n.why);
    case Notice::SettingsWrite:
        return QStringLiteral("無法寫入設定檔 %1（%2），這次的選擇將不會被記住。")
            .arg(native(n.path), n.why);
    default:
        return QString();
    }
}

// Load and Express, and the image file they send.
QString load(const Notice &n)
{
    switch (n.kind) {
    case Notice::LoadCancelled:
        return QStringLiteral("放棄載入。");
    case Notice::LoadFailed:
        return QStringLiteral("載入失敗。");
    case Notice::Progress:
        return QStringLiteral("Loading  ") + native(n.path) + QStringLiteral("   (") +
               QStringLiteral(" %1").arg(n.number) + QStringLiteral(" Bytes)...");
    case Notice::LoadCompleted:
        return QStringLiteral("Load completed");
    case Notice::ExpressCompleted:
        return QStringLiteral("Load completed... ( Checksum = %1 )")
            .arg(QString::number(static_cast<quint16>(n.number), 16).toUpper());
    case Notice::ImageMissing:
        return QStringLiteral("找不到") + native(n.path) +
               QStringLiteral("這個檔案，沒有送出任何資料。");
    case Notice::ImageUnreadable:
        return QStringLiteral("無法讀取 %1（%2），檔案沒有送出。").arg(native(n.path), n.why);
    case Notice::ImageTooLarge:
        // One arg() call: a "%1" inside the path is not a place for the size.
        return QStringLiteral("%1 有 %2 位元組，超過燒錄器緩衝區的 4999 位元組，檔案沒有送出。")
            .arg(native(n.path), QString::number(n.number));
    default:
        return QString();
    }
}

QString hexFile(const Notice &n)
{
    switch (n.kind) {
    case Notice::HexLineError:
        return QStringLiteral("Intel HEX 檔 %1 第 %2 行有錯誤，檔案沒有送出。")
            .arg(native(n.path), QString::number(n.number));
    case Notice::HexIncomplete:
        return QStringLiteral("Intel HEX 檔 %1 沒有結束記錄，檔案不完整，沒有送出。")
            .arg(native(n.path));
    case Notice::HexEmpty:
        return QStringLiteral("Intel HEX 檔 %1 沒有任何資料，檔案沒有送出。").arg(native(n.path));
    case Notice::HexTooLarge:
        return QStringLiteral("Intel HEX 檔 %1 的資料長達 %2 位元組，超過燒錄器緩衝區的 4999 "
                              "位元組，檔案沒有送出。")
            .arg(native(n.path), QString::number(n.number));
    default:
        return QString();
    }
}

QString save(const Notice &n)
{
    switch (n.kind) {
    case Notice::SaveCancelled:
        return QStringLiteral("放棄儲存。");
    case Notice::SaveFailed:
        return QStringLiteral("儲存失敗。");
    case Notice::Saving:
        return QStringLiteral("Saving %1K Bytes Data.").arg(n.number);
    case Notice::SaveShort:
        return QStringLiteral("燒錄器只傳回 %1 位元組（應為 %2 位元組），沒有寫入檔案。")
            .arg(n.number)
            .arg(n.second);
    case Notice::SaveOverrun:
        return QStringLiteral("燒錄器傳回的資料多於 %1 位元組，無法確定內容，沒有寫入檔案。")
            .arg(n.number);
    case Notice::SaveWriteFailed:
        return QStringLiteral("無法寫入 %1（%2），原來的檔案沒有改變。").arg(native(n.path), n.why);
    default:
        return QString();
    }
}

QString sram(const Notice &n)
{
    switch (n.kind) {
    case Notice::NoAddress:
        return QStringLiteral("你並未輸入起始位置，請輸入四位數十六進位碼。");
    case Notice::BadAddress:
        return QStringLiteral("你所輸入的是無效的起始位置，請輸入四位數十六進位碼。");
    case Notice::AddressTooHigh:
        return QStringLiteral("你所輸入的位址超過記憶體長度，請重新輸入。");
    case Notice::BadFill:
        return QStringLiteral("你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。");
    default:
        return QString();
    }
}

} // namespace

namespace Messages
{

QString text(const Notice &notice)
{
    QString out;
    for (auto words : {link, load, hexFile, save, sram}) {
        if (out.isEmpty())
            out = words(notice);
    }
    if (!notice.appended.isEmpty())
        out += QStringLiteral("  ") + notice.appended;
    return out;
}

QString latestFileLine(const QString &path)
{
    return path.isEmpty() ? QStringLiteral("No latest file !")
                          : QStringLiteral("Latest File at ") + native(path);
}

QString notFoundTitle()
{
    return QStringLiteral("找不到檔案");
}

QString notFoundText(const QString &path)
{
    return QStringLiteral("找不到") + native(path) + QStringLiteral("這個檔案，請重新輸入。");
}

QString existsTitle()
{
    return QStringLiteral("檔案已存在");
}

QString existsText(const QString &path)
{
    return native(path) + QStringLiteral(" 這個檔案已經存在，確定要取代？");
}

} // namespace Messages
