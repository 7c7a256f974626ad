// The scan of the programmer's replies for the chip key reports: any bytes, arriving in
// pieces cut at points the fuzzer chooses, accumulated as the receive poller does.
#include "check.h"
#include "core/chiptable.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::vector<size_t> cuts(provider.ConsumeIntegralInRange<size_t>(0, 8));
    for (size_t &cut : cuts)
        cut = provider.ConsumeIntegralInRange<size_t>(0, 16);
    const std::string stream = provider.ConsumeRemainingBytesAsString();

    QString rxText;
    size_t received = 0;
    auto poll = [&](size_t length) {
        length = std::min(length, stream.size() - received);
        // The port hands the bytes over as Latin-1 text.
        rxText += QString::fromLatin1(stream.data() + received, static_cast<qsizetype>(length));
        received += length;
        FUZZ_CHECK(ChipTable::keyReportIn(rxText) + 1 ==
                   referenceOption(stream.substr(0, received)));
    };
    for (size_t cut : cuts)
        poll(cut);
    poll(stream.size());
    FUZZ_CHECK(received == stream.size());
    return 0;
}
