#include "session.h"

#include "core/logging.h"
#include "core/sessionprivate.h"

ProgrammerSession::ProgrammerSession(Transport *transport, Clock *clock, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(this, transport, clock))
{
    WireLog::follow(this, d->clock);
    connect(&d->transport, &Transport::removed, this, &ProgrammerSession::onRemoved);
    connect(&d->search, &PortSearch::probing, this, &ProgrammerSession::probing);
    connect(&d->search, &PortSearch::probed, this, &ProgrammerSession::probed);
    connect(&d->search, &PortSearch::found, this, &ProgrammerSession::onFound);
    connect(&d->search, &PortSearch::notFound, this, &ProgrammerSession::notFound);
    connect(&d->search, &PortSearch::settleDue, this, &ProgrammerSession::onSettleDue);
    connect(&d->poller, &ReceivePoller::arrived, this, [this] { d->work.answered(); });
    connect(&d->poller, &ReceivePoller::keyReport, this, &ProgrammerSession::onKeyReport);
    connect(&d->poller, &ReceivePoller::appended, this, &ProgrammerSession::received);
    connect(&d->poller, &ReceivePoller::cleared, this, &ProgrammerSession::onReceivedCleared);
    connect(&d->poller, &ReceivePoller::polled, this, &ProgrammerSession::receivedPolled);
    connect(&d->pump, &BytePump::sent, this, &ProgrammerSession::onPumpSent);
    connect(&d->pump, &BytePump::failed, this, [this] {
        finishRequest(SendResult::Removed);
        runAfterPump();
    });
    const auto tellProgress = [this](int done, int total) {
        if (d->transfer)
            emit d->transfer->progress(done, total);
    };
    connect(&d->sender, &ImageSender::progress, this, tellProgress);
    connect(&d->sender, &ImageSender::finished, this, &ProgrammerSession::onImageSent);
    connect(&d->reader, &BlockReader::asking, this, [this] { d->poller.clear(); });
    connect(&d->reader, &BlockReader::keyReport, this, &ProgrammerSession::onKeyReport);
    connect(&d->reader, &BlockReader::progress, this, tellProgress);
    connect(&d->reader, &BlockReader::finished, this, &ProgrammerSession::onBlockRead);
    connect(d->startTimer, &ClockTimer::timeout, this, &ProgrammerSession::runAfterPump);
}

ProgrammerSession::~ProgrammerSession() = default;

// --- State ---------------------------------------------------------------------------------

bool ProgrammerSession::isConnected() const
{
    return d->transport.isOpen() && !d->search.isProbing();
}

bool ProgrammerSession::isSearching() const
{
    return d->search.isProbing();
}

bool ProgrammerSession::isBusy() const
{
    return d->busy;
}

int ProgrammerSession::port() const
{
    return d->foundPort;
}

int ProgrammerSession::chip() const
{
    return d->chip;
}

QString ProgrammerSession::receivedText() const
{
    return d->poller.text();
}

bool ProgrammerSession::isHoldingBytes() const
{
    return d->poller.isHoldingBytes();
}

void ProgrammerSession::clearReceived()
{
    d->poller.clear();
}

qint64 ProgrammerSession::workLeftMs() const
{
    return qMax<qint64>(0, d->work.readyAt() - d->clock.now());
}

void ProgrammerSession::setOperationTimeMs(int ms)
{
    d->work.setLongestMs(ms);
}

void ProgrammerSession::setRememberedChip(const QString &name)
{
    d->remembered = name;
}

void ProgrammerSession::setLastPort(int port)
{
    d->lastPort = qBound(0, port, int(LineTiming::LastPort));
}

void ProgrammerSession::setChipPinned(bool pinned)
{
    d->chipPinned = pinned;
}

// --- Requests ------------------------------------------------------------------------------

Refusal ProgrammerSession::search()
{
    if (d->busy)
        return Refusal::Busy;
    d->pump.stop();
    finishRequest(SendResult::NotConnected);
    d->afterPump = nullptr;
    d->poller.stop();
    d->transport.close();
    d->foundPort = 0;
    d->poller.clear();
    emit searchStarted();
    d->search.start(d->lastPort);
    return Refusal::None;
}

