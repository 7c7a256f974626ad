#include "notice.h"

#include "core/messages.h"

namespace
{

QString link(const Notice &n)
{
    switch (n.kind) {
    case Notice::Probing:
        return Msg::checkCom(static_cast<int>(n.number));
    case Notice::Found:
        return Msg::foundOn(static_cast<int>(n.number));
    case Notice::NotInstalled:
        return Msg::notInstalled();
    case Notice::Removed:
        return Msg::removed();
    case Notice::NotConnected:
        return Msg::notConnected();
    case Notice::Busy:
        return Msg::busy();
    case Notice::Searching:
        return Msg::searching();
    case Notice::SettingsRead:
        return Msg::settingsReadFailed(n.path, n.why);
    case Notice::SettingsWrite:
        return Msg::settingsWriteFailed(n.path, n.why);
    default:
        return QString();
    }
}

QString transfer(const Notice &n)
{
    switch (n.kind) {
    case Notice::LoadCancelled:
        return Msg::loadCancelled();
    case Notice::LoadFailed:
        return Msg::loadFailed();
    case Notice::SaveCancelled:
        return Msg::saveCancelled();
    case Notice::SaveFailed:
        return Msg::saveFailed();
    case Notice::Progress:
        return Msg::progress(n.path, static_cast<int>(n.number));
    case Notice::LoadCompleted:
        return Msg::loadCompleted();
    case Notice::ExpressCompleted:
        return Msg::expressCompleted(static_cast<quint16>(n.number));
    case Notice::ImageMissing:
        return Msg::missing(n.path);
    case Notice::ImageUnreadable:
        return Msg::unreadable(n.path, n.why);
    case Notice::ImageTooLarge:
        return Msg::tooLarge(n.path, n.number);
    case Notice::HexLineError:
        return Msg::hexLineError(n.path, static_cast<int>(n.number));
    case Notice::HexIncomplete:
        return Msg::hexIncomplete(n.path);
    case Notice::HexEmpty:
        return Msg::hexEmpty(n.path);
    case Notice::HexTooLarge:
        return Msg::hexTooLarge(n.path, n.number);
    case Notice::Saving:
        return Msg::saving(static_cast<int>(n.number));
    case Notice::SaveShort:
        return Msg::saveTimedOut(static_cast<int>(n.number), static_cast<int>(n.second));
    case Notice::SaveOverrun:
        return Msg::saveOverrun(static_cast<int>(n.number));
    case Notice::SaveWriteFailed:
        return Msg::saveWriteFailed(n.path, n.why);
    default:
        return QString();
    }
}

QString sram(const Notice &n)
{
    switch (n.kind) {
    case Notice::NoAddress:
        return Msg::noAddress();
    case Notice::BadAddress:
        return Msg::badAddress();
    case Notice::AddressTooHigh:
        return Msg::addressTooHigh();
    case Notice::BadFill:
        return Msg::badFill();
    default:
        return QString();
    }
}

} // namespace

namespace Messages
{

QString text(const Notice &notice)
{
    QString out = link(notice);
    if (out.isEmpty())
        out = transfer(notice);
    if (out.isEmpty())
        out = sram(notice);
    if (!notice.appended.isEmpty())
        out += QStringLiteral("  ") + notice.appended;
    return out;
}

QString latestFileLine(const QString &path)
{
    return path.isEmpty() ? Msg::noLatestFile() : Msg::latestFile(path);
}

} // namespace Messages
