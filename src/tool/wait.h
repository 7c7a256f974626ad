#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

// The tool's way of waiting: runs the event loop until finish() is called (from a slot
// connected to the session's signals) or the time limit has passed. Connections made with
// context() as their receiver end with the wait.
class Wait
{
public:
    static constexpr int TimedOut = -1;

    // limitMs < 0: no limit.
    explicit Wait(int limitMs = -1);

    QObject *context() { return &m_loop; }
    void finish(int code);
    // The code given to finish(), or TimedOut.
    int run();

private:
    QEventLoop m_loop;
    QTimer m_limit;
    int m_code = TimedOut;
    bool m_finished = false;
};
