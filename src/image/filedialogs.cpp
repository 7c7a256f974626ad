#include "filedialogs.h"

#include "core/messages.h"
#include "core/programmer.h"

#include <QFileInfo>

bool FileDialogs::LoadDialog()
{
    CommonDialog &dlg = p.CommonDialog1;
    for (;;) {
        dlg.CancelError = true;
        dlg.DialogTitle = QStringLiteral("開啟");
        dlg.Filter = filter();
        const int result = dlg.ShowOpen();
        if (result == CommonDialog::cdlCancel) {
            p.setText(2, Msg::loadCancelled());
            return false;
        }
        if (result != 0) {
            p.setText(2, Msg::loadFailed());
            return false;
        }
        p.LatestFile = dlg.FileName;
        if (QFileInfo(p.LatestFile).isFile())
            break;
        dlg.MsgBox(Msg::notFoundText(p.LatestFile), CommonDialog::vbExclamation,
                   Msg::notFoundTitle());
    }
    p.startup.WriteTskLog();
    return true;
}

bool FileDialogs::SaveDialog()
{
    CommonDialog &dlg = p.CommonDialog1;
    for (;;) {
        dlg.CancelError = true;
        dlg.DialogTitle = QStringLiteral("儲存");
        dlg.Filter = filter();
        const int result = dlg.ShowSave();
        if (result == CommonDialog::cdlCancel) {
            p.setText(2, Msg::saveCancelled());
            return false;
        }
        if (result != 0) {
            p.setText(2, Msg::saveFailed());
            return false;
        }
        p.LatestFile = dlg.FileName;
        if (!QFileInfo::exists(p.LatestFile))
            return true;
        const int answer =
            dlg.MsgBox(Msg::existsText(p.LatestFile),
                       CommonDialog::vbExclamation + CommonDialog::vbYesNo, Msg::existsTitle());
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
