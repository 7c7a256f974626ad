#pragma once

class Programmer;

// Programmer discovery ("ComPort check"): COM1 to COM11, one per Timer3 tick.
class Discovery
{
public:
    static constexpr int ReplyLength = 26;    // a reply this long counts as found
    static constexpr int ProbeInterval = 400; // Timer3
    static constexpr int ClockInterval = 100; // Timer4
    static constexpr int LastPort = 11;

    explicit Discovery(Programmer &p) : p(p) {}

    void muFileComm_Click();
    void Timer3_Timer();
    void Timer4_Timer();

private:
    void probeFailed();

    Programmer &p;
};
