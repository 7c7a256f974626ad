#pragma once

#include <QtGlobal>

class Programmer;

// SRAM fill (Text3, "F" + value) and dump (Text4, "d" + address), queued for the pump.
class SramTools
{
public:
    explicit SramTools(Programmer &p) : p(p) {}

    void muProgFill_Click();
    void muProgDump_Click();
    // Enter (key code 13) runs the handler, whatever the shift state.
    void Text3_KeyDown(qint16 keyCode, qint16 shift);
    void Text4_KeyDown(qint16 keyCode, qint16 shift);

private:
    void clearReplies();

    Programmer &p;
};
