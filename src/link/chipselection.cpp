#include "chipselection.h"

#include "core/programmer.h"

const ChipInfo ChipSelection::Chips[3] = {
    {"AT89C2051", "2051", "!", "KEY_2K", 2048},
    {"AT89C4051", "4051", "@", "KEY_4K", 4096},
    {"AT89C1051U", "1051U", "#", "KEY_1K", 1024},
};

void ChipSelection::userClick(int option)
{
    if (p.link.refuseWhileBusy()) {
        // The programmer cannot be told now: keep the chip it was last told.
        p.view.markChipOption(m_selected);
        return;
    }
    chipAction(option);
}

void ChipSelection::chipAction(int option)
{
    const ChipInfo &chip = Chips[option - 1];
    p.startup.WriteChipLog(QString::fromLatin1(chip.name));
    p.view.markChipOption(option);
    m_selected = option;
    p.link.SendCommand(QString::fromLatin1(chip.command));
}

void ChipSelection::SelectFromCode(int option)
{
    if (option < 1 || option > 3 || p.view.selectedChipOption() == option)
        return;
    chipAction(option);
}

void ChipSelection::ApplyKeyReports()
{
    for (int option : {1, 2, 3}) {
        if (p.RxText.contains(QLatin1String(Chips[option - 1].keyReport))) {
            SelectFromCode(option);
            return;
        }
    }
}

void ChipSelection::ApplyStartupRule()
{
    if (p.ChipName.isEmpty() || p.ChipName == QLatin1String("2051"))
        SelectFromCode(1);
    else if (p.ChipName == QLatin1String("4051"))
        SelectFromCode(2);
    else if (p.ChipName == QLatin1String("1051U"))
        SelectFromCode(3);
}
