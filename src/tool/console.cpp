#include "console.h"

#include <QJsonDocument>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace
{

// What is kept under everything written to the terminal (see Console::setFooter).
std::function<void()> footerErase;
std::function<void()> footerDraw;

void put(FILE *stream, const QString &text)
{
    if (footerErase)
        footerErase();
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
    if (footerDraw)
        footerDraw();
}

void putJson(const QJsonObject &object)
{
    put(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n'));
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

bool Console::stderrTerminal()
{
    return stderrIsTerminal();
}

void Console::setFooter(std::function<void()> erase, std::function<void()> draw)
{
    footerErase = std::move(erase);
    footerDraw = std::move(draw);
}

void Console::json(QJsonObject object) const
{
    if (m_station > 0)
        object.insert(QStringLiteral("station"), m_station);
    putJson(object);
}

QString Console::prefixed(const QString &line) const
{
    return m_station > 0 ? QStringLiteral("station %1: %2").arg(m_station).arg(line) : line;
}

QString Console::progressText() const
{
    if (!m_active)
        return QString();
    const int percent = m_total > 0 ? m_done * 100 / m_total : 100;
    return QStringLiteral("%1 %2%").arg(m_label).arg(percent);
}

// A station's reply text goes out a whole line at a time, each line saying whose it is.
void Console::stationReply(const QString &text)
{
    m_replyLine += text;
    qsizetype end = 0;
    while ((end = m_replyLine.indexOf(QLatin1Char('\n'))) >= 0) {
        put(stdout, prefixed(m_replyLine.left(end)) + QLatin1Char('\n'));
        m_replyLine.remove(0, end + 1);
    }
}

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
    if (!m_json && m_station > 0) {
        stationReply(text);
        return;
    }
    if (!m_json) {
        breakBar();
        put(stdout, text);
        m_replyOpen = !text.endsWith(QLatin1Char('\n'));
        return;
    }
    m_replyLine += text;
    qsizetype end = 0;
    while ((end = m_replyLine.indexOf(QLatin1Char('\n'))) >= 0) {
        json({{"event", "reply"}, {"text", m_replyLine.left(end)}});
        m_replyLine.remove(0, end + 1);
    }
}

void Console::endReply()
{
    if (m_json && !m_replyLine.isEmpty())
        json({{"event", "reply"}, {"text", m_replyLine}});
    if (!m_json && !m_replyLine.isEmpty())
        put(stdout, prefixed(m_replyLine) + QLatin1Char('\n'));
    if (!m_json && m_replyOpen)
        put(stdout, QStringLiteral("\n"));
    m_replyLine.clear();
    m_replyOpen = false;
}

void Console::result(const QString &line, const QJsonObject &details)
{
    if (m_json) {
        QJsonObject object = details;
        if (!object.contains(QStringLiteral("event")))
            object.insert(QStringLiteral("event"), QStringLiteral("result"));
        object.insert(QStringLiteral("text"), line);
        json(object);
        return;
    }
    breakBar();
    put(stdout, prefixed(line) + QLatin1Char('\n'));
}

void Console::event(const QJsonObject &event)
{
    if (m_json)
        json(event);
}

void Console::status(const QString &line)
{
    if (m_quiet)
        return;
    breakBar();
    put(stderr, prefixed(line) + QLatin1Char('\n'));
}

void Console::error(const QString &line)
{
    breakBar();
    put(stderr, QStringLiteral("vantor-cli: ") + prefixed(line) + QLatin1Char('\n'));
    if (m_json)
        json({{"event", "error"}, {"text", line}});
}

void Console::done(int code)
{
    if (m_json)
        json({{"event", "done"}, {"exit", code}});
}

void Console::progressStart(const QString &label, int total)
{
    m_label = label;
    m_total = total;
    m_lastShown = -1;
    m_lastEvent = -1;
    m_done = 0;
    m_active = true;
    progressEvent(0);
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

void Console::progressEvent(int done)
{
    const int quarter = m_total > 0 ? done * 4 / m_total : 4;
    if (!m_json || quarter == m_lastEvent || (quarter == 4 && done < m_total))
        return;
    m_lastEvent = quarter;
    json({{"event", "progress"}, {"what", m_label}, {"done", done}, {"total", m_total}});
}

void Console::progressLine(int done)
{
    const int percent = m_total > 0 ? done * 100 / m_total : 100;
    const int quarter = percent / 25;
    if (quarter == m_lastShown || (quarter == 4 && done < m_total))
        return;
    m_lastShown = quarter;
    put(stderr,
        QStringLiteral("%1: %2/%3 bytes (%4%)\n").arg(m_label).arg(done).arg(m_total).arg(percent));
}

void Console::progress(int done)
{
    if (!m_active)
        return;
    done = qBound(0, done, m_total);
    m_done = done;
    progressEvent(done);
    if (m_quiet || m_station > 0)
        return; // a station's progress is on the status board
    const int percent = m_total > 0 ? done * 100 / m_total : 100;
    if (!m_tty) {
        progressLine(done);
    } else if (percent != m_lastShown || !m_barShown) {
        m_lastShown = percent;
        drawBar(done);
    }
}

void Console::progressEnd(int done)
{
    if (!m_active)
        return;
    done = qBound(0, done, m_total);
    progressEvent(done);
    m_active = false;
    if (m_quiet || m_station > 0)
        return;
    if (m_tty) {
        drawBar(done);
        breakBar();
    } else if (done < m_total) {
        put(stderr,
            QStringLiteral("%1: stopped at %2/%3 bytes\n").arg(m_label).arg(done).arg(m_total));
    } else {
        progressLine(done);
    }
}
