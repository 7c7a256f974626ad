// The hexadecimal text of the fill box (Text3) and the dump box (Text4): any text the
// user can type or paste, taken as UTF-8 so that non-ASCII characters come up too.
#include "check.h"
#include "core/requests.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

// Reference digit value, found by position in a table instead of by code ranges.
int referenceDigit(char16_t c)
{
    static const char16_t upper[] = u"0123456789ABCDEF";
    static const char16_t lower[] = u"0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        if (c == upper[i] || c == lower[i])
            return i;
    }
    return 16;
}

// The text as ASCII when every character is an ASCII hexadecimal digit, else empty.
std::string asciiHexDigits(const QString &text)
{
    std::string out;
    for (QChar c : text) {
        if (c.unicode() > 127 || !std::isxdigit(static_cast<unsigned char>(c.unicode())))
            return std::string();
        out += static_cast<char>(c.unicode());
    }
    return out;
}

void checkConversions(const QString &text)
{
    const int digit = hexDigitValue(text);
    FUZZ_CHECK(digit >= 0 && digit <= 16);
    FUZZ_CHECK(digit == (text.isEmpty() ? 16 : referenceDigit(text.front().unicode())));

    const int pair = hexPairToByte(text);
    FUZZ_CHECK(pair >= 0 && pair <= 256);
    int expected = 256;
    if (!text.isEmpty()) {
        const int hi = referenceDigit(text.front().unicode());
        const int lo = referenceDigit(text.back().unicode());
        if (hi < 16 && lo < 16)
            expected = hi * 16 + lo;
    }
    FUZZ_CHECK(pair == expected);
}

void checkFillBox(const QString &text)
{
    const std::string digits = asciiHexDigits(text);
    const bool valid = text.size() == 2 && digits.size() == 2;
    const FillText fill = checkFillText(text);
    FUZZ_CHECK(fill.ok == valid);
    if (valid)
        FUZZ_CHECK(fill.value == std::strtol(digits.c_str(), nullptr, 16));
}

void checkDumpBox(const QString &text)
{
    const DumpText dump = checkDumpText(text);
    if (text.isEmpty()) {
        FUZZ_CHECK(dump.verdict == DumpText::Empty);
        return;
    }
    const std::string digits = asciiHexDigits(text);
    if (text.size() != 4 || digits.size() != 4) {
        FUZZ_CHECK(dump.verdict == DumpText::Invalid);
        return;
    }
    const long address = std::strtol(digits.c_str(), nullptr, 16);
    if (address >= 0x2000)
        FUZZ_CHECK(dump.verdict == DumpText::Invalid);
    else if (address >= 0x1000)
        FUZZ_CHECK(dump.verdict == DumpText::BeyondMemory);
    else
        FUZZ_CHECK(dump.verdict == DumpText::Ok && dump.address == address);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkConversions(text);
    checkFillBox(text);
    checkDumpBox(text);
    return 0;
}
