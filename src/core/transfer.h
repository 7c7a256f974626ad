#pragma once

#include <QByteArray>
#include <QObject>

enum class Refusal;
enum class SendResult;
enum class BlockResult;

// One request that the session took or refused: an image under "L" or "Q", a read-back of
// the SRAM, or a fill or dump request for the byte pump. It answers for itself: only its
// caller hears how it went.
//
// The session owns it. A request refused, or one that finds no port open (NotConnected), is
// finished on return and emits nothing; any other emits finished() once, later, from the
// event loop, and is deleted after that slot has returned (deleteLater). Read it in the
// finished() slot or right after the call that returned it; keep it longer only through a
// QPointer. One that closePort() stops never finishes; it goes with the session.
class Transfer : public QObject
{
    Q_OBJECT
public:
    enum class Kind {
        Load,     // an image under "L"
        Express,  // an image under "Q"
        ReadBack, // a block under "S1", "S2" or "S4"
        Request,  // a fill or dump request through the byte pump
    };

    Kind kind() const { return m_kind; }
    // The bytes of the image, the block or the request.
    int size() const { return m_size; }
    bool isFinished() const { return m_finished; }
    // Not None: the session did not take it, and nothing was sent.
    Refusal refusal() const { return m_refusal; }
    // How an image or a request ended: Sent, NotConnected (nothing, or not all, went out
    // because no port was open or the device stopped taking it), Removed.
    SendResult sendResult() const { return m_sent; }
    // How a read-back ended, and the bytes it gives (those of a short block included).
    BlockResult blockResult() const { return m_block; }
    QByteArray bytes() const { return m_bytes; }
    // An image's letter went out: its bytes follow.
    bool isStarted() const { return m_started; }

signals:
    void started();
    // An image: the bytes that can have left for the device, every 100 ms on the line's
    // clock; all of them only when the image is done, just before finished(). A block: the
    // bytes received, as the session looks at the line.
    void progress(int done, int total);
    void finished();

private:
    friend class ProgrammerSession;
    Transfer(Kind kind, int size, QObject *parent);
    // Finished on return: refused, or (None) taken with no port open, NotConnected.
    static Transfer *finishedNow(QObject *parent, Kind kind, int size, Refusal refusal);
    void start();
    void finishSending(SendResult result);
    void finishBlock(BlockResult result, const QByteArray &bytes);
    void finish();

    Kind m_kind;
    int m_size;
    bool m_started = false;
    bool m_finished = false;
    Refusal m_refusal;
    SendResult m_sent;
    BlockResult m_block;
    QByteArray m_bytes;
};
