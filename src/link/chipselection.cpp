#include "chipselection.h"

#include "core/programmer.h"

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
    p.link.SendCommand(QString(QLatin1Char(chip.command)));
}

void ChipSelection::SelectFromCode(int option)
{
    if (option < 1 || option > 3 || p.view.selectedChipOption() == option)
        return;
    chipAction(option);
}

void ChipSelection::ApplyKeyReports()
{
    const int option = KeyReportIn(p.RxText);
    if (option != 0)
        SelectFromCode(option);
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
