// vantor-sim: the programmer board on a pseudo-terminal.
//
// Prints the slave device path as the first line of standard output, then serves the
// firmware model on the master side and a line-based control channel on standard input.

#include "firmware.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>
#ifdef __linux__
#include <sys/prctl.h>
#endif

using vantorsim::Chip;
using vantorsim::Firmware;

namespace
{

// One character on a 9600-baud 8N1 line: 10 bits.
constexpr double kByteMs = 10.0 / 9.6;

// How many bytes a line that became free at freeAt has carried by now (at least one once
// now has reached freeAt): byte k of a burst is due at freeAt + k * kByteMs.
std::size_t bytesDue(double freeAt, double now)
{
    if (now < freeAt)
        return 0;
    return static_cast<std::size_t>(std::floor((now - freeAt) / kByteMs)) + 1;
}

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1.0e6;
}

void usage(std::FILE *to)
{
    std::fputs("usage: vantor-sim [--pace] [--chip 2051|4051|1051U|none] [--id TEXT] [--silent]\n"
               "                  [--texts default|other] [--log FILE]\n"
               "       vantor-sim --help | --version\n",
               to);
}

bool parseNumber(const std::string &text, unsigned long &value)
{
    if (text.empty())
        return false;
    int base = 10;
    std::string digits = text;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        digits = text.substr(2);
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+')
        return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtoul(digits.c_str(), &end, base);
    return errno == 0 && end && *end == '\0';
}

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

class Simulator
{
public:
    bool pace = false;
    bool silent = false;
    std::FILE *log = nullptr;
    Firmware fw;

    bool openTerminal(std::string &slavePath);
    int run();

private:
    void readMaster(double now);
    void feed(std::uint8_t byte, double at);
    void writeMaster(double now);
    void readControl();
    void handleLine(std::string line);
    void answer(const std::string &text);
    void send(const std::string &bytes);
    void unplug();

    int m_master = -1;
    int m_slave = -1;
    double m_start = 0.0;
    // Latest time handed to the firmware (its clock must never go backwards).
    double m_fwClock = 0.0;
    // Paced line, one deadline per direction: when the next byte may be taken or sent.
    // Deadlines advance by exactly one byte time per byte, so late wake-ups are caught up
    // within a burst; a direction that went idle starts its next burst when data shows up.
    double m_nextRead = 0.0;
    bool m_readIdle = true;
    double m_nextSend = 0.0;
    bool m_sendIdle = true;
    bool m_waitWritable = false;
    std::deque<char> m_outQueue;
    std::string m_controlBuffer;
    bool m_controlOpen = true;
    bool m_quit = false;
};

