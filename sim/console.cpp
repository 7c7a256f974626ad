// The emulator's control channel: one command a line on standard input, one answer a line
// on standard output.

#include "options.h"
#include "simulator.h"

#include <cerrno>
#include <unistd.h>

namespace vantorsim
{

namespace
{

std::vector<std::string> splitWords(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

std::string hexBytes(const std::uint8_t *data, std::size_t n)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        if (i)
            out += ' ';
        out += buf;
    }
    return out;
}

} // namespace

void Simulator::answer(const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Simulator::readControl()
{
    char buf[4096];
    const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        m_controlOpen = false;
        return;
    }
    m_controlBuffer.append(buf, static_cast<std::size_t>(n));
    std::size_t pos;
    while (!m_quit && (pos = m_controlBuffer.find('\n')) != std::string::npos) {
        std::string line = m_controlBuffer.substr(0, pos);
        m_controlBuffer.erase(0, pos + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        handleLine(line);
    }
}

void Simulator::handleLine(const std::string &line)
{
    const std::vector<std::string> words = splitWords(line);
    if (words.empty() ||
        (!handleAction(words, line) && !handleSetting(words) && !handleMemory(words)))
        answer("error unknown command");
}

// send, unplug, state, quit.
bool Simulator::handleAction(const std::vector<std::string> &words, const std::string &line)
{
    const std::string &cmd = words[0];
    if (cmd == "send") {
        // Everything after "send " is the text, blanks included.
        const std::size_t at = line.find("send") + 4;
        send(decodeEscapes(at < line.size() ? line.substr(at + 1) : std::string()));
    } else if (cmd == "unplug" && words.size() == 1) {
        unplug();
    } else if (cmd == "state" && words.size() == 1) {
        char buf[160];
        std::snprintf(
            buf, sizeof buf, "state sram_sum=%04X flash_sum=%04X type=%s socket=%s lock=%u",
            byteSum(fw.sram().data(), 4096), byteSum(fw.flash().data(), fw.flash().size()),
            chipShortName(fw.selectedType()), chipShortName(fw.socket()), unsigned{fw.lockBits()});
        answer(buf);
        return true;
    } else if (cmd == "quit" && words.size() == 1) {
        m_quit = true;
    } else {
        return false;
    }
    answer("ok");
    return true;
}

// key, fault, short, extra, chip: one argument each.
bool Simulator::handleSetting(const std::vector<std::string> &words)
{
    if (words.size() != 2)
        return false;
    const std::string &cmd = words[0];
    bool ok = true;
    if (cmd == "key") {
        ok = fw.pressKey(words[1]);
    } else if (cmd == "fault") {
        ok = fw.setFault(words[1]);
    } else if (cmd == "short" || cmd == "extra") {
        unsigned long n = 0;
        ok = parseNumber(words[1], n);
        if (ok)
            cmd == "short" ? fw.setShortReadback(n) : fw.setExtraReadback(n);
    } else if (cmd == "chip") {
        Chip chip;
        ok = parseChip(words[1], chip);
        if (ok)
            fw.setSocket(chip);
    } else {
        return false;
    }
    answer(ok ? "ok" : "error bad argument");
    return true;
}

// flash ADDR N, sram ADDR N.
bool Simulator::handleMemory(const std::vector<std::string> &words)
{
    const std::string &cmd = words[0];
    if ((cmd != "flash" && cmd != "sram") || words.size() != 3)
        return false;
    unsigned long addr = 0;
    unsigned long n = 0;
    if (!parseNumber(words[1], addr) || !parseNumber(words[2], n)) {
        answer("error bad argument");
        return true;
    }
    const std::uint8_t *data = cmd == "flash" ? fw.flash().data() : fw.sram().data();
    const std::size_t size = cmd == "flash" ? fw.flash().size() : fw.sram().size();
    if (addr > size || n > size - addr)
        answer("error out of range");
    else
        answer(hexBytes(data + addr, n));
    return true;
}

} // namespace vantorsim
