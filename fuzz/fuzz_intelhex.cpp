// The Intel HEX reader: any bytes as the content of an image file.
#include "check.h"
#include "core/intelhex.h"

#include <cstdint>

namespace
{

const QString limitName = QStringLiteral("the fuzzed limit");
const QByteArray byteOrderMark("\xEF\xBB\xBF");

// How many lines the text has: CR LF, LF and CR alone each end one.
int lineCount(const QByteArray &text)
{
    int ends = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '\n' || (text.at(i) == '\r' && !text.mid(i + 1).startsWith('\n')))
            ++ends;
    }
    return ends + 1;
}

bool sameResult(const IntelHex::ParseResult &a, const IntelHex::ParseResult &b)
{
    return a.ok == b.ok && a.image == b.image && a.line == b.line && a.error == b.error;
}

// The same file as other tools write it: a byte-order mark before it, CR-only line ends,
// and anything after the end-of-file record, read as the file itself.
void checkOtherForms(const QByteArray &text, int limit, const IntelHex::ParseResult &r)
{
    if (!text.startsWith(byteOrderMark))
        FUZZ_CHECK(sameResult(IntelHex::parse(byteOrderMark + text, limit, limitName), r));
    if (!text.contains('\r')) {
        QByteArray crOnly = text;
        crOnly.replace('\n', '\r');
        FUZZ_CHECK(sameResult(IntelHex::parse(crOnly, limit, limitName), r));
    }
    if (r.ok) {
        const QByteArray tail = "\x1A" + QByteArray(7, '\0') + text;
        FUZZ_CHECK(sameResult(IntelHex::parse(text + tail, limit, limitName), r));
    }
}

void checkWithLimit(const QByteArray &text, int limit)
{
    const IntelHex::ParseResult r = IntelHex::parse(text, limit, limitName);
    checkOtherForms(text, limit, r);
    // A file that reads as Intel HEX is never taken for raw bytes.
    FUZZ_CHECK(!r.ok || IntelHex::isHexText(text));
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        FUZZ_CHECK((r.problem == IntelHex::ParseResult::OnLine) == (r.line > 0));
        FUZZ_CHECK(r.problem != IntelHex::ParseResult::None);
        FUZZ_CHECK(r.image.isEmpty());
        FUZZ_CHECK(r.line >= 0 && r.line <= lineCount(text));
        // Nothing from the file reaches the text unescaped.
        for (const QChar c : r.error)
            FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() < 0x7F);
        return;
    }
    FUZZ_CHECK(r.error.isEmpty() && r.problem == IntelHex::ParseResult::None);
    FUZZ_CHECK(!r.image.isEmpty() && r.image.size() <= limit);

    // The limit is exact: the image fits a limit of its own size, and not one byte less.
    const int size = static_cast<int>(r.image.size());
    const IntelHex::ParseResult fits = IntelHex::parse(text, size, limitName);
    FUZZ_CHECK(fits.ok && fits.image == r.image);
    FUZZ_CHECK(!IntelHex::parse(text, size - 1, limitName).ok);

    // The image written out as Intel HEX reads back the same.
    const IntelHex::ParseResult again =
        IntelHex::parse(IntelHex::format(r.image), limit, limitName);
    FUZZ_CHECK(again.ok && again.image == r.image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // The limit image files are read with: the 64 KiB an 8051 addresses. Smaller ones are
    // checked through the image's own size above.
    checkWithLimit(text, 64 * 1024);
    return 0;
}
