#pragma once

#include "core/session.h"

#include <QByteArray>
#include <QObject>

class Clock;
class ClockTimer;
class Transport;

// Reads a block of the programmer's SRAM back ("S1", "S2", "S4"), in steps:
// 1. waits until the programmer can be done with what it was sent before (the chip
//    operations' longest times) and, when the answer to the last command has not begun, for
//    that answer, at most until the time given;
// 2. waits until the line has been quiet for 30 ms (at most 1 s), dropping what comes, so
//    that no earlier reply becomes the start of the block;
// 3. asks for the block and waits until it is all there or its time limit has passed,
//    looking when the block can first be complete and at most every 50 ms in between
//    (the port is batched meanwhile: the bytes wake nobody);
// 4. once exactly the block is there, waits 100 ms more: a byte beyond it spoils the block;
// 5. when it fell short or was spoilt, drops the rest until the line has been quiet for
//    200 ms, so that nothing of it is taken for a reply.
// What it drops outside the block (replies before it, bytes after it) is searched for key
// reports.
class BlockReader : public QObject
{
    Q_OBJECT
public:
    BlockReader(Transport &transport, Clock &clock, QObject *parent = nullptr);

    // readyAt: the clock time by which the programmer can be done with what it was sent;
    // answerBy: the clock time by which the last command's answer must have begun, or -1
    // when none is awaited.
    void read(int bytes, qint64 readyAt, qint64 answerBy);
    void abort();

signals:
    // The read-back command is about to go out.
    void asking();
    // A key report among the bytes dropped outside the block.
    void keyReport(int chip);
    // How much of the block has come, as it is looked at.
    void progress(int received, int total);
    void finished(BlockResult result, const QByteArray &bytes);

private:
    enum class Phase { Idle, Wait, Quiet, Collect, Settle, Discard };

    void onReceived();
    void onRemoved();
    void onStep();
    void onLimit();
    bool drop();
    void skip(const QByteArray &bytes);
    void await();
    void settle();
    void ask();
    void check();
    void overrun();
    void discardRest();
    void finish(BlockResult result);

    Transport &m_transport;
    Clock &m_clock;
    ClockTimer *m_step;
    ClockTimer *m_limit;
    Phase m_phase = Phase::Idle;
    int m_bytes = 0;
    qint64 m_readyAt = 0;
    qint64 m_answerBy = -1;
    qint64 m_deadline = 0;
    qint64 m_told = 0; // the bytes progress() last told
    bool m_overrun = false;
    QByteArray m_data;
    QByteArray m_skipped; // the end of what was dropped, where a key report may begin
};
