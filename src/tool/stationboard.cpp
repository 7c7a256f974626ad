#include "stationboard.h"

#include "console.h"
#include "interrupt.h"
#include "link.h"
#include "station.h"

#include <cstdio>

namespace
{

constexpr int RefreshMs = 250;

QString mark(const QString &last, bool colour)
{
    if (!colour || last.isEmpty())
        return last;
    return QStringLiteral("\x1b[1;%1m%2\x1b[0m").arg(last == "PASS" ? 32 : 31).arg(last);
}

} // namespace

StationBoard::StationBoard(const std::vector<const Station *> &stations, bool colour)
    : m_stations(stations), m_colour(colour)
{
    for (const Station *station : m_stations)
        connect(station, &Station::changed, this, [this] { refresh(); });
    connect(&m_refresh, &QTimer::timeout, this, [this] { refresh(); });
    m_refresh.start(RefreshMs);
    Console::setFooter([this] { erase(); }, [this] { draw(); });
    draw();
}

StationBoard::~StationBoard()
{
    Console::setFooter(nullptr, nullptr);
}

QString StationBoard::doing(const Station &station)
{
    switch (station.state()) {
    case Station::State::Searching:
        return QStringLiteral("searching");
    case Station::State::Idle:
        return QStringLiteral("waiting for the key");
    case Station::State::Ended:
        return station.gone() ? QStringLiteral("no programmer") : QStringLiteral("ended");
    case Station::State::Writing:
        break;
    }
    const QString progress = station.programmer().console.progressText();
    const QString step = doingText(station.programmer().link.underWay());
    return progress.isEmpty() ? step : QStringLiteral("%1 (%2)").arg(step, progress);
}

QStringList StationBoard::lines(const std::vector<Row> &rows, bool colour)
{
    QStringList out;
    int passed = 0, failed = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        passed += r.passed;
        failed += r.failed;
        out << QStringLiteral("station %1 %2: %3 passed, %4 failed; %5%6")
                   .arg(i + 1)
                   .arg(r.port)
                   .arg(r.passed)
                   .arg(r.failed)
                   .arg(r.doing, r.last.isEmpty()
                                     ? QString()
                                     : QStringLiteral("; last ") + mark(r.last, colour));
    }
    out << QStringLiteral("all stations: %1 passed, %2 failed").arg(passed).arg(failed);
    return out;
}

void StationBoard::erase()
{
    if (m_shown > 0)
        std::fprintf(stderr, "\x1b[%dA\r\x1b[J", m_shown);
    m_shown = 0;
}

void StationBoard::refresh()
{
    if (currentLines() != m_text)
        draw();
}

QStringList StationBoard::currentLines() const
{
    std::vector<Row> rows;
    for (const Station *s : m_stations) {
        const std::optional<bool> passed = s->lastPassed();
        const QString last = !passed   ? QString()
                             : *passed ? QStringLiteral("PASS")
                                       : QStringLiteral("FAIL");
        rows.push_back(
            {s->programmer().link.portName(), s->passed(), s->failed(), doing(*s), last});
    }
    return lines(rows, m_colour);
}

void StationBoard::draw()
{
    m_text = currentLines();
    erase();
    for (const QString &line : m_text)
        std::fprintf(stderr, "\x1b[2K%s\n", line.toUtf8().constData());
    std::fflush(stderr);
    m_shown = static_cast<int>(m_text.size());
}
