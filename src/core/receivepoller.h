#pragma once

#include <QObject>
#include <QString>

class Clock;
class ClockTimer;
class Transport;

// Every 100 ms: takes what the port received, appends it to the received text (UTF-8 where
// valid, other bytes as Latin-1 characters, see ReceivedText) and looks for a key report in
// all the bytes received. Both accumulate until cleared, so a report split across two reads
// is found on the second. A character that a read cuts short waits one tick for the rest;
// when none came by then, its bytes are shown as they are. The text only ever grows until
// it is cleared. A tick that finds the port closed stops the poller without a word.
class ReceivePoller : public QObject
{
    Q_OBJECT
public:
    ReceivePoller(Transport &transport, Clock &clock, QObject *parent = nullptr);

    void start();
    void stop();

    QString text() const { return m_text; }
    // Empties the text; changed() tells so even when it was empty.
    void clear();
    // The first bytes of a character are waiting for the next tick.
    bool isHoldingBytes() const { return !m_held.isEmpty() && isRunning(); }

signals:
    // Bytes were taken on this tick.
    void arrived();
    // The text holds a key report for this chip (tested on every tick).
    void keyReport(int chip);
    // The text changed (after the key report was acted on).
    void changed(const QString &text);
    // Every tick, after the others: what is to be shown, changed or not.
    void polled(const QString &text);

private:
    bool isRunning() const;
    void tick();
    void append(const QByteArray &bytes);

    Transport &m_transport;
    ClockTimer *m_timer;
    QByteArray m_received; // the bytes behind the text, for the key reports
    QByteArray m_held;
    QString m_text;
};
