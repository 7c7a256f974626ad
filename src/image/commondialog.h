#pragma once

#include <QString>

// The file dialog and message boxes (the CommonDialog1 role). The dialog keeps its state
// for the run: the file name last chosen is offered again, and a title stays until a
// handler sets another. What the user answers comes from a backend, so that tests can
// answer the dialogs.
class DialogBackend
{
public:
    enum class Kind { Open, Save };
    enum class Outcome { Chosen, Cancelled, Failed };

    virtual ~DialogBackend() = default;
    // Asks for a file name, offering fileName; on Chosen, fileName holds the answer.
    virtual Outcome fileDialog(Kind kind, const QString &title, const QString &filter,
                               QString &fileName) = 0;
    // A message box; style as the classic constants (48: exclamation + OK,
    // 52: exclamation + Yes/No). Returns 1 for OK, 6 for Yes, 7 for No.
    virtual int messageBox(const QString &text, int style, const QString &title) = 0;
};

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
