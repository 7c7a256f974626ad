// write FILE --repeat: a production run on one programmer or several (stations), all on the
// event loop. Each chip is written and compared with the image; each station then waits for
// its next one: its programmer's key (a key report), or Enter, which starts every waiting
// station. Ctrl+C while chips are written stops the run after them (a second one stops at
// once); between chips Ctrl+C or the end of input ends the run with a summary. A programmer
// that goes away ends its station; the others go on, and the run ends with NoProgrammer.
#include "commands.h"
#include "console.h"
#include "exitcode.h"
#include "productionrecord.h"
#include "station.h"
#include "stationboard.h"
#include "stations.h"
#include "tool.h"
#include "verdict.h"
#include "wait.h"

#include <QSocketNotifier>

#include <memory>
#include <vector>

#include <unistd.h>

namespace
{

// A station's own link and console, when the run has several.
struct StationLink {
    StationLink(const Options &options, const StationPort &port) : link(options, console)
    {
        console.setQuiet(options.quiet);
        console.setJson(options.json);
        link.setPort(port.source, port.value);
    }
    Console console;
    Link link;
};

class Production
{
public:
    Production(Tool &tool, RunRecord &record, const QByteArray &image, const QString &path);
    int run(const QList<StationPort> &ports);

private:
    int addStations(const QList<StationPort> &ports);
    std::unique_ptr<StationBoard> showBoard() const;
    void onInput();
    void onInterrupt();
    void onChanged();
    bool anyWriting() const;
    void closeAll();
    int exitCode() const;
    void summary();

    Tool &m_tool;
    RunRecord &m_record;
    const QByteArray &m_image;
    const QString &m_path;
    std::vector<std::unique_ptr<StationLink>> m_links;
    std::vector<std::unique_ptr<Station>> m_stations;
    QSocketNotifier m_input{STDIN_FILENO, QSocketNotifier::Read};
    Wait m_end;
    bool m_stopping = false; // Ctrl+C came while chips were written
};

Production::Production(Tool &tool, RunRecord &record, const QByteArray &image, const QString &path)
    : m_tool(tool), m_record(record), m_image(image), m_path(path)
{
    QObject::connect(&m_input, &QSocketNotifier::activated, [this] { onInput(); });
}

int Production::addStations(const QList<StationPort> &ports)
{
    if (ports.size() <= 1) {
        m_stations.push_back(
            std::make_unique<Station>(m_tool.programmer(), m_record, m_image, m_path));
        return Success;
    }
    for (const StationPort &port : ports) {
        m_links.push_back(std::make_unique<StationLink>(m_tool.options, port));
        StationLink &s = *m_links.back();
        const int number = static_cast<int>(m_links.size());
        s.console.setStation(number);
        if (const int rc = s.link.prepare(true); rc != Success)
            return rc;
        m_stations.push_back(std::make_unique<Station>(
            Programmer{m_tool.options, s.link, s.console, number}, m_record, m_image, m_path));
    }
    return Success;
}

int Production::run(const QList<StationPort> &ports)
{
    if (const int rc = addStations(ports); rc != Success)
        return rc;
    m_tool.interrupt.setHandler([this] { onInterrupt(); });
    for (const auto &station : m_stations) {
        QObject::connect(station.get(), &Station::changed, m_end.context(),
                         [this] { onChanged(); });
        station->start();
    }
    std::unique_ptr<StationBoard> board = showBoard();
    m_end.run();
    board.reset();
    m_tool.interrupt.setHandler([this] { m_tool.stopNow(); });
    summary();
    return exitCode();
}

// Several stations on a terminal are shown on a board, which stays when the run is over.
std::unique_ptr<StationBoard> Production::showBoard() const
{
    if (m_stations.size() < 2 || !Console::stderrTerminal() || m_tool.options.quiet)
        return nullptr;
    std::vector<const Station *> stations;
    for (const auto &station : m_stations)
        stations.push_back(station.get());
    return std::make_unique<StationBoard>(
        stations, Verdict::colourWanted(m_tool.options.noColor, qgetenv("NO_COLOR")));
}

void Production::onInput()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        m_input.setEnabled(false);
        closeAll();
        return;
    }
    if (!QByteArray(buffer, static_cast<int>(n)).contains('\n'))
        return;
    for (const auto &station : m_stations)
        station->next();
}

// The chips under way are finished first, unless Ctrl+C comes again.
void Production::onInterrupt()
{
    if (m_stopping) {
        summary();
        for (const auto &station : m_stations) {
            const Programmer &p = station->programmer();
            if (station->state() == Station::State::Writing)
                p.console.error(p.link.whatWasInterrupted());
            p.link.close();
        }
        m_tool.console.done(Interrupted);
        std::exit(Interrupted);
    }
    if (anyWriting()) {
        m_stopping = true;
        m_tool.console.status(m_stations.size() == 1
                                  ? QStringLiteral("stopping after this chip")
                                  : QStringLiteral("stopping after the chips under way"));
    }
    closeAll();
}

void Production::onChanged()
{
    bool ended = true;
    for (const auto &station : m_stations) {
        if (station->recordCode() != Success)
            closeAll(); // a chip that could not be kept: no more anywhere
        ended = ended && station->state() == Station::State::Ended;
    }
    if (ended)
        m_end.finish(Success);
}

bool Production::anyWriting() const
{
    for (const auto &station : m_stations) {
        if (station->state() == Station::State::Writing)
            return true;
    }
    return false;
}

void Production::closeAll()
{
    for (const auto &station : m_stations)
        station->close();
}

int Production::exitCode() const
{
    bool gone = false;
    int failed = 0;
    for (const auto &station : m_stations) {
        if (station->recordCode() != Success)
            return station->recordCode();
        gone = gone || station->gone();
        failed += station->failed();
    }
    if (gone)
        return NoProgrammer;
    return failed == 0 ? Success : Failed;
}

// A tally of chips as a summary says it: its line, and its event for JSON.
void tallyLine(Console &console, const char *event, int passed, int failed, bool gone,
               const QString &goneText)
{
    const int chips = passed + failed;
    console.result(QStringLiteral("%1 chip%2: %3 passed, %4 failed%5")
                       .arg(chips)
                       .arg(chips == 1 ? "" : "s")
                       .arg(passed)
                       .arg(failed)
                       .arg(gone ? goneText : QString()),
                   {{"event", event},
                    {"chips", chips},
                    {"passed", passed},
                    {"failed", failed},
                    {"gone", gone}});
}

// Each station's tally when there are several, then the run's.
void Production::summary()
{
    int passed = 0, failed = 0, gone = 0;
    for (const auto &station : m_stations) {
        passed += station->passed();
        failed += station->failed();
        gone += station->gone() ? 1 : 0;
        if (m_stations.size() > 1)
            tallyLine(station->programmer().console, "station", station->passed(),
                      station->failed(), station->gone(), QStringLiteral("; no programmer"));
    }
    tallyLine(
        m_tool.console, "summary", passed, failed, gone > 0,
        m_stations.size() == 1
            ? QStringLiteral("; the programmer went away")
            : QStringLiteral("; %1 of %2 programmers went away").arg(gone).arg(m_stations.size()));
}

} // namespace

int produce(Tool &tool, RunRecord &record, const QByteArray &image, const QString &path,
            const QList<StationPort> &ports)
{
    return Production(tool, record, image, path).run(ports);
}
