#pragma once

// The session's state and its state machines, shared by the files that implement it.

#include "core/session.h"

#include "core/blockreader.h"
#include "core/bufferlimits.h"
#include "core/bytepump.h"
#include "core/chipoperations.h"
#include "core/chiptable.h"
#include "core/clock.h"
#include "core/imagesender.h"
#include "core/linetiming.h"
#include "core/portsearch.h"
#include "core/receivepoller.h"
#include "core/transport.h"

#include <functional>
#include <utility>

class ProgrammerSession::Private
{
public:
    Private(ProgrammerSession *q, Transport *transport, Clock *clock)
        : transport(*transport), clock(clock ? *clock : Clock::system()),
          search(*transport, this->clock, q), poller(*transport, this->clock, q),
          pump(*transport, this->clock, q), sender(*transport, this->clock, q),
          reader(*transport, this->clock, q), startTimer(this->clock.createTimer(q))
    {
        startTimer->setSingleShot(true);
    }

    Transport &transport;
    Clock &clock;
    PortSearch search;
    ReceivePoller poller;
    BytePump pump;
    ImageSender sender;
    BlockReader reader;
    // Starts a transfer from the event loop, once its caller holds it, when the pump is idle.
    ClockTimer *startTimer;

    QString remembered;
    int lastPort = LineTiming::LastPort;
    int foundPort = 0;
    int chip = -1;
    bool busy = false;
    bool reserved = false;
    bool chipPinned = false;
    int reportedChip = -1;
    ChipOperations::Schedule work;
    char imageLetter = 0;  // of the image on its way
    int keyWhileBusy = -1; // the latest key report seen while busy
    // What runs once the pump has sent what it holds.
    std::function<void()> afterPump;
    // The image or block that owns the port, and the fill or dump request in the pump.
    Transfer *transfer = nullptr;
    Transfer *request = nullptr;
};
