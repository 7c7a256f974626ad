// The soak's user actions: commands, chips, fill and dump, Load, Express and Save, each
// followed by its checks.

#include "soak.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace
{

// Removes whatever is at path, file or folder.
void clearPath(const QString &path)
{
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

const QString HexDigits = QStringLiteral("0123456789ABCDEFabcdef");

bool isPlainHex(const QString &text, int length)
{
    return text.size() == length &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return HexDigits.contains(c); });
}

} // namespace

QString Soak::randomText(int typicalLength, bool hex)
{
    static const QString odd = QStringLiteral(" gGxX-+/:@`\u00e9\u4e2d\u71d2\U0001F600\t");
    const int length = rng.bounded(10) < 7 ? typicalLength : int(rng.bounded(7));
    QString text;
    for (int i = 0; i < length; ++i) {
        if (hex || rng.bounded(3) != 0)
            text += HexDigits.at(int(rng.bounded(HexDigits.size())));
        else
            text += odd.at(int(rng.bounded(odd.size())));
    }
    return text;
}

void Soak::fixedCommand()
{
    // The menus' and buttons' commands.
    static const char *const commands[] = {"s",  "B",  "E",  "P",  "l",  "R",  "V",  "X", "c",
                                           "tR", "tL", "tb", "tV", "th", "tl", "tf", "i", "q"};
    bench->command(QByteArray(commands[rng.bounded(int(std::size(commands)))]));
    idle(int(rng.bounded(120)));
}

void Soak::chipChange()
{
    const int chip = int(rng.bounded(3));
    bench->chooseChip(chip);
    if (bench->session().chip() != chip || seen.shownChip != chip)
        violation(QStringLiteral("chip %1 chosen, %2 shown").arg(chip).arg(seen.shownChip));
}

void Soak::fillOrDump()
{
    const bool fill = rng.bounded(2) == 0;
    const QString text = randomText(fill ? 2 : 4, rng.bounded(2) == 0);
    const qint64 before = line->handedOver();
    const qsizetype from = notices.size();
    fill ? bench->fill(text) : bench->dump(text);
    // Taken: the box's text passed (the status box was only emptied). The request then goes
    // out a byte at a time: "F" and the value, or "d" and the address.
    const bool queued = notices.size() == from + 1 && lastNotice() == Notice::Cleared;
    const int length = fill ? 2 : 3;
    if (queued && line->isOpen() &&
        !waitFor([&] { return line->handedOver() >= before + length || !line->isOpen(); }, 2000))
        violation(QStringLiteral("the %1-byte request for '%2' did not go out within 2 s")
                      .arg(length)
                      .arg(text));
    if (fill && queued && line->isOpen() && isPlainHex(text, 2)) {
        const QByteArray want = "F" + QByteArray::fromHex(text.toLatin1());
        const QByteArray got = fence();
        if (!got.endsWith(want))
            violation(QStringLiteral("fill '%1' put %2 on the line")
                          .arg(text, QString::fromLatin1(got.right(4).toHex(' '))));
    }
    idle(int(rng.bounded(60)));
}

QString Soak::nextImagePath()
{
    return dir.filePath(QStringLiteral("image%1.tsk").arg(++fileSerial % 8));
}

// Puts an image of a random size at path (now and then the largest, an oversize one or an
// empty one), or a folder, or nothing.
void Soak::prepareImage(const QString &path)
{
    const int roll = int(rng.bounded(100));
    clearPath(path);
    image.clear();
    if (roll >= 13 && roll < 16) {
        QDir().mkpath(path);
        return;
    }
    if (roll >= 16 && roll < 19)
        return;
    const int size = roll < 5    ? 4999
                     : roll < 10 ? 5000 + int(rng.bounded(40000))
                     : roll < 13 ? 0
                                 : int(rng.bounded(4100));
    image.resize(size);
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>(rng.bounded(256));
    writeFile(path, image);
}

void Soak::load()
{
    transfer('L', nextImagePath(), true);
}

void Soak::express()
{
    // Express sends the latest file; only when there is none does it ask for one.
    const QString latest = bench->latestFile();
    transfer('Q', latest.isEmpty() ? nextImagePath() : latest, latest.isEmpty());
}

void Soak::transfer(char letter, const QString &path, bool askedFor)
{
    prepareImage(path);
    fence();
    // A name that is not a file gets the "not found" box, then the dialog again: the user
    // cancels it.
    if (askedFor)
        dialogs.choose(path);
    const int images = seen.images;
    letter == 'L' ? bench->load() : bench->express();
    if (bench->session().isBusy() && !waitFor([&] { return seen.images > images; }, 30000))
        violation(QStringLiteral("the image transfer did not end within 30 s"));
    checkTransfer(letter, image, fence());
}

