#pragma once

#include <QObject>

// Time as the session sees it: the milliseconds since some start, and timers on that time.
// The program runs on the system clock (QTimer underneath); tests run on a clock they move
// by hand, so that every timing rule can be checked exactly and at once.

// A timer of a clock. start() always begins a whole interval afresh; a periodic timer goes
// on ticking until stopped, a single-shot one stops after its tick.
class ClockTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;
    // A precise timer keeps to the millisecond at every interval; others may be a few per
    // cent off from 20 ms up. A clock whose timers are always exact need not tell them apart.
    virtual void setPrecise(bool precise) { Q_UNUSED(precise) }

signals:
    void timeout();
};

class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds since the clock's start.
    virtual qint64 now() const = 0;
    // A new timer on this clock, owned by parent.
    virtual ClockTimer *createTimer(QObject *parent) = 0;

    // The system's monotonic clock; timers under 20 ms are precise timers.
    static Clock &system();
};
