// The Intel HEX reader: any bytes as the content of a *.hex, *.ihx or *.ihex file.
#include "check.h"
#include "core/intelhex.h"

#include <cstdint>

namespace
{

const QString limitName = QStringLiteral("the fuzzed limit");

void checkWithLimit(const QByteArray &text, int limit)
{
    const IntelHex::ParseResult r = IntelHex::Parse(text, limit, limitName);
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        FUZZ_CHECK(r.image.isEmpty());
        FUZZ_CHECK(r.line >= 0 && r.line <= text.count('\n') + 1);
        return;
    }
    FUZZ_CHECK(r.error.isEmpty());
    FUZZ_CHECK(!r.image.isEmpty() && r.image.size() <= limit);

    // The limit is exact: the image fits a limit of its own size, and not one byte less.
    const int size = static_cast<int>(r.image.size());
    const IntelHex::ParseResult fits = IntelHex::Parse(text, size, limitName);
    FUZZ_CHECK(fits.ok && fits.image == r.image);
    FUZZ_CHECK(!IntelHex::Parse(text, size - 1, limitName).ok);

    // The image written out as Intel HEX reads back the same.
    const IntelHex::ParseResult again =
        IntelHex::Parse(IntelHex::Format(r.image), limit, limitName);
    FUZZ_CHECK(again.ok && again.image == r.image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // The largest limit the program uses: the programmer's 4999-byte buffer. Smaller ones
    // are checked through the image's own size above.
    checkWithLimit(text, 4999);
    return 0;
}
