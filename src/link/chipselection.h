#pragma once

#include "core/chiptable.h"

#include <QString>

class Programmer;

using ChipInfo = Chip;

// The chip options Option1 to Option3: the chip-selection action, the key-report rule and
// the start-up rule, on the core's chip table.
class ChipSelection
{
public:
    static inline const std::array<Chip, ChipTable::Count> &Chips = ChipTable::chips();

    // The option (1 to 3) whose key report the received text holds; 0 for none.
    static int KeyReportIn(const QString &received) { return ChipTable::keyReportIn(received) + 1; }

    explicit ChipSelection(Programmer &p) : p(p) {}

    // The user selected an option (1 to 3).
    void Option1_Click() { userClick(1); }
    void Option2_Click() { userClick(2); }
    void Option3_Click() { userClick(3); }

    // Selects an option from code: runs its action only when it was not selected.
    void SelectFromCode(int option);
    // The key report in RxText, if any, selects its option; one per tick.
    void ApplyKeyReports();
    // After discovery: the option that ChipName names (an empty name means the 2051).
    void ApplyStartupRule();

private:
    void userClick(int option);
    void chipAction(int option);

    Programmer &p;
    int m_selected = 0; // the option whose action ran last
};
