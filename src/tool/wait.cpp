#include "wait.h"

Wait::Wait(int limitMs)
{
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, &m_loop, [this] { finish(TimedOut); });
    if (limitMs >= 0)
        m_limit.start(limitMs);
}

void Wait::finish(int code)
{
    if (m_finished)
        return;
    m_finished = true;
    m_code = code;
    m_limit.stop();
    m_loop.quit();
}

int Wait::run()
{
    if (!m_finished)
        m_loop.exec();
    return m_code;
}
