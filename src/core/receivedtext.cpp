#include "receivedtext.h"

namespace
{

// A UTF-8 sequence as its first byte announces it: its length, and the range of its second
// byte, which rules out overlong forms, surrogates and code points past U+10FFFF.
struct Lead {
    int length; // 0: no sequence starts with this byte
    uchar low = 0x80, high = 0xBF;
};

Lead leadOf(uchar first)
{
    if (first < 0x80)
        return {1};
    if (first < 0xC2)
        return {0};
    if (first < 0xE0)
        return {2};
    if (first < 0xF0)
        return {3, uchar(first == 0xE0 ? 0xA0 : 0x80), uchar(first == 0xED ? 0x9F : 0xBF)};
    if (first < 0xF5)
        return {4, uchar(first == 0xF0 ? 0x90 : 0x80), uchar(first == 0xF4 ? 0x8F : 0xBF)};
    return {0};
}

// The length of the valid sequence at bytes[at]; 0 when none starts there; -1 when the
// bytes end inside one that is valid so far.
int sequenceAt(const QByteArray &bytes, qsizetype at)
{
    const Lead lead = leadOf(uchar(bytes[at]));
    for (int k = 1; k < lead.length; ++k) {
        if (at + k == bytes.size())
            return -1;
        const uchar next = uchar(bytes[at + k]);
        if (next < (k == 1 ? lead.low : 0x80) || next > (k == 1 ? lead.high : 0xBF))
            return 0;
    }
    return lead.length;
}

void appendCharacter(QString &text, const char *sequence, int length)
{
    static constexpr uchar FirstBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t code = uchar(sequence[0]) & FirstBits[length];
    for (int k = 1; k < length; ++k)
        code = (code << 6) | (uchar(sequence[k]) & 0x3F);
    if (QChar::requiresSurrogates(code)) {
        text += QChar(QChar::highSurrogate(code));
        text += QChar(QChar::lowSurrogate(code));
    } else {
        text += QChar(char16_t(code));
    }
}

} // namespace

namespace ReceivedText
{

QString decode(const QByteArray &bytes, QByteArray *held)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int length = sequenceAt(bytes, at);
        if (length < 0 && held) {
            *held = bytes.mid(at);
            return text;
        }
        if (length <= 0) {
            text += QChar(uchar(bytes[at])); // as Latin-1
            ++at;
            continue;
        }
        appendCharacter(text, bytes.constData() + at, length);
        at += length;
    }
    if (held)
        held->clear();
    return text;
}

} // namespace ReceivedText
