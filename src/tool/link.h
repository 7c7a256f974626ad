#pragma once

#include "replytext.h"
#include "replywatch.h"
#include "stations.h"
#include "steps.h"

#include "core/chiplog.h"
#include "core/portchoice.h"
#include "core/portmap.h"
#include "core/portprobe.h"
#include "core/simulatedprogrammer.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class Console;
enum class ImageCommand : char;
enum class SendResult;
enum class BlockResult;
class ProgrammerSession;
class SerialTransport;
struct Options;

// Where the programmer's replies go: standard output, status lines, or nowhere.
enum class Replies { Output, Status, Hidden };

// The tool's link to the programmer: the ports, the session on them, chip.log, and the
// exchanges with the programmer. Every operation ends with an exit code and has said why
// on the console when it is not Success. Each starts on the event loop (start...) and
// tells its end to its Done, or is waited for in a local event loop (the others).
class Link
{
public:
    Link(const Options &options, Console &console);
    ~Link();

    // Before the search: the ports (the emulator is started for --simulate) and, with
    // remember, the chip: the one given by --chip, which the run holds (key reports for
    // other chips are only announced) and which chip.log never learns; otherwise the one
    // remembered in chip.log in the current directory, which follows the chip chosen.
    int prepare(bool remember);
    // Before prepare(): the programmer is looked for here instead of where the options say.
    void setPort(PortSource source, const QString &value);
    // After prepare(true): the chip to choose and remember in chip.log, as the window does.
    void remember(const QString &chipName);
    const PortMap &ports() const { return m_ports; }
    // The device of the programmer found, or where it is looked for.
    QString portName() const;
    // The chip that the search's settle step will choose: 0 to 2, -1 for none of the three.
    int expectedChip() const;
    QString rememberedChip() const { return m_remembered; }
    // After the search: the programmer's identification, as it was shown.
    QString identity() const { return m_identity; }
    // The chip the run holds (--chip): 0 to 2, or -1 when key reports choose the chip.
    int pinnedChip() const;

    // The port search and its settle step, with the chip's reply going to chipReplies.
    int connect(Replies chipReplies = Replies::Status);
    void startConnect(Replies chipReplies, Done done);
    ProgrammerSession &session() { return *m_session; }

    // A command and its reply, waited for by the rule.
    int command(const QByteArray &bytes, const ReplyRule &rule);
    // A fill or dump request through the byte pump, and its reply.
    int request(const QByteArray &bytes, const ReplyRule &rule);
    // An image under its command, then its reply; the rule's times count from
    // the moment the image has passed the line. An image the device stopped taking is a
    // transfer cut short (Failed).
    int sendImage(ImageCommand command, const QByteArray &image, const QString &path,
                  const ReplyRule &rule);
    // The reply to what was sent last (a command, or the chip told after a key report).
    int awaitReply(const ReplyRule &rule);
    // A block of the SRAM read back ("S1", "S2", "S4").
    int readBlock(int bytes, const QString &label, QByteArray *block);

    void startCommand(const QByteArray &bytes, const ReplyRule &rule, Done done);
    void startRequest(const QByteArray &bytes, const ReplyRule &rule, Done done);
    void startImage(ImageCommand command, const QByteArray &image, const QString &path,
                    const ReplyRule &rule, Done done);
    void startReplyWait(const ReplyRule &rule, Done done);
    // block must outlive the step.
    void startBlock(int bytes, const QString &label, QByteArray *block, Done done);

    // After Ctrl+C: what was under way and what the chip may be left as.
    QString whatWasInterrupted() const;
    // The step last sent: a command, a request, 'L' or 'Q' for an image (empty: the search).
    QByteArray underWay() const { return m_underWay; }
    // Closes the port and stops the emulator.
    void close();

private:
    void readChipLog();
    void writeChipLog(int chip);
    void announceKey(int chip);
    void setReplies(Replies replies);
    void onReceived(const QByteArray &bytes);
    void statusLines(const QString &added);
    void startSearch(bool *chipSent, const Done &done);
    void searchEnded(int rc, bool gone, const Done &done);
    void showIdentification();
    void reportNotFound();
    void begin(const QByteArray &step);
    void transferImage(ImageCommand command, const QByteArray &image,
                       const std::function<void(SendResult)> &sent);
    int imageFailed(SendResult result);
    int blockEnded(int bytes, BlockResult result, const QByteArray *block);
    int lastSearchedPort() const;
    StationPort port() const;

    const Options &m_options;
    Console &m_console;
    Judging m_judging;
    std::optional<StationPort> m_port; // set by setPort()
    PortMap m_ports;
    SimulatedProgrammer m_emulator;
    std::unique_ptr<SerialTransport> m_transport;
    std::unique_ptr<ProgrammerSession> m_session;
    QObject m_context; // the receiver of the link's own connections
    ChipLog m_chipLog; // without a path when chip.log is not to be written
    QString m_remembered;
    bool m_pinned = false;
    QMap<int, PortProbe> m_probes; // what the search found on each port
    bool m_identityShown = false;
    QString m_identity;
    QByteArray m_underWay; // the step last sent (empty: the search)
    bool m_programmed = false;
    Replies m_replies = Replies::Status;
    LineEnds m_lineEnds;
    bool m_imageStarted = false;
    int m_imageDone = 0; // the image bytes that can have left, as the session last told
    QString m_partial;   // the start of a status line still arriving
};
