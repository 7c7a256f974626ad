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
    static constexpr ChipInfo Chips[3] = {
        {"AT89C2051", "2051", "!", "KEY_2K", 2048},
        {"AT89C4051", "4051", "@", "KEY_4K", 4096},
        {"AT89C1051U", "1051U", "#", "KEY_1K", 1024},
    };

    // The option (1 to 3) whose key report the received text holds, anywhere and
    // case-sensitive, tested in the order "KEY_2K", "KEY_4K", "KEY_1K"; 0 for none. Pure,
    // and defined here, so that it can be used without the rest of the link.
    static int KeyReportIn(const QString &received)
    {
        for (int option = 1; option <= 3; ++option) {
            if (received.contains(QLatin1String(Chips[option - 1].keyReport)))
                return option;
        }
        return 0;
    }

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
