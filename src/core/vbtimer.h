#pragma once

#include <QObject>
#include <QTimer>

// A periodic timer with the classic Enabled/Interval semantics:
// - an interval of 0 never ticks (a QTimer at 0 would fire on every loop pass);
// - a disabled timer does not tick;
// - enabling a disabled timer, or setting the interval, starts a whole interval afresh;
// - intervals below 20 ms ask for a precise timer.
class VbTimer : public QObject
{
    Q_OBJECT
public:
    explicit VbTimer(const QString &name, int interval = 0, QObject *parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int Interval() const { return m_interval; }
    void setInterval(int ms);

    // True while the underlying timer is armed (enabled with a non-zero interval).
    bool isTicking() const { return m_timer.isActive(); }

signals:
    void Timer();

private:
    void rearm();

    QTimer m_timer;
    bool m_enabled = false;
    int m_interval = 0;
};