bool Simulator::openTerminal(std::string &slavePath)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        std::perror("vantor-sim: pseudo-terminal");
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        std::perror("vantor-sim: ptsname");
        return false;
    }
    slavePath = name;
    // Holding the slave open keeps the master from seeing hang-ups while the program
    // closes and reopens the port.
    m_slave = open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        std::perror("vantor-sim: open slave");
        return false;
    }
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0) {
        std::perror("vantor-sim: tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        std::perror("vantor-sim: tcsetattr");
        return false;
    }
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void Simulator::answer(const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Simulator::send(const std::string &bytes)
{
    if (silent || m_master < 0 || bytes.empty())
        return;
    if (m_outQueue.empty())
        m_sendIdle = true;
    m_outQueue.insert(m_outQueue.end(), bytes.begin(), bytes.end());
}

void Simulator::unplug()
{
    if (m_master >= 0)
        close(m_master);
    if (m_slave >= 0)
        close(m_slave);
    m_master = -1;
    m_slave = -1;
    m_outQueue.clear();
    m_waitWritable = false;
}

void Simulator::feed(std::uint8_t byte, double at)
{
    at = std::fmax(at, m_fwClock);
    m_fwClock = at;
    if (log) {
        std::fprintf(log, "%.3f %02X\n", at - m_start, byte);
        std::fflush(log);
    }
    fw.receive(byte, at);
}

void Simulator::readMaster(double now)
{
    std::uint8_t buf[4096];
    if (!pace) {
        const ssize_t n = read(m_master, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i)
            feed(buf[i], now);
        return;
    }
    // A byte that finds the line idle starts a new burst now.
    if (m_readIdle)
        m_nextRead = std::fmax(m_nextRead, now);
    const std::size_t want = std::min(bytesDue(m_nextRead, now), sizeof buf);
    if (want == 0)
        return;
    const ssize_t n = read(m_master, buf, want);
    if (n <= 0) {
        m_readIdle = true;
        return;
    }
    for (ssize_t i = 0; i < n; ++i)
        feed(buf[i], m_nextRead + static_cast<double>(i) * kByteMs);
    m_nextRead += static_cast<double>(n) * kByteMs;
    m_readIdle = static_cast<std::size_t>(n) < want;
}

void Simulator::writeMaster(double now)
{
    if (m_master < 0 || m_outQueue.empty())
        return;
    if (pace) {
        if (m_sendIdle)
            m_nextSend = std::fmax(m_nextSend, now);
        m_sendIdle = false;
        char buf[4096];
        const std::size_t len =
            std::min({bytesDue(m_nextSend, now), m_outQueue.size(), sizeof buf});
        if (len == 0)
            return;
        std::copy_n(m_outQueue.begin(), len, buf);
        const ssize_t n = write(m_master, buf, len);
        if (n > 0) {
            m_outQueue.erase(m_outQueue.begin(), m_outQueue.begin() + n);
            m_nextSend += static_cast<double>(n) * kByteMs;
        }
        m_waitWritable =
            n < 0 ? (errno == EAGAIN || errno == EWOULDBLOCK) : static_cast<std::size_t>(n) < len;
        // The program not reading is no wake-up delay: pick up from when room shows up.
        if (m_waitWritable)
            m_sendIdle = true;
        return;
    }
    while (!m_outQueue.empty()) {
        char buf[4096];
        std::size_t len = 0;
        while (len < sizeof buf && len < m_outQueue.size()) {
            buf[len] = m_outQueue[len];
            ++len;
        }
        const ssize_t n = write(m_master, buf, len);
        if (n <= 0) {
            m_waitWritable = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            return;
        }
        m_outQueue.erase(m_outQueue.begin(), m_outQueue.begin() + n);
    }
    m_waitWritable = false;
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

void Simulator::handleLine(std::string line)
{
    const std::vector<std::string> words = splitWords(line);
    if (words.empty()) {
        answer("error unknown command");
        return;
    }
    const std::string &cmd = words[0];
    if (cmd == "send") {
        // Everything after "send " is the text, blanks included.
        const std::size_t at = line.find("send") + 4;
        send(vantorsim::decodeEscapes(at < line.size() ? line.substr(at + 1) : std::string()));
        answer("ok");
    } else if ((cmd == "key" || cmd == "fault") && words.size() == 2) {
        const bool ok = cmd == "key" ? fw.pressKey(words[1]) : fw.setFault(words[1]);
        answer(ok ? "ok" : "error bad argument");
    } else if (cmd == "unplug" && words.size() == 1) {
        unplug();
        answer("ok");
    } else if ((cmd == "short" || cmd == "extra") && words.size() == 2) {
        unsigned long n = 0;
        if (!parseNumber(words[1], n)) {
            answer("error bad argument");
            return;
        }
        cmd == "short" ? fw.setShortReadback(n) : fw.setExtraReadback(n);
        answer("ok");
    } else if (cmd == "chip" && words.size() == 2) {
        Chip chip;
        if (!vantorsim::parseChip(words[1], chip)) {
            answer("error bad argument");
            return;
        }
        fw.setSocket(chip);
        answer("ok");
    } else if (cmd == "state" && words.size() == 1) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "state sram_sum=%04X flash_sum=%04X type=%s socket=%s lock=%u",
                      vantorsim::byteSum(fw.sram().data(), 4096),
                      vantorsim::byteSum(fw.flash().data(), fw.flash().size()),
                      vantorsim::chipShortName(fw.selectedType()),
                      vantorsim::chipShortName(fw.socket()), unsigned{fw.lockBits()});
        answer(buf);
    } else if ((cmd == "flash" || cmd == "sram") && words.size() == 3) {
        unsigned long addr = 0;
        unsigned long n = 0;
        if (!parseNumber(words[1], addr) || !parseNumber(words[2], n)) {
            answer("error bad argument");
            return;
        }
        const std::uint8_t *data = cmd == "flash" ? fw.flash().data() : fw.sram().data();
        const std::size_t size = cmd == "flash" ? fw.flash().size() : fw.sram().size();
        if (addr > size || n > size - addr) {
            answer("error out of range");
            return;
        }
        answer(hexBytes(data + addr, n));
    } else if (cmd == "quit" && words.size() == 1) {
        answer("ok");
        m_quit = true;
    } else {
        answer("error unknown command");
    }
}

int Simulator::run()
{
    m_start = monotonicMs();
    const int inFlags = fcntl(STDIN_FILENO, F_GETFL);
    if (inFlags >= 0)
        fcntl(STDIN_FILENO, F_SETFL, inFlags | O_NONBLOCK);

    // SIGTERM/SIGINT/SIGHUP are only delivered inside ppoll, so a stop request can never slip
    // in between checking the flag and going to sleep.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGHUP);

    while (!g_stop && !m_quit && m_controlOpen) {
        double now = monotonicMs();
        m_fwClock = std::fmax(m_fwClock, now);
        send(fw.takeOutput(m_fwClock));
        writeMaster(now);

        double wakeAt = fw.nextDue();
        pollfd fds[2];
        nfds_t nfds = 0;
        fds[nfds++] = {STDIN_FILENO, POLLIN, 0};
        int masterIndex = -1;
        if (m_master >= 0) {
            short events = 0;
            if (!pace || now >= m_nextRead)
                events |= POLLIN;
            else
                wakeAt = std::fmin(wakeAt, m_nextRead);
            if (!m_outQueue.empty()) {
                if (m_waitWritable)
                    events |= POLLOUT;
                else if (pace)
                    wakeAt = std::fmin(wakeAt, m_nextSend);
            }
            masterIndex = static_cast<int>(nfds);
            fds[nfds++] = {m_master, events, 0};
        }

        timespec timeout{};
        timespec *timeoutPtr = nullptr;
        if (std::isfinite(wakeAt)) {
            const double waitMs = std::fmax(0.0, wakeAt - now);
            const double waitNs = std::ceil(waitMs * 1.0e6);
            timeout.tv_sec = static_cast<time_t>(waitNs / 1.0e9);
            timeout.tv_nsec =
                static_cast<long>(waitNs - static_cast<double>(timeout.tv_sec) * 1.0e9);
            timeoutPtr = &timeout;
        }
        const int ready = ppoll(fds, nfds, timeoutPtr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("vantor-sim: poll");
            return 1;
        }
        now = monotonicMs();
        if (masterIndex >= 0) {
            const short rev = fds[masterIndex].revents;
            if (rev & (POLLERR | POLLNVAL)) {
                unplug();
            } else {
                if (rev & POLLOUT)
                    m_waitWritable = false;
                // Paced, every pass that finds a byte due tries to take it: an empty read
                // marks the line idle, so the next byte starts a new burst.
                if ((rev & (POLLIN | POLLHUP)) || (pace && now >= m_nextRead))
                    readMaster(now);
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
            readControl();
    }
    unplug();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Simulator sim;
    Chip chip = Chip::AT89C2051;
    const char *logPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--pace") {
            sim.pace = true;
        } else if (arg == "--silent") {
            sim.silent = true;
        } else if (arg == "--chip" && hasValue) {
            if (!vantorsim::parseChip(argv[++i], chip)) {
                std::fprintf(stderr, "vantor-sim: unknown chip '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--texts" && hasValue) {
            vantorsim::Texts texts;
            if (!vantorsim::parseTexts(argv[++i], texts)) {
                std::fprintf(stderr, "vantor-sim: unknown texts '%s'\n", argv[i]);
                return 2;
            }
            sim.fw.setTexts(texts);
        } else if (arg == "--id" && hasValue) {
            sim.fw.setIdentification(vantorsim::decodeEscapes(argv[++i]));
        } else if (arg == "--log" && hasValue) {
            logPath = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("vantor-sim %s\n", VANTOR_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "vantor-sim: bad argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    sim.fw.setPacing(sim.pace);
    sim.fw.setSocket(chip);

    if (logPath) {
        sim.log = std::fopen(logPath, "w");
        if (!sim.log) {
            std::perror("vantor-sim: log file");
            return 1;
        }
    }

    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

#ifdef __linux__
    // Wake-ups close to the asked time keep the 9600-baud pacing close to the real line.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif

    std::string slavePath;
    if (!sim.openTerminal(slavePath))
        return 1;
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    const int rc = sim.run();
    if (sim.log)
        std::fclose(sim.log);
    return rc;
}
