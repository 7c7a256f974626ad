#pragma once

#include <QString>

// What the behaviour needs of the main window and its secondary windows. The window
// implements it; nothing else of the window is visible to the subsystems.
class Form1View
{
public:
    virtual ~Form1View() = default;

    // Text1 (responses), Text2 (status), Text3 (fill value), Text4 (dump address).
    virtual QString text(int box) const = 0;
    virtual void setText(int box, const QString &text) = 0;
    virtual void setLabel3(const QString &caption) = 0;

    // The chip options Option1 to Option3: which one is selected (0 for none), and
    // marking one selected (0 clears all) without raising its click.
    virtual int selectedChipOption() const = 0;
    virtual void markChipOption(int option) = 0;

    // The about box Form2: created on first use, shown modeless, only ever one.
    virtual void showForm2() = 0;

    // The "Select Size" window Form3: shown modeless (brought to the front when it already
    // is), hidden (not destroyed) by SAVE.
    virtual void showForm3() = 0;
    virtual void hideForm3() = 0;
    virtual bool form3Visible() const = 0;
    virtual bool form3Option(int option) const = 0;

    // Ends the program with all its windows.
    virtual void endProgram() = 0;
};
