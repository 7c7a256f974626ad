#pragma once

#include "core/linetiming.h"

class Programmer;

// Programmer discovery ("ComPort check"): COM1 to COM11, one per Timer3 tick.
class Discovery
{
public:
    static constexpr int ReplyLength = LineTiming::IdentityLength;
    static constexpr int ProbeInterval = LineTiming::ProbeMs;
    static constexpr int ClockInterval = LineTiming::ClockMs;
    static constexpr int LastPort = LineTiming::LastPort;

    explicit Discovery(Programmer &p) : p(p) {}

    void muFileComm_Click();
    void Timer3_Timer();
    void Timer4_Timer();

private:
    void probeFailed();

    Programmer &p;
};
