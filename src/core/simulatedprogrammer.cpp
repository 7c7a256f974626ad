#include "simulatedprogrammer.h"

#include <QDeadlineTimer>

SimulatedProgrammer::~SimulatedProgrammer()
{
    stop();
}

QString SimulatedProgrammer::start(const QString &program, const QStringList &arguments,
                                   QString *error)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(5000)) {
        *error = m_process.errorString();
        return QString();
    }
    const QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine() && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    }
    if (!m_process.canReadLine()) {
        *error = QStringLiteral("the emulator did not name its device");
        stop();
        return QString();
    }
    return QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

void SimulatedProgrammer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    if (!m_process.waitForFinished(1000)) {
        m_process.terminate();
        if (!m_process.waitForFinished(1000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}
