#include "console.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace
{

void put(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

constexpr int BarWidth = 30;

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

} // namespace

Console::Console() : m_tty(stderrIsTerminal()) {}

void Console::breakBar()
{
    if (m_barShown) {
        put(stderr, QStringLiteral("\n"));
        m_barShown = false;
    }
}

void Console::reply(const QString &text)
{
    if (text.isEmpty())
        return;
    breakBar();
    put(stdout, text);
    m_replyOpen = !text.endsWith(QLatin1Char('\n'));
}

void Console::endReply()
{
    if (m_replyOpen)
        put(stdout, QStringLiteral("\n"));
    m_replyOpen = false;
}

void Console::result(const QString &line)
{
    breakBar();
    put(stdout, line + QLatin1Char('\n'));
}

void Console::status(const QString &line)
{
    if (m_quiet)
        return;
    breakBar();
    put(stderr, line + QLatin1Char('\n'));
}

void Console::error(const QString &line)
{
    breakBar();
    put(stderr, QStringLiteral("vantor-cli: ") + line + QLatin1Char('\n'));
}

void Console::progressStart(const QString &label, int total)
{
    m_label = label;
    m_total = total;
    m_lastShown = -1;
    m_active = true;
}

void Console::drawBar(int done)
{
    const int filled = m_total > 0 ? done * BarWidth / m_total : BarWidth;
    const int percent = m_total > 0 ? done * 100 / m_total : 100;
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-'));
    put(stderr, QStringLiteral("\r%1 [%2] %3/%4 bytes %5%")
                    .arg(m_label, bar)
                    .arg(done)
                    .arg(m_total)
                    .arg(percent, 3));
    m_barShown = true;
}

void Console::progress(int done)
{
    if (m_quiet || !m_active)
        return;
    done = qBound(0, done, m_total);
    const int percent = m_total > 0 ? done * 100 / m_total : 100;
    if (m_tty) {
        if (percent == m_lastShown && m_barShown)
            return;
        m_lastShown = percent;
        drawBar(done);
        return;
    }
    const int quarter = percent / 25;
    if (quarter == m_lastShown || (quarter == 4 && done < m_total))
        return;
    m_lastShown = quarter;
    put(stderr,
        QStringLiteral("%1: %2/%3 bytes (%4%)\n").arg(m_label).arg(done).arg(m_total).arg(percent));
}

void Console::progressEnd(int done)
{
    if (!m_active)
        return;
    if (!m_quiet) {
        if (m_tty) {
            drawBar(qBound(0, done, m_total));
            breakBar();
        } else if (done < m_total) {
            put(stderr,
                QStringLiteral("%1: stopped at %2/%3 bytes\n").arg(m_label).arg(done).arg(m_total));
        } else {
            progress(done);
        }
    }
    m_active = false;
}
