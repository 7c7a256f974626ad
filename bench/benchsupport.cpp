#include "benchsupport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace bench
{

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1.0e6;
}

namespace
{

double cpuMsOf(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto ms = [](const timeval &tv) {
        return static_cast<double>(tv.tv_sec) * 1000.0 + static_cast<double>(tv.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

double cpuMs()
{
    return cpuMsOf(RUSAGE_SELF);
}

double childrenCpuMs()
{
    return cpuMsOf(RUSAGE_CHILDREN);
}

long sleeps()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

namespace
{
QtMessageHandler g_previousHandler = nullptr;

void filterNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}
} // namespace

void setUpEnvironment(bool offscreen)
{
    if (offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static QTemporaryDir runtime;
        if (runtime.isValid())
            qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    }
}

void quietOffscreenNotes()
{
    g_previousHandler = qInstallMessageHandler(filterNotes);
}

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:")) {
            bool ok = false;
            const long kb = line.mid(6).trimmed().split(' ').value(0).toLong(&ok);
            return ok ? kb : -1;
        }
    }
    return -1;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2.0;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

bool EventWait::run(int timeoutMs)
{
    if (m_done())
        return true;
    QEventLoop loop;
    m_loop = &loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(timeoutMs);
    loop.exec();
    m_loop = nullptr;
    return m_done();
}

void EventWait::check()
{
    if (m_loop && m_done())
        m_loop->quit();
}

} // namespace bench
