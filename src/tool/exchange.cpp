// The link's exchanges with the programmer: commands, pump requests, images and blocks,
// each ended by its own reply or transfer on the event loop.
#include "link.h"

#include "console.h"
#include "exitcode.h"

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "core/messages.h"
#include "core/notice.h"
#include "core/serialtransport.h"
#include "core/session.h"

void Link::startReplyWait(const ReplyRule &rule, Done done)
{
    if (!m_session->isConnected()) {
        m_console.error(QStringLiteral("the programmer went away"));
        done(NoProgrammer);
        return;
    }
    auto *watch = new ReplyWatch(*m_session, *m_transport, rule, m_judging, nullptr, &m_context);
    QObject::connect(watch, &ReplyWatch::finished, &m_context, [this, watch, done](int rc) {
        watch->deleteLater();
        if (m_replies == Replies::Output)
            m_console.endReply();
        if (rc == NoProgrammer)
            m_console.error(QStringLiteral("the programmer went away"));
        else if (rc != Success)
            m_console.error(watch->why());
        done(rc);
    });
    watch->start();
}

void Link::startCommand(const QByteArray &bytes, const ReplyRule &rule, Done done)
{
    begin(bytes);
    if (m_session->sendCommand(bytes) != Refusal::None) {
        m_console.error(QStringLiteral("the programmer is busy"));
        done(Failed);
        return;
    }
    startReplyWait(rule, std::move(done));
}

void Link::startRequest(const QByteArray &bytes, const ReplyRule &rule, Done done)
{
    begin(bytes);
    m_session->clearReceived(); // what follows is the request's reply
    if (m_session->queueRequest(bytes)->refusal() != Refusal::None) {
        m_console.error(QStringLiteral("the programmer is busy"));
        done(Failed);
        return;
    }
    startReplyWait(rule, std::move(done));
}

void Link::startImage(ImageCommand command, const QByteArray &image, const QString &path,
                      const ReplyRule &rule, Done done)
{
    const int size = static_cast<int>(image.size());
    const bool express = command == ImageCommand::Express;
    begin(QByteArray(1, static_cast<char>(command)));
    Notice loading(Notice::Progress, path);
    loading.number = size;
    m_console.status(Messages::text(loading));
    m_console.progressStart(express ? QStringLiteral("express") : QStringLiteral("load"), size);
    const quint16 sum = ImageFile::checksum(image);
    transferImage(command, image, [this, size, express, sum, rule, done](SendResult result) {
        if (result != SendResult::Sent) {
            done(imageFailed(result));
            return;
        }
        m_console.progressEnd(size);
        m_console.status(express ? Messages::text(Notice(Notice::ExpressCompleted, sum))
                                 : Messages::text(Notice(Notice::LoadCompleted)));
        startReplyWait(rule, done); // the image has passed the line: the reply may come
    });
}

void Link::transferImage(ImageCommand command, const QByteArray &image,
                         const std::function<void(SendResult)> &sent)
{
    m_imageStarted = false;
    m_imageDone = 0;
    Transfer *transfer = m_session->sendImage(command, image);
    if (transfer->isFinished()) {
        sent(transfer->sendResult()); // refused, or no port: nothing was sent
        return;
    }
    QObject::connect(transfer, &Transfer::progress, &m_context, [this](int done) {
        m_imageDone = done;
        m_console.progress(done);
    });
    QObject::connect(transfer, &Transfer::finished, &m_context, [this, transfer, sent] {
        m_imageStarted = transfer->isStarted();
        sent(transfer->sendResult());
    });
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

void Link::startBlock(int bytes, const QString &label, QByteArray *block, Done done)
{
    begin(ChipTable::readBackCommand(bytes));
    m_console.progressStart(label, bytes);
    Transfer *transfer = m_session->readBlock(bytes);
    if (transfer->isFinished()) { // refused, or no port: nothing was asked
        done(blockEnded(bytes, transfer->blockResult(), block));
        return;
    }
    QObject::connect(transfer, &Transfer::progress, &m_context,
                     [this](int received) { m_console.progress(received); });
    QObject::connect(transfer, &Transfer::finished, &m_context,
                     [this, transfer, bytes, block, done] {
                         *block = transfer->bytes();
                         done(blockEnded(bytes, transfer->blockResult(), block));
                     });
}

int Link::blockEnded(int bytes, BlockResult result, const QByteArray *block)
{
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

int Link::awaitReply(const ReplyRule &rule)
{
    return waitFor([&](Done done) { startReplyWait(rule, std::move(done)); });
}

int Link::command(const QByteArray &bytes, const ReplyRule &rule)
{
    return waitFor([&](Done done) { startCommand(bytes, rule, std::move(done)); });
}

int Link::request(const QByteArray &bytes, const ReplyRule &rule)
{
    return waitFor([&](Done done) { startRequest(bytes, rule, std::move(done)); });
}

int Link::sendImage(ImageCommand command, const QByteArray &image, const QString &path,
                    const ReplyRule &rule)
{
    return waitFor([&](Done done) { startImage(command, image, path, rule, std::move(done)); });
}

int Link::readBlock(int bytes, const QString &label, QByteArray *block)
{
    return waitFor([&](Done done) { startBlock(bytes, label, block, std::move(done)); });
}
