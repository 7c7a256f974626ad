// ports: every port of the map searched on its own, all at once, and what each answers to
// the identification command. The programmer is not told a chip.
#include "commands.h"
#include "exitcode.h"
#include "probewords.h"
#include "replyrules.h"
#include "replytext.h"
#include "tool.h"
#include "wait.h"

#include "core/linetiming.h"
#include "core/portinfo.h"
#include "core/serialtransport.h"
#include "core/session.h"

#include <functional>
#include <memory>
#include <vector>

namespace
{

constexpr int ListLimitMs = 10000;

// One port, searched as COM1 of a map of its own.
struct Probe {
    Probe(int number, const QString &device)
        : number(number), device(device),
          transport(std::make_unique<SerialTransport>(PortMap::fromDevices({device}))),
          session(std::make_unique<ProgrammerSession>(transport.get()))
    {
        session->setLastPort(1);
        session->setRememberedChip(QStringLiteral("-")); // none: no chip is told
    }
    int number;
    QString device;
    std::unique_ptr<SerialTransport> transport;
    std::unique_ptr<ProgrammerSession> session;
    std::unique_ptr<ReplyWatch> identity;
    PortProbe probe;
    QString what;
};

// The identification asked for once more after the probe, whole, on one line.
QString identityOf(const Probe &p)
{
    QStringList lines;
    for (const QString &line :
         replyLines(identification(p.probe.answer, p.session->receivedText()))) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines.join(QLatin1Char(' '));
}

void watch(Probe &p, Wait &wait, const Judging &judging, const std::function<void()> &finished)
{
    QObject::connect(p.session.get(), &ProgrammerSession::probed, wait.context(),
                     [&p](int, const PortProbe &probe) { p.probe = probe; });
    QObject::connect(p.session.get(), &ProgrammerSession::found, wait.context(), [&, finished] {
        p.identity = std::make_unique<ReplyWatch>(*p.session, *p.transport,
                                                  ReplyRules::quick(false), judging);
        QObject::connect(p.identity.get(), &ReplyWatch::finished, p.session.get(), [&p, finished] {
            p.what = identityOf(p);
            p.session->closePort();
            finished();
        });
        p.identity->start();
    });
    QObject::connect(p.session.get(), &ProgrammerSession::notFound, wait.context(), [&p, finished] {
        p.what = probeText(p.probe);
        finished();
    });
}

// What the system knows of a device: its adapter's description and USB identifiers, so
// that the user can tell one adapter from another and name it (--usb-serial, --usb).
void show(Tool &tool, const Probe &p, const QList<PortInfo> &available)
{
    PortInfo info{p.device, {}, {}, {}};
    for (const PortInfo &port : available) {
        if (sameDevice(port.device, p.device))
            info = port;
    }
    QJsonObject details;
    if (!info.description.isEmpty())
        details.insert(QStringLiteral("description"), info.description);
    if (info.usb)
        details.insert(QStringLiteral("usb"), info.usb->text());
    if (!info.serialNumber.isEmpty())
        details.insert(QStringLiteral("serial"), info.serialNumber);
    QString line = QStringLiteral("COM%1  %2  %3").arg(p.number).arg(p.device, p.what);
    if (!info.adapterText().isEmpty())
        line += QStringLiteral("  (%1)").arg(info.adapterText());
    details.insert(QStringLiteral("event"), QStringLiteral("port"));
    details.insert(QStringLiteral("com"), p.number);
    details.insert(QStringLiteral("device"), p.device);
    details.insert(QStringLiteral("programmer"), p.probe.outcome == PortProbe::Outcome::Programmer);
    details.insert(QStringLiteral("answer"), p.what);
    tool.console.result(line, details);
}

} // namespace

int portsCommand(Tool &tool, const QStringList &)
{
    int rc = tool.prepare(false);
    if (rc != Success)
        return rc;
    std::vector<std::unique_ptr<Probe>> probes;
    for (int n = 1; n <= LineTiming::LastPort; ++n) {
        if (!tool.link.ports().device(n).isEmpty())
            probes.push_back(std::make_unique<Probe>(n, tool.link.ports().device(n)));
    }
    if (probes.empty()) {
        tool.console.error(QStringLiteral("no serial ports to search"));
        return NoProgrammer;
    }
    Wait wait(ListLimitMs);
    size_t finished = 0;
    const Judging judging{tool.options.settleMs, {}};
    for (auto &p : probes) {
        watch(*p, wait, judging, [&] {
            if (++finished == probes.size())
                wait.finish(Success);
        });
        p->session->search();
    }
    wait.run();
    int answered = 0;
    const QList<PortInfo> available = systemPorts();
    for (const auto &p : probes) {
        answered += p->probe.outcome == PortProbe::Outcome::Programmer ? 1 : 0;
        show(tool, *p, available);
    }
    if (answered > 0)
        return Success;
    tool.console.error(QStringLiteral("no programmer answered"));
    return NoProgrammer;
}
