#include "filedialogs.h"

#include "core/messages.h"
#include "core/programmer.h"

#include <QFileInfo>

bool FileDialogs::askForName(bool save, const QString &title, const QString &cancelled,
                             const QString &failed)
{
    CommonDialog &dlg = p.CommonDialog1;
    dlg.CancelError = true;
    dlg.DialogTitle = title;
    dlg.Filter = filter();
    const int result = save ? dlg.ShowSave() : dlg.ShowOpen();
    if (result == CommonDialog::cdlCancel) {
        p.setText(2, cancelled);
        return false;
    }
    if (result != 0) {
        p.setText(2, failed);
        return false;
    }
    p.LatestFile = dlg.FileName;
    return true;
}

bool FileDialogs::LoadDialog()
{
    for (;;) {
        if (!askForName(false, QStringLiteral("開啟"), Msg::loadCancelled(), Msg::loadFailed()))
            return false;
        if (QFileInfo(p.LatestFile).isFile())
            break;
        p.CommonDialog1.MsgBox(Msg::notFoundText(p.LatestFile), CommonDialog::vbExclamation,
                               Msg::notFoundTitle());
    }
    p.startup.WriteTskLog();
    return true;
}

bool FileDialogs::SaveDialog()
{
    for (;;) {
        if (!askForName(true, QStringLiteral("儲存"), Msg::saveCancelled(), Msg::saveFailed()))
            return false;
        if (!QFileInfo::exists(p.LatestFile))
            return true;
        const int answer = p.CommonDialog1.MsgBox(
            Msg::existsText(p.LatestFile), CommonDialog::vbExclamation + CommonDialog::vbYesNo,
            Msg::existsTitle());
        if (answer == CommonDialog::vbYes)
            return true;
    }
}

bool FileDialogs::ExpressDialog()
{
    CommonDialog &dlg = p.CommonDialog1;
    dlg.CancelError = true;
    dlg.Filter = filter();
    if (dlg.ShowOpen() != 0)
        return false;
    p.LatestFile = dlg.FileName;
    p.startup.WriteTskLog();
    return true;
}
