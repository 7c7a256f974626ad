#pragma once

// Shared pieces of the benchmark programs: clocks, the process's own resource use and
// event-driven waits. The emulator is run through the tests' SimProcess; dialogs are
// answered by the tests' scripted back-end.

#include "scripteddialogs.h"
#include "simfixture.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QEventLoop;

namespace bench
{

// CLOCK_MONOTONIC in milliseconds (comparable between processes of this machine).
double nowMs();
// User plus system CPU time of this process so far, in milliseconds.
double cpuMs();
// The same of the child processes waited for so far.
double childrenCpuMs();
// Voluntary context switches of this process so far: how often it went to sleep.
long sleeps();
// Peak resident set size (VmHWM) of this process, in KiB; -1 when unknown.
long peakRssKb();
// Median of the values (0 when empty).
double median(QList<double> values);
// Before the application object: the offscreen platform unless QT_QPA_PLATFORM names
// another (when offscreen is true), and a private XDG_RUNTIME_DIR when none is set.
void setUpEnvironment(bool offscreen);
// Drops the offscreen platform's notes about window features it does not have.
void quietOffscreenNotes();
// Formats a number with the given number of decimals.
QString fixed(double value, int decimals = 1);

// Runs the event loop until done() holds, re-testing it whenever one of the signals
// connected through wakeOn() fires; gives up after timeoutMs. No polling: the wait itself
// costs no CPU.
class EventWait : public QObject
{
    Q_OBJECT
public:
    explicit EventWait(std::function<bool()> done) : m_done(std::move(done)) {}

    template <typename Sender, typename Signal> EventWait &wakeOn(Sender *sender, Signal signal)
    {
        connect(sender, signal, this, &EventWait::check);
        return *this;
    }
    // True when done() held before the time-out.
    bool run(int timeoutMs);

private:
    void check();
    std::function<bool()> m_done;
    QEventLoop *m_loop = nullptr;
};

} // namespace bench
