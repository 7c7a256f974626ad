#pragma once

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>

#include <functional>
#include <memory>

// Ctrl+C, taken on the event loop: the signal handler only writes a byte into a pipe, whose
// reading end a socket notifier watches; each Ctrl+C then calls the handler of the moment.
class Interrupt
{
public:
    Interrupt();
    ~Interrupt();

    void setHandler(std::function<void()> handler) { m_handler = std::move(handler); }

private:
    void onPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_handler;
};

// What a Ctrl+C interrupted and what it may have left on the chip, for the step under way
// (the command last sent; empty during the search) and whether the chip was programmed
// earlier in the run: "interrupted while programming: the chip may be partly programmed;
// erase and write it again".
QString interruptedText(const QByteArray &underWay, bool programmed);
// What the step under way is doing: "programming", "reading the chip", ...
QString doingText(const QByteArray &underWay);
