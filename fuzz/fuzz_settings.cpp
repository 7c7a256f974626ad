// The first line of a settings file (tsk.log, chip.log): any bytes as the file's content.
#include "check.h"
#include "core/settingsfile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString value = SettingsFile::firstLine(bytes);
    FUZZ_CHECK(!value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')));

    // The value is the decoded content up to its first line end, or all of it.
    const QString whole = QString::fromLocal8Bit(bytes);
    FUZZ_CHECK(whole.startsWith(value));
    if (value.size() < whole.size()) {
        const QChar next = whole.at(value.size());
        FUZZ_CHECK(next == QLatin1Char('\r') || next == QLatin1Char('\n'));
    }

    // Written by the program (no line end) and read again, the value stays the same.
    FUZZ_CHECK(SettingsFile::firstLine(value.toLocal8Bit()) == value);
    return 0;
}