Refusal ProgrammerSession::sendCommand(const QByteArray &command)
{
    if (d->busy)
        return Refusal::Busy;
    writeToLine(command);
    return Refusal::None;
}

Refusal ProgrammerSession::chooseChip(int chip)
{
    if (chip < 0 || chip >= ChipTable::Count)
        return Refusal::Invalid;
    if (d->busy) {
        emit chipShown(d->chip); // the programmer cannot be told now: the option goes back
        return Refusal::Busy;
    }
    choose(chip);
    return Refusal::None;
}

Refusal ProgrammerSession::refusalFor(Transfer::Kind kind) const
{
    if (d->busy)
        return Refusal::Busy;
    if (isSearching() && kind != Transfer::Kind::Request)
        return Refusal::Searching;
    return Refusal::None;
}

Transfer *ProgrammerSession::queueRequest(const QByteArray &bytes)
{
    const Transfer::Kind kind = Transfer::Kind::Request;
    const int size = static_cast<int>(bytes.size());
    const bool valid = !bytes.isEmpty() && size <= BufferLimits::TxBufferSize;
    const Refusal refusal = valid ? refusalFor(kind) : Refusal::Invalid;
    if (refusal != Refusal::None)
        return Transfer::finishedNow(this, kind, size, refusal);
    finishRequest(SendResult::NotConnected); // the one it replaces
    d->request = new Transfer(kind, size, this);
    d->pump.queue(bytes);
    return d->request;
}

Transfer *ProgrammerSession::sendImage(ImageCommand command, const QByteArray &image)
{
    const Transfer::Kind kind =
        command == ImageCommand::Express ? Transfer::Kind::Express : Transfer::Kind::Load;
    const int size = static_cast<int>(image.size());
    const bool valid = size <= BufferLimits::MaxImageSize;
    const Refusal refusal = valid ? refusalFor(kind) : Refusal::Invalid;
    if (refusal != Refusal::None || !d->transport.isOpen()) // refused, or no port to send to
        return Transfer::finishedNow(this, kind, size, refusal);
    setBusy(true);
    d->transfer = new Transfer(kind, size, this);
    afterPump([this, command, image] { startImage(command, image); });
    return d->transfer;
}

Refusal ProgrammerSession::reserve()
{
    if (const Refusal refusal = refusalFor(Transfer::Kind::ReadBack); refusal != Refusal::None)
        return refusal;
    d->reserved = true;
    setBusy(true);
    return Refusal::None;
}

void ProgrammerSession::release()
{
    if (!d->reserved)
        return;
    d->reserved = false;
    setBusy(false);
}

Transfer *ProgrammerSession::readBlock(int bytes)
{
    const Transfer::Kind kind = Transfer::Kind::ReadBack;
    const Refusal refusal = ChipTable::readBackCommand(bytes).isEmpty() ? Refusal::Invalid
                            : d->reserved                               ? Refusal::None
                                                                        : refusalFor(kind);
    if (refusal != Refusal::None || !d->transport.isOpen()) { // refused, or no port to ask
        release();
        return Transfer::finishedNow(this, kind, bytes, refusal);
    }
    d->reserved = false;
    setBusy(true);
    d->transfer = new Transfer(kind, bytes, this);
    afterPump([this, bytes] { startBlock(bytes); });
    return d->transfer;
}

void ProgrammerSession::closePort()
{
    d->search.stop();
    d->pump.stop();
    d->afterPump = nullptr;
    d->startTimer->stop();
    d->transfer = d->request = nullptr;
    d->poller.stop();
    d->sender.abort();
    d->reader.abort();
    d->reserved = false;
    d->transport.close();
    setBusy(false);
}

// --- Inside --------------------------------------------------------------------------------

bool ProgrammerSession::writeToLine(const QByteArray &command)
{
    if (!d->transport.isOpen())
        return false; // silently dropped
    if (!d->transport.write(command))
        return false; // the device has gone: removed() follows
    d->poller.clear();
    d->work.sent(command, d->chip, d->clock.now());
    return true;
}

void ProgrammerSession::choose(int chip)
{
    d->chip = chip;
    d->remembered = QString::fromLatin1(ChipTable::chip(chip).name);
    emit chipChosen(chip);
    emit chipShown(chip);
    writeToLine(QByteArray(1, ChipTable::chip(chip).command));
}

