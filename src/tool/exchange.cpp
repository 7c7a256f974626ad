// The link's exchanges with the programmer: commands, pump requests, images and blocks,
// each waited for on the session's signals.
#include "link.h"

#include "console.h"
#include "exitcode.h"
#include "wait.h"

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "core/messages.h"
#include "core/notice.h"
#include "core/serialtransport.h"
#include "core/session.h"

namespace
{

constexpr int ProgressMs = 100;

} // namespace

int Link::awaitReply(const ReplyRule &rule)
{
    if (!m_session->isConnected()) {
        m_console.error(QStringLiteral("the programmer went away"));
        return NoProgrammer;
    }
    Wait wait;
    ReplyWatch watch(*m_session, *m_transport, rule, m_judging);
    QObject::connect(&watch, &ReplyWatch::finished, wait.context(),
                     [&](int code) { wait.finish(code); });
    QObject::connect(m_session.get(), &ProgrammerSession::removed, wait.context(),
                     [&] { wait.finish(NoProgrammer); });
    watch.start();
    const int rc = wait.run();
    if (m_replies == Replies::Output)
        m_console.endReply();
    if (rc == NoProgrammer)
        m_console.error(QStringLiteral("the programmer went away"));
    else if (rc != Success)
        m_console.error(watch.why());
    return rc;
}

int Link::command(const QByteArray &bytes, const ReplyRule &rule)
{
    begin(bytes);
    if (m_session->sendCommand(bytes) != Refusal::None) {
        m_console.error(QStringLiteral("the programmer is busy"));
        return Failed;
    }
    return awaitReply(rule);
}

int Link::request(const QByteArray &bytes, const ReplyRule &rule)
{
    begin(bytes);
    m_session->clearReceived(); // what follows is the request's reply
    if (m_session->queueRequest(bytes) != Refusal::None) {
        m_console.error(QStringLiteral("the programmer is busy"));
        return Failed;
    }
    return awaitReply(rule);
}

int Link::sendImage(ImageCommand command, const QByteArray &image, const QString &path,
                    const ReplyRule &rule)
{
    const int size = static_cast<int>(image.size());
    const bool express = command == ImageCommand::Express;
    begin(QByteArray(1, static_cast<char>(command)));
    Notice loading(Notice::Progress, path);
    loading.number = size;
    m_console.status(Messages::text(loading));
    m_console.progressStart(express ? QStringLiteral("express") : QStringLiteral("load"), size);
    const SendResult result = transferImage(command, image);
    if (result != SendResult::Sent)
        return imageFailed(result);
    m_console.progressEnd(size);
    m_console.status(
        express ? Messages::text(Notice(Notice::ExpressCompleted, ImageFile::checksum(image)))
                : Messages::text(Notice(Notice::LoadCompleted)));
    return awaitReply(rule); // the image has passed the line: the reply may come
}

SendResult Link::transferImage(ImageCommand command, const QByteArray &image)
{
    Wait wait;
    QObject::connect(m_session.get(), &ProgrammerSession::imageStarted, wait.context(),
                     [this] { m_imageStarted = true; });
    QObject::connect(m_session.get(), &ProgrammerSession::imageProgress, wait.context(),
                     [this](int done) {
                         m_imageDone = done;
                         m_console.progress(done);
                     });
    QObject::connect(m_session.get(), &ProgrammerSession::imageFinished, wait.context(),
                     [&](SendResult result) { wait.finish(static_cast<int>(result)); });
    m_imageStarted = false;
    m_imageDone = 0;
    if (m_session->sendImage(command, image) != Refusal::None)
        wait.finish(static_cast<int>(SendResult::NotConnected));
    return static_cast<SendResult>(wait.run());
}

int Link::imageFailed(SendResult result)
{
    m_console.progressEnd(m_imageDone);
    if (result == SendResult::NotConnected && m_imageStarted) {
        m_console.error(QStringLiteral("the programmer stopped taking the image; it was not "
                                       "sent whole"));
        return Failed;
    }
    m_console.error(result == SendResult::Removed
                        ? QStringLiteral("the programmer went away; the image was not sent whole")
                        : QStringLiteral("the image was not sent"));
    return NoProgrammer;
}

int Link::readBlock(int bytes, const QString &label, QByteArray *block)
{
    begin(ChipTable::readBackCommand(bytes));
    Wait wait;
    BlockResult result = BlockResult::NotConnected;
    QObject::connect(m_session.get(), &ProgrammerSession::blockFinished, wait.context(),
                     [&](BlockResult r, const QByteArray &data) {
                         result = r;
                         *block = data;
                         wait.finish(Success);
                     });
    m_console.progressStart(label, bytes);
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, wait.context(),
                     [&] { m_console.progress(static_cast<int>(m_transport->available())); });
    progress.start(ProgressMs);
    if (m_session->readBlock(bytes) == Refusal::None)
        wait.run();
    m_console.progressEnd(static_cast<int>(block->size()));
    if (result == BlockResult::Complete)
        return Success;
    if (result == BlockResult::Overrun) {
        m_console.error(QStringLiteral("the programmer sent more than the %1-byte block; none of "
                                       "it can be trusted")
                            .arg(bytes));
        return Failed;
    }
    if (result == BlockResult::Short) {
        m_console.error(
            QStringLiteral("the programmer sent %1 of %2 bytes").arg(block->size()).arg(bytes));
        return Failed;
    }
    m_console.error(QStringLiteral("the programmer went away; the block did not arrive"));
    return NoProgrammer;
}
