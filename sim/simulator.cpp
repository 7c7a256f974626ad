#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vantorsim
{

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

// SIGTERM/SIGINT/SIGHUP are only delivered inside ppoll, so a stop request can never slip in
// between checking the flag and going to sleep. Returns the mask to wait with.
sigset_t blockStopSignals()
{
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&blocked, sig);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&waitMask, sig);
    return waitMask;
}

timespec *timeoutUntil(double wakeAt, double now, timespec &timeout)
{
    if (!std::isfinite(wakeAt))
        return nullptr;
    const double waitMs = std::fmax(0.0, wakeAt - now);
    const double waitNs = std::ceil(waitMs * 1.0e6);
    timeout.tv_sec = static_cast<time_t>(waitNs / 1.0e9);
    timeout.tv_nsec = static_cast<long>(waitNs - static_cast<double>(timeout.tv_sec) * 1.0e9);
    return &timeout;
}

} // namespace

void installStopHandlers()
{
    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

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
    m_nextFlush = -1.0;
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

// A USB adapter hands what it has received to the program only when its latency timer
// runs out: on a fixed grid of latencyMs from the start. True while it still holds on.
bool Simulator::holdForLatency(double now)
{
    if (latencyMs <= 0.0)
        return false;
    const double nextTick = m_start + (std::floor((now - m_start) / latencyMs) + 1.0) * latencyMs;
    if (m_nextFlush < 0.0) {
        m_nextFlush = nextTick;
        return true;
    }
    if (now < m_nextFlush)
        return true;
    m_nextFlush = nextTick;
    return false;
}

void Simulator::writeMaster(double now)
{
    if (m_master < 0 || m_outQueue.empty()) {
        m_nextFlush = -1.0;
        return;
    }
    if (pace) {
        if (m_sendIdle)
            m_nextSend = std::fmax(m_nextSend, now);
        m_sendIdle = false;
        if (!holdForLatency(now))
            writePaced(now);
    } else if (!holdForLatency(now)) {
        writeAtOnce();
    }
}

void Simulator::writePaced(double now)
{
    char buf[4096];
    const std::size_t len = std::min({bytesDue(m_nextSend, now), m_outQueue.size(), sizeof buf});
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
}

void Simulator::writeAtOnce()
{
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

// When to wake up on our own, and what to wait for on the master side.
double Simulator::wakeTime(double now, short &masterEvents) const
{
    double wakeAt = fw.nextDue();
    masterEvents = 0;
    if (!pace || now >= m_nextRead)
        masterEvents |= POLLIN;
    else
        wakeAt = std::fmin(wakeAt, m_nextRead);
    if (!m_outQueue.empty()) {
        if (m_waitWritable)
            masterEvents |= POLLOUT;
        else if (latencyMs > 0.0 && m_nextFlush >= 0.0)
            wakeAt = std::fmin(wakeAt, m_nextFlush);
        else if (pace)
            wakeAt = std::fmin(wakeAt, m_nextSend);
    }
    return wakeAt;
}

void Simulator::serviceMaster(short revents, double now)
{
    if (revents & (POLLERR | POLLNVAL)) {
        unplug();
        return;
    }
    if (revents & POLLOUT)
        m_waitWritable = false;
    // Paced, every pass that finds a byte due tries to take it: an empty read marks the
    // line idle, so the next byte starts a new burst.
    if ((revents & (POLLIN | POLLHUP)) || (pace && now >= m_nextRead))
        readMaster(now);
}

int Simulator::run()
{
    m_start = monotonicMs();
    const int inFlags = fcntl(STDIN_FILENO, F_GETFL);
    if (inFlags >= 0)
        fcntl(STDIN_FILENO, F_SETFL, inFlags | O_NONBLOCK);
    const sigset_t waitMask = blockStopSignals();
    while (!g_stop && !m_quit && m_controlOpen) {
        double now = monotonicMs();
        m_fwClock = std::fmax(m_fwClock, now);
        send(fw.takeOutput(m_fwClock));
        writeMaster(now);

        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {m_master, 0, 0}};
        double wakeAt = fw.nextDue();
        if (m_master >= 0)
            wakeAt = wakeTime(now, fds[1].events);
        timespec timeout{};
        const nfds_t nfds = m_master >= 0 ? 2 : 1;
        if (ppoll(fds, nfds, timeoutUntil(wakeAt, now, timeout), &waitMask) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("vantor-sim: poll");
            return 1;
        }
        now = monotonicMs();
        if (nfds == 2)
            serviceMaster(fds[1].revents, now);
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
            readControl();
    }
    unplug();
    return 0;
}

} // namespace vantorsim
