#pragma once

#include <QString>

class Programmer;

struct ChipInfo {
    const char *caption;   // the option button's caption
    const char *name;      // ChipName and chip.log
    const char *command;   // what the programmer is told
    const char *keyReport; // what the programmer reports for this size
    int flashSize;         // bytes of flash
};

// The chip options Option1 to Option3: the chip table, the chip-selection action, the
// key-report rule and the start-up rule.
class ChipSelection
{
public:
    static const ChipInfo Chips[3];

    explicit ChipSelection(Programmer &p) : p(p) {}

    // The user selected an option (1 to 3).
    void Option1_Click() { userClick(1); }
    void Option2_Click() { userClick(2); }
    void Option3_Click() { userClick(3); }

    // Selects an option from code: runs its action only when it was not selected.
    void SelectFromCode(int option);
    // Key reports in RxText: "KEY_2K", then "KEY_4K", then "KEY_1K"; one per tick.
    void ApplyKeyReports();
    // After discovery: the option that ChipName names (an empty name means the 2051).
    void ApplyStartupRule();

private:
    void userClick(int option);
    void chipAction(int option);

    Programmer &p;
    int m_selected = 0; // the option whose action ran last
};