void ProgrammerSession::setBusy(bool busy)
{
    if (d->busy == busy)
        return;
    d->busy = busy;
    emit busyChanged(busy);
    // A key report seen while a transfer owned the port, once it has ended (and no other
    // has begun).
    if (d->busy || d->keyWhileBusy < 0)
        return;
    const int chip = std::exchange(d->keyWhileBusy, -1);
    if (chip != d->chip && isConnected())
        choose(chip);
}

void ProgrammerSession::afterPump(const std::function<void()> &next)
{
    d->afterPump = next;
    if (!d->pump.isRunning())
        d->startTimer->start(0);
}

void ProgrammerSession::runAfterPump()
{
    if (!d->afterPump)
        return;
    const std::function<void()> next = std::move(d->afterPump);
    d->afterPump = nullptr;
    next();
}

void ProgrammerSession::startImage(ImageCommand command, const QByteArray &image)
{
    if (!d->transport.isOpen()) {
        finishImage(SendResult::NotConnected);
        return;
    }
    d->poller.stop(); // nothing reads the port while the image goes out
    const char letter = static_cast<char>(command);
    if (!writeToLine(QByteArray(1, letter))) {
        finishImage(d->transport.wasRemoved() ? SendResult::Removed : SendResult::NotConnected);
        return;
    }
    d->imageLetter = letter;
    d->transfer->start();
    d->sender.send(image);
}

void ProgrammerSession::startBlock(int bytes)
{
    d->poller.stop(); // the block is read here, not shown
    qCDebug(lcSession, "%lld ms read-back of %d bytes starts", d->clock.now(), bytes);
    d->reader.read(bytes, d->work.readyAt(), d->work.answerBy());
}

void ProgrammerSession::finishImage(SendResult result)
{
    if (d->transport.isOpen())
        d->poller.start();
    setBusy(false);
    if (Transfer *transfer = std::exchange(d->transfer, nullptr))
        transfer->finishSending(result);
}

void ProgrammerSession::finishRequest(SendResult result)
{
    if (Transfer *request = std::exchange(d->request, nullptr))
        request->finishSending(result);
}

// --- Reactions -----------------------------------------------------------------------------

void ProgrammerSession::onFound(int port)
{
    d->foundPort = port;
    emit found(port);
    d->poller.start();
    d->poller.clear();
    writeToLine(QByteArrayLiteral("i")); // its reply reaches the response box
}

void ProgrammerSession::onSettleDue()
{
    if (d->busy)
        return; // a transfer owns the port: the chip is told on a later tick
    d->search.finishSettling();
    const int chip = ChipTable::forRemembered(d->remembered);
    if (chip >= 0 && chip != d->chip)
        choose(chip);
    emit settled();
}

void ProgrammerSession::onKeyReport(int chip)
{
    if (chip != d->reportedChip) {
        d->reportedChip = chip;
        emit keyReported(chip);
    }
    if (d->chipPinned)
        return; // the client holds its chip: a key report is only reported
    if (d->busy)
        d->keyWhileBusy = chip; // the programmer cannot be told now
    else if (chip != d->chip)
        choose(chip);
}

void ProgrammerSession::onReceivedCleared()
{
    d->reportedChip = -1;
    emit receivedCleared();
}

void ProgrammerSession::onRemoved()
{
    if (d->search.isProbing())
        return; // a candidate that went away is only a port that did not answer
    d->poller.stop();
    emit removed();
}

void ProgrammerSession::onPumpSent(bool toDevice)
{
    if (toDevice)
        d->work.sent(QByteArray(), d->chip, d->clock.now()); // fill and dump: done at once
    finishRequest(toDevice ? SendResult::Sent : SendResult::NotConnected);
    runAfterPump();
}

void ProgrammerSession::onImageSent(SendResult result)
{
    if (result == SendResult::Sent)
        d->work.imageIn(d->imageLetter, d->chip, d->clock.now());
    finishImage(result);
}

void ProgrammerSession::onBlockRead(BlockResult result, const QByteArray &bytes)
{
    d->work.answered();
    if (d->transport.isOpen())
        d->poller.start();
    setBusy(false);
    if (Transfer *transfer = std::exchange(d->transfer, nullptr))
        transfer->finishBlock(result, bytes);
}