void Soak::checkTransfer(char letter, const QByteArray &image, const QByteArray &onLine)
{
    const QByteArray frame =
        QByteArray(1, letter) + char(image.size() / 256) + char(image.size() % 256) + image;
    const Notice::Kind last = lastNotice();
    const bool sent = last == (letter == 'L' ? Notice::LoadCompleted : Notice::ExpressCompleted);
    quint16 sum = 0;
    for (const char byte : image)
        sum = static_cast<quint16>(sum + static_cast<quint8>(byte));
    if (sent && letter == 'Q' && notices.last().number != sum)
        violation(QStringLiteral("Express told checksum %1 for an image that sums to %2")
                      .arg(notices.last().number)
                      .arg(sum));
    if (!sent) {
        ++counts.refused;
        // Refused before a byte went out, or cut off by a removal that was told.
        if (onLine.contains(frame.left(3)) && last != Notice::Removed)
            violation(QStringLiteral("refused image (notice %1) put its header on the line: %2")
                          .arg(last)
                          .arg(QString::fromLatin1(onLine.left(8).toHex(' '))));
        return;
    }
    ++counts.transfers;
    counts.bytesMoved += frame.size();
    if (!onLine.startsWith(frame))
        violation(QStringLiteral("image of %1 bytes not on the line as one piece: line %2... "
                                 "(%3 bytes), image found at %4")
                      .arg(image.size())
                      .arg(QString::fromLatin1(onLine.left(12).toHex(' ')))
                      .arg(onLine.size())
                      .arg(onLine.indexOf(frame)));
    if (!expectOpen || unplugged)
        violation(QStringLiteral("transfer told done with no programmer"));
}

void Soak::save()
{
    static const int sizes[] = {2048, 4096, 1024}; // Select Size's options, top to bottom
    const int bytes = sizes[rng.bounded(3)];
    const QString path = dir.filePath(QStringLiteral("saved%1.tsk").arg(rng.bounded(3)));
    const bool existed = rng.bounded(2) == 0;
    const QByteArray old =
        existed ? QByteArray("old content that must survive a failed save") : QByteArray();
    clearPath(path);
    if (existed)
        writeFile(path, old);
    fence();
    if (bench->offerSave()) {
        // Select Size is open; the main window stays usable meanwhile.
        idle(int(rng.bounded(50)));
        const int meanwhile = int(rng.bounded(8));
        if (meanwhile == 0)
            fixedCommand();
        else if (meanwhile == 1)
            fillOrDump();
        if (rng.bounded(20) == 0)
            bench->saveAbandoned(); // Select Size closed
        else
            chooseSize(bytes, path);
    }
    checkSave(bytes, path, existed, old);
}

void Soak::chooseSize(int bytes, const QString &path)
{
    dialogs.choose(path);
    // An existing file: mostly Yes; No asks again, and that dialog is cancelled.
    dialogs.reply(rng.bounded(8) == 0 ? DialogBackend::No : DialogBackend::Yes);
    const int blocks = seen.blocks;
    // The block is not asked for before the chip operations sent so far can be done.
    const int limit = 45000 + int(bench->session().workLeftMs());
    if (!bench->save(bytes)) {
        violation(QStringLiteral("Save of %1 bytes refused with nothing under way").arg(bytes));
        bench->saveAbandoned();
        return;
    }
    if (bench->session().isBusy() && !waitFor([&] { return seen.blocks > blocks; }, limit))
        violation(QStringLiteral("the read-back of %1 bytes did not end within %2 s")
                      .arg(bytes)
                      .arg(limit / 1000));
}

void Soak::checkSave(int bytes, const QString &path, bool existed, const QByteArray &old)
{
    const bool isFile = QFileInfo(path).isFile();
    const QByteArray now = isFile ? readFile(path) : QByteArray();
    if (lastNotice() != Notice::Saving) {
        ++counts.refused;
        if (existed ? now != old : isFile)
            violation(QStringLiteral("failed save (notice %1) changed the file").arg(lastNotice()));
        return;
    }
    ++counts.transfers;
    counts.bytesMoved += now.size();
    if (!expectOpen || unplugged)
        violation(QStringLiteral("save told done with no programmer"));
    if (now.size() < bytes) {
        violation(QStringLiteral("saved file of %1 bytes for a %2-byte block")
                      .arg(now.size())
                      .arg(bytes));
    } else if (!unplugged && line->isOpen()) {
        const QByteArray sram =
            QByteArray::fromHex(sim->control(QStringLiteral("sram 0 %1").arg(bytes)).toLatin1());
        if (now.left(bytes) != sram)
            violation(QStringLiteral("saved block differs from the programmer's SRAM"));
    }
}
