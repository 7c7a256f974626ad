#pragma once

#include <QObject>
#include <QString>

class Clock;
class ClockTimer;
class Transport;

// Every 100 ms: takes what the port received, appends it to the received text (bytes as
// Latin-1 characters, one each) and looks for a key report in the whole text. The text
// accumulates until cleared, so a report split across two reads is found on the second.
// A tick that finds the port closed stops the poller without a word.
class ReceivePoller : public QObject
{
    Q_OBJECT
public:
    ReceivePoller(Transport &transport, Clock &clock, QObject *parent = nullptr);

    void start();
    void stop();
    bool isRunning() const;

    QString text() const { return m_text; }
    void clear();

signals:
    // Bytes were taken on this tick.
    void arrived();
    // The text holds a key report for this chip (tested on every tick).
    void keyReport(int chip);
    // The text changed (after the key report was acted on).
    void changed(const QString &text);

private:
    void tick();
    void publish();

    Transport &m_transport;
    ClockTimer *m_timer;
    QString m_text;
    QString m_shown;
};
