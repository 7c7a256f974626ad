#pragma once

// The programmer board's firmware as a plain object: bytes in, bytes out, with time.
//
// The caller feeds every received byte together with the current time in milliseconds
// (receive) and collects whatever the board has to say by a given time (takeOutput).
// Times passed in must never go backwards. nextDue() tells when the board will next have
// something to do on its own (the end of an erase or programming stage), so a caller can
// sleep until then.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vantorsim
{

enum class Chip { None, AT89C2051, AT89C4051, AT89C1051U };

// The words the board answers in. Whatever the words, the identification has at least 26
// characters, the key reports are KEY_2K, KEY_4K and KEY_1K, and S1, S2 and S4 send raw
// bytes only. Other: every other reply in other words, with other line ends, and the chip
// choice (! @ #), load (L, and the load part of Q), fill (F) and clear (X) answer nothing.
enum class Texts { Default, Other };

// "default", "other" (the spelling of the command line)
bool parseTexts(const std::string &text, Texts &texts);

// The reply texts of one wording (defined with the firmware).
struct Wording;

// "AT89C2051", ..., "none"
const char *chipName(Chip chip);
// "2051", "4051", "1051U", "none" (the spelling of the command line and control channel)
const char *chipShortName(Chip chip);
// Accepts "2051", "4051", "1051U" (also "1051", any case) and "none".
bool parseChip(const std::string &text, Chip &chip);
// Flash size in bytes; 0 for an empty socket.
std::size_t flashSize(Chip chip);
// The two signature bytes the chip reports; an empty socket reads FE FE.
std::array<std::uint8_t, 2> signatureOf(Chip chip);

// Decodes \r \n \\ and \xHH; any other backslash sequence is kept as it is.
std::string decodeEscapes(const std::string &text);

// 16-bit sum of the bytes.
std::uint16_t byteSum(const std::uint8_t *data, std::size_t size);

class Firmware
{
public:
    static constexpr std::size_t kSramSize = 8192;
    static constexpr double kEraseMs = 10.0;
    static constexpr double kProgramMsPerByte = 1.5;
    static constexpr std::uint8_t kLockBit1 = 0x01; // programming disabled
    static constexpr std::uint8_t kLockBit2 = 0x02; // verify and read disabled

    static const char *defaultIdentification();
    static const char *otherIdentification();

    Firmware();

    // Realistic erase/programming durations (off: every operation completes at once).
    void setPacing(bool on) { m_pacing = on; }
    // The words of every reply (Default at start).
    void setTexts(Texts texts);
    Texts texts() const { return m_texts; }
    // The whole reply to "i", sent as it is, whatever the words.
    void setIdentification(const std::string &reply);

    // The board's key for "2K", "4K" or "1K" is pressed: its report is sent. False (and
    // nothing sent) for any other name.
    bool pressKey(const std::string &size);

    // One byte from the line, arriving at nowMs.
    void receive(std::uint8_t byte, double nowMs);
    // Everything the board has sent by nowMs (runs whatever has become due).
    std::string takeOutput(double nowMs);
    // When the board next acts on its own; +infinity when it is idle.
    double nextDue() const;
    // True while an erase/programming sequence is running.
    bool busy() const { return !m_stages.empty(); }

    // The next read-back (S1/S2/S4) sends only its first n bytes.
    void setShortReadback(std::size_t n);
    // The next read-back sends n bytes more than asked, continuing through the SRAM.
    void setExtraReadback(std::size_t n);

    // A firmware fault: "no-clear" (X answers as usual and leaves the SRAM as it was),
    // "no-lock" (l answers as usual and leaves the lock bits clear), "sram" (a stuck SRAM
    // bit: the SRAM test fails), or "none" (ends them all). False for any other name.
    bool setFault(const std::string &name);

    // Puts another chip into the socket: erased flash, lock bits clear.
    void setSocket(Chip chip);
    Chip socket() const { return m_socket; }
    Chip selectedType() const { return m_selected; }
    // Lock bits of the chip in the socket (bit 0 = LB1, bit 1 = LB2).
    std::uint8_t lockBits() const { return m_lock; }
    void setLockBits(std::uint8_t bits) { m_lock = bits & 3; }

    const std::array<std::uint8_t, kSramSize> &sram() const { return m_sram; }
    const std::vector<std::uint8_t> &flash() const { return m_flash; }

private:
    enum class Parse {
        Command,
        LoadHi,
        LoadLo,
        LoadData,
        ReadbackSize,
        FillValue,
        DumpHi,
        DumpLo,
        Test
    };

    struct Stage {
        double durationMs;
        // Does the stage's work, appends its reply; false stops the sequence.
        std::function<bool()> run;
    };
    struct Pending {
        std::uint8_t byte;
        double atMs;
    };

    void advance(double nowMs);
    void process(std::uint8_t byte, double atMs);
    void loadByte(std::uint8_t byte, double atMs);
    void readbackSize(std::uint8_t byte);
    // One command byte, handed to its handler (the command table).
    void command(std::uint8_t byte, double atMs);
    void identify(std::uint8_t byte, double atMs);
    void selectChip(std::uint8_t byte, double atMs);
    void readSignature(std::uint8_t byte, double atMs);
    void blankCheck(std::uint8_t byte, double atMs);
    void erase(std::uint8_t byte, double atMs);
    void program(std::uint8_t byte, double atMs);
    void readFlash(std::uint8_t byte, double atMs);
    void verify(std::uint8_t byte, double atMs);
    void lock(std::uint8_t byte, double atMs);
    void programVerifyLock(std::uint8_t byte, double atMs);
    void startLoad(std::uint8_t byte, double atMs);
    void startReadback(std::uint8_t byte, double atMs);
    void startFill(std::uint8_t byte, double atMs);
    void clearSram(std::uint8_t byte, double atMs);
    void checksum(std::uint8_t byte, double atMs);
    void startDump(std::uint8_t byte, double atMs);
    void startTest(std::uint8_t byte, double atMs);
    void startStages(std::vector<Stage> stages, double atMs);
    void finishLoad(double atMs);

    void reply(const std::string &text) { m_out += text; }
    std::size_t chipSize() const { return flashSize(m_selected); }

    Stage signatureCheck();
    // Stops the operation with the locked reply while lock bit (kLockBit1, kLockBit2) is set.
    Stage lockCheck(unsigned bit);
    Stage eraseStage();
    Stage programStage();
    Stage verifyStage();
    Stage lockStage();

    void sendReadback(std::size_t size);
    void sendDump(unsigned address);
    void runTest(std::uint8_t which);
    bool sramTest();

    bool m_pacing = false;
    Texts m_texts = Texts::Default;
    const Wording *m_words;
    bool m_customIdentification = false;
    std::string m_identification;

    std::array<std::uint8_t, kSramSize> m_sram;
    Chip m_selected = Chip::AT89C2051;
    Chip m_socket = Chip::AT89C2051;
    std::vector<std::uint8_t> m_flash;
    std::uint8_t m_lock = 0;

    Parse m_parse = Parse::Command;
    bool m_loadThenProgram = false;
    std::size_t m_loadLength = 0;
    std::size_t m_loadPos = 0;
    unsigned m_dumpHi = 0;

    bool m_shortPending = false;
    std::size_t m_shortCount = 0;
    std::size_t m_extraCount = 0;
    bool m_clearIgnored = false;
    bool m_sramStuck = false;
    bool m_lockIgnored = false;

    std::deque<Stage> m_stages;
    double m_stageClock = 0.0;
    std::deque<Pending> m_pending;
    std::string m_out;
};

} // namespace vantorsim
