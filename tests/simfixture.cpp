#include "simfixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

QString simProgram()
{
    return QStringLiteral(VANTOR_SIM_PATH);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

SimProcess::SimProcess(const QStringList &arguments) : m_arguments(arguments)
{
    m_logPath = m_dir.filePath(QStringLiteral("sim.log"));
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start()
{
    QStringList args = m_arguments;
    args << QStringLiteral("--log") << m_logPath;
    // One pass of the tests through a USB adapter's latency: replies in chunks.
    const QByteArray latency = qgetenv("VANTOR_SIM_LATENCY");
    if (!latency.isEmpty())
        args << QStringLiteral("--latency") << QString::fromLatin1(latency);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(simProgram(), args);
    if (!m_process.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine() && !deadline.hasExpired())
        m_process.waitForReadyRead(100);
    if (!m_process.canReadLine())
        return false;
    m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return !m_device.isEmpty();
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QString SimProcess::control(const QString &line)
{
    m_process.write(line.toUtf8() + '\n');
    m_process.waitForBytesWritten(1000);
    const QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine() && !deadline.hasExpired()) {
        // Keep the program's own events going while the emulator answers.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        m_process.waitForReadyRead(10);
    }
    return QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

QByteArray SimProcess::received() const
{
    QFile log(m_logPath);
    if (!log.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int blank = line.lastIndexOf(' ');
        if (blank < 0)
            continue;
        bool ok = false;
        const int value = line.mid(blank + 1).trimmed().toInt(&ok, 16);
        if (ok)
            bytes.append(static_cast<char>(value));
    }
    return bytes.mid(m_mark);
}

bool SimProcess::waitReceived(int n, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (received().size() < n) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

void SimProcess::markReceived()
{
    m_mark += static_cast<int>(received().size());
}
