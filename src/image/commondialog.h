#pragma once

#include "core/dialogbackend.h"

#include <QString>

// The shared file dialog as the window's handlers use it.
class CommonDialog
{
public:
    static constexpr int cdlCancel = 32755;
    static constexpr int vbOKOnly = 0;
    static constexpr int vbYesNo = 4;
    static constexpr int vbExclamation = 48;
    static constexpr int vbOK = 1;
    static constexpr int vbYes = 6;
    static constexpr int vbNo = 7;

    explicit CommonDialog(DialogBackend *backend) : m_backend(backend) {}

    QString DialogTitle;
    QString Filter;
    QString FileName;
    bool CancelError = false;

    // Result: 0 when a name was chosen; cdlCancel when cancelled; any other number for
    // another failure. FileName is left as the dialog reports it.
    int ShowOpen() { return show(DialogBackend::Kind::Open); }
    int ShowSave() { return show(DialogBackend::Kind::Save); }

    int MsgBox(const QString &text, int style, const QString &title)
    {
        return m_backend->messageBox(text, style, title);
    }

    DialogBackend *backend() const { return m_backend; }
    void setBackend(DialogBackend *backend) { m_backend = backend; }

private:
    int show(DialogBackend::Kind kind)
    {
        QString name = FileName;
        const auto outcome = m_backend->fileDialog(kind, DialogTitle, Filter, name);
        if (outcome == DialogBackend::Outcome::Chosen) {
            FileName = name;
            return 0;
        }
        return outcome == DialogBackend::Outcome::Cancelled ? cdlCancel : 1;
    }

    DialogBackend *m_backend;
};
