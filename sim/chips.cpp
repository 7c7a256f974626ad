// The chips, the wordings' and chips' names, escapes in texts, the byte sum.

#include "firmware.h"

#include <cctype>

namespace vantorsim
{

namespace
{

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool parseTexts(const std::string &text, Texts &texts)
{
    if (text == "default")
        texts = Texts::Default;
    else if (text == "other")
        texts = Texts::Other;
    else
        return false;
    return true;
}

const char *chipName(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return "AT89C2051";
    case Chip::AT89C4051:
        return "AT89C4051";
    case Chip::AT89C1051U:
        return "AT89C1051U";
    case Chip::None:
        break;
    }
    return "none";
}

const char *chipShortName(Chip chip)
{
    constexpr std::size_t family = sizeof "AT89C" - 1;
    return chip == Chip::None ? "none" : chipName(chip) + family;
}

bool parseChip(const std::string &text, Chip &chip)
{
    std::string t;
    for (char c : text)
        t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t == "2051" || t == "AT89C2051")
        chip = Chip::AT89C2051;
    else if (t == "4051" || t == "AT89C4051")
        chip = Chip::AT89C4051;
    else if (t == "1051U" || t == "1051" || t == "AT89C1051U")
        chip = Chip::AT89C1051U;
    else if (t == "NONE")
        chip = Chip::None;
    else
        return false;
    return true;
}

std::size_t flashSize(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return 2048;
    case Chip::AT89C4051:
        return 4096;
    case Chip::AT89C1051U:
        return 1024;
    case Chip::None:
        break;
    }
    return 0;
}

std::array<std::uint8_t, 2> signatureOf(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return {0x1E, 0x21};
    case Chip::AT89C4051:
        return {0x1E, 0x41};
    case Chip::AT89C1051U:
        return {0x1E, 0x12};
    case Chip::None:
        break;
    }
    return {0xFE, 0xFE};
}

std::string decodeEscapes(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char e = text[i + 1];
        if (e == 'r') {
            out += '\r';
            ++i;
        } else if (e == 'n') {
            out += '\n';
            ++i;
        } else if (e == '\\') {
            out += '\\';
            ++i;
        } else if (e == 'x' && i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 &&
                   hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

std::uint16_t byteSum(const std::uint8_t *data, std::size_t size)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];
    return static_cast<std::uint16_t>(sum & 0xFFFFu);
}

} // namespace vantorsim
