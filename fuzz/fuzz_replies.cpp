// The programmer's replies: any bytes, arriving in pieces cut at points the fuzzer chooses,
// accumulated as the receive poller does. The key reports are found in the bytes; the text
// shown is UTF-8 where valid, other bytes as Latin-1, whatever the cuts.
#include "check.h"
#include "core/chiptable.h"
#include "core/receivedtext.h"

#include <QByteArrayView>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{

// Reference: a plain byte search of everything received, "KEY_2K" first.
int referenceOption(const std::string &received)
{
    const char *const reports[] = {"KEY_2K", "KEY_4K", "KEY_1K"};
    for (int option = 1; option <= 3; ++option) {
        if (received.find(reports[option - 1]) != std::string::npos)
            return option;
    }
    return 0;
}

// Reference: at each byte, the shortest run of one to four bytes that Qt takes for valid
// UTF-8 is one character; a byte that starts none is its Latin-1 character.
QString referenceText(const QByteArray &bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype length = 1;
        while (length <= 4 && at + length <= bytes.size() &&
               !QByteArrayView(bytes.constData() + at, length).isValidUtf8())
            ++length;
        if (length > 4 || at + length > bytes.size()) {
            text += QChar(uchar(bytes[at]));
            ++at;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + at, length);
        at += length;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::vector<size_t> cuts(provider.ConsumeIntegralInRange<size_t>(0, 8));
    for (size_t &cut : cuts)
        cut = provider.ConsumeIntegralInRange<size_t>(0, 16);
    const std::string stream = provider.ConsumeRemainingBytesAsString();
    const QByteArray all(stream.data(), static_cast<qsizetype>(stream.size()));

    QByteArray received, held;
    QString text;
    auto poll = [&](size_t length) {
        const QByteArray piece = all.mid(received.size(), static_cast<qsizetype>(length));
        received += piece;
        text += ReceivedText::decode(held + piece, &held);
        FUZZ_CHECK(held.size() <= 3 && all.startsWith(received));
        FUZZ_CHECK(ChipTable::keyReportIn(received) + 1 ==
                   referenceOption(stream.substr(0, static_cast<size_t>(received.size()))));
    };
    for (size_t cut : cuts)
        poll(cut);
    poll(stream.size());
    FUZZ_CHECK(received == all);
    // The pieces' texts make the text of the whole; what was held back comes last.
    text += ReceivedText::decode(held);
    FUZZ_CHECK(text == ReceivedText::decode(all));
    FUZZ_CHECK(text == referenceText(all));
    return 0;
}
