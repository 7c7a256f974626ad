#pragma once

#include "commands.h"
#include "steps.h"

#include <QByteArray>
#include <QString>

class RunRecord;
struct ChipRecord;
struct Programmer;
struct Tool;

// What write does with each chip beyond writing it, as the run's options ask: the lock set
// and confirmed (--lock), the chip erased and written again after a failure (--retry), and
// the result shown large and signalled on the programmer (--signal). Each step runs on the
// event loop and ends with its Done; the Tool forms wait for it.

// Writes one chip (after the search), compares it with the image and, with --lock, locks
// it and confirms the lock; a failed attempt is followed by another, up to --retry more,
// unless *stopping is set meanwhile. A failed attempt that is followed by another is said
// and written in record's log (when there is one) for chip; the last is the caller's to
// record. record, chip and stopping must outlive the step.
void startAttempts(const Programmer &p, const QByteArray &image, const QString &path,
                   RunRecord *record, ChipRecord *chip, const bool *stopping, ChipDone done);
ChipResult writeChipAttempts(Tool &tool, const QByteArray &image, const QString &path,
                             RunRecord *record = nullptr, ChipRecord *chip = nullptr);
// Sets the lock bits ("l") of a chip that holds image and confirms the lock: the SRAM filled
// with a byte other than the image's first, the chip read ("R") and the smallest block read
// back must come back as filled. Failed when the chip can still be read.
void startLock(const Programmer &p, const QByteArray &image, ChipDone done);
// After a chip's result: with --signal the programmer's LED test ("tL") or buzzer test
// ("tb"), then PASS or FAIL in large letters when standard output is a terminal.
void startVerdict(const Programmer &p, bool passed, Done done);
void announceVerdict(Tool &tool, bool passed);

// Runs a step that ends with a chip's result in a local event loop.
ChipResult waitForChip(const std::function<void(ChipDone)> &step);
