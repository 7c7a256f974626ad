#pragma once

// The board on a pseudo-terminal: the firmware behind the master side at 9600 baud (paced
// or at once, optionally through a USB adapter's latency), and the control channel on
// standard input.

#include "firmware.h"

#include <csignal>
#include <cstdio>
#include <deque>
#include <poll.h>
#include <string>
#include <vector>

namespace vantorsim
{

class Simulator
{
public:
    bool pace = false;
    bool silent = false;
    double latencyMs = 0.0;
    std::FILE *log = nullptr;
    Firmware fw;

    bool openTerminal(std::string &slavePath);
    // Serves until "quit", the end of standard input, or SIGTERM/SIGINT/SIGHUP; the exit code.
    int run();

private:
    void readMaster(double now);
    void feed(std::uint8_t byte, double at);
    void writeMaster(double now);
    void writePaced(double now);
    void writeAtOnce();
    bool holdForLatency(double now);
    double wakeTime(double now, short &masterEvents) const;
    void serviceMaster(short revents, double now);

    // The control channel (console.cpp).
    void readControl();
    void handleLine(const std::string &line);
    bool handleAction(const std::vector<std::string> &words, const std::string &line);
    bool handleSetting(const std::vector<std::string> &words);
    bool handleMemory(const std::vector<std::string> &words);
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
    // With a latency: when the adapter next hands what it holds to the program (< 0: not
    // yet set for what is queued).
    double m_nextFlush = -1.0;
    std::deque<char> m_outQueue;
    std::string m_controlBuffer;
    bool m_controlOpen = true;
    bool m_quit = false;
};

// SIGTERM, SIGINT and SIGHUP end run(); SIGPIPE is ignored.
void installStopHandlers();

} // namespace vantorsim
