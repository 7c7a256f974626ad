// ports: every port of the map searched on its own, all at once, and what each answers to
// the identification command. The programmer is not told a chip.
#include "commands.h"
#include "exitcode.h"
#include "replyrules.h"
#include "tool.h"
#include "wait.h"

#include "core/linetiming.h"
#include "core/serialtransport.h"
#include "core/session.h"

#include <QSerialPortInfo>

#include <functional>
#include <memory>
#include <vector>

namespace
{

constexpr int ListLimitMs = 10000;

// A serial line that remembers whether it could be opened and everything taken from it.
class ListeningTransport : public SerialTransport
{
public:
    using SerialTransport::SerialTransport;
    bool open(int port) override
    {
        const bool ok = SerialTransport::open(port);
        opened = opened || ok;
        return ok;
    }
    QByteArray take() override
    {
        const QByteArray bytes = SerialTransport::take();
        heard += bytes;
        return bytes;
    }
    bool opened = false;
    QByteArray heard;
};

// One port, searched as COM1 of a map of its own.
struct Probe {
    Probe(int number, const QString &device)
        : number(number), device(device),
          transport(std::make_unique<ListeningTransport>(PortMap::fromDevices({device}))),
          session(std::make_unique<ProgrammerSession>(transport.get()))
    {
        session->setLastPort(1);
        session->setRememberedChip(QStringLiteral("-")); // none: no chip is told
    }
    int number;
    QString device;
    std::unique_ptr<ListeningTransport> transport;
    std::unique_ptr<ProgrammerSession> session;
    std::unique_ptr<ReplyWatch> identity;
    bool done = false;
    bool found = false;
    QString what;
};

QString heardText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes).remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).trimmed();
}

// The identification asked for once more after the probe comes whole: its longest line.
QString identityOf(const Probe &probe)
{
    QString identity = heardText(probe.transport->heard);
    const QStringList lines = probe.session->received().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().size() >= LineTiming::IdentityLength)
            identity = line.trimmed();
    }
    return identity;
}

void watch(Probe &p, Wait &wait, const Judging &judging, const std::function<void()> &finished)
{
    QObject::connect(p.session.get(), &ProgrammerSession::found, wait.context(), [&, finished] {
        p.found = true;
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
        const QString heard = heardText(p.transport->heard);
        p.what = !p.transport->opened ? QStringLiteral("cannot open")
                 : heard.isEmpty()    ? QStringLiteral("no answer")
                                   : QStringLiteral("no programmer (answered \"%1\")").arg(heard);
        finished();
    });
}

// What the system knows of a device: its description and USB identifiers, so that the
// user can tell one adapter from another.
QJsonObject adapter(const QString &device)
{
    QJsonObject details;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        if (info.systemLocation() != device && info.portName() != device)
            continue;
        if (!info.description().isEmpty())
            details.insert(QStringLiteral("description"), info.description());
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            details.insert(QStringLiteral("usb"), QStringLiteral("%1:%2")
                                                      .arg(hexText(info.vendorIdentifier(), 4))
                                                      .arg(hexText(info.productIdentifier(), 4))
                                                      .toLower());
        }
        if (!info.serialNumber().isEmpty())
            details.insert(QStringLiteral("serial"), info.serialNumber());
    }
    return details;
}

void show(Tool &tool, const Probe &p)
{
    QJsonObject details = adapter(p.device);
    QStringList known;
    if (details.contains(QStringLiteral("description")))
        known << details.value(QStringLiteral("description")).toString();
    if (details.contains(QStringLiteral("usb")))
        known << QStringLiteral("USB ") + details.value(QStringLiteral("usb")).toString();
    if (details.contains(QStringLiteral("serial")))
        known << QStringLiteral("serial ") + details.value(QStringLiteral("serial")).toString();
    QString line = QStringLiteral("COM%1  %2  %3").arg(p.number).arg(p.device, p.what);
    if (!known.isEmpty())
        line += QStringLiteral("  (%1)").arg(known.join(QStringLiteral(", ")));
    details.insert(QStringLiteral("event"), QStringLiteral("port"));
    details.insert(QStringLiteral("com"), p.number);
    details.insert(QStringLiteral("device"), p.device);
    details.insert(QStringLiteral("programmer"), p.found);
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
    for (const auto &p : probes) {
        answered += p->found ? 1 : 0;
        show(tool, *p);
    }
    if (answered > 0)
        return Success;
    tool.console.error(QStringLiteral("no programmer answered"));
    return NoProgrammer;
}
