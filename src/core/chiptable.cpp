#include "chiptable.h"

namespace ChipTable
{

const std::array<Chip, Count> &chips()
{
    static const std::array<Chip, Count> table = {{
        {"AT89C2051", "2051", '!', "KEY_2K", 2048},
        {"AT89C4051", "4051", '@', "KEY_4K", 4096},
        {"AT89C1051U", "1051U", '#', "KEY_1K", 1024},
    }};
    return table;
}

const Chip &chip(int index)
{
    return chips().at(static_cast<size_t>(index));
}

int byName(const QString &name)
{
    for (int i = 0; i < Count; ++i) {
        if (name == QLatin1String(chip(i).name))
            return i;
    }
    return -1;
}

int forRemembered(const QString &name)
{
    return name.isEmpty() ? 0 : byName(name);
}

int keyReportIn(const QByteArray &received)
{
    for (int i = 0; i < Count; ++i) {
        if (received.contains(chip(i).keyReport))
            return i;
    }
    return -1;
}

QByteArray readBackCommand(int bytes)
{
    for (const Chip &c : chips()) {
        if (c.flashSize == bytes)
            return "S" + QByteArray::number(bytes / 1024);
    }
    return QByteArray();
}

} // namespace ChipTable
