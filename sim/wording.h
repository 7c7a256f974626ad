#pragma once

// The reply texts of the board in each of its wordings.

#include "firmware.h"

namespace vantorsim
{

struct Wording {
    const char *identification;
    std::string (*chipSelected)(Chip selected);
    std::string (*signatureOk)(const std::array<std::uint8_t, 2> &sig, Chip selected);
    std::string (*signatureWrong)(const std::array<std::uint8_t, 2> &got,
                                  const std::array<std::uint8_t, 2> &want, Chip selected);
    const char *blank;
    std::string (*notBlank)(unsigned address);
    const char *erased;
    const char *programmed;
    const char *locked;
    const char *read;
    const char *verified;
    std::string (*verifyFailed)(unsigned first, std::size_t differ);
    const char *notErased;
    const char *lockSet;
    std::string (*loaded)(std::size_t bytes);
    std::string (*filled)(std::uint8_t value);
    const char *cleared;
    std::string (*checksum)(std::uint16_t sum);
    // One dump line: 16 bytes from start.
    std::string (*dumpLine)(unsigned start, const std::uint8_t *bytes);
    const char *sramTestOk;
    const char *sramTestFailed;
    const char *ledTest;
    const char *buzzerTest;
    const char *vppLevel;
    const char *vppHigh;
    const char *vppLow;
    const char *firmwareVersion;
    const char *unknown;
};

// The texts of one wording.
const Wording &wordingOf(Texts texts);

} // namespace vantorsim
