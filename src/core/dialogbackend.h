#pragma once

#include <QString>

// The file dialogs and message boxes, answered by the user through the window or by a test.
// The dialog's state for the run (the name last chosen, the title last set) is kept by the
// caller, which passes it in.
class DialogBackend
{
public:
    enum class Kind { Open, Save };
    enum class Outcome { Chosen, Cancelled, Failed };

    // Message box styles and answers, with their classic values.
    static constexpr int ExclamationOk = 48;    // exclamation icon, OK button
    static constexpr int ExclamationYesNo = 52; // exclamation icon, Yes and No buttons
    static constexpr int Ok = 1;
    static constexpr int Yes = 6;
    static constexpr int No = 7;

    virtual ~DialogBackend() = default;
    // Asks for a file name, offering fileName; on Chosen, fileName holds the answer.
    virtual Outcome fileDialog(Kind kind, const QString &title, const QString &filter,
                               QString &fileName) = 0;
    // A message box of a style above; returns Ok, Yes or No.
    virtual int messageBox(const QString &text, int style, const QString &title) = 0;
};
