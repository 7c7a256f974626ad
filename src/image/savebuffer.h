#pragma once

#include "image/filedialogs.h"

#include <QString>

class Programmer;

// Save: a 1K, 2K or 4K block of the programmer's SRAM into an image file, after the
// "Select Size" window Form3.
class SaveBuffer
{
public:
    explicit SaveBuffer(Programmer &p) : p(p), dialogs(p) {}

    void muFileSave_Click();
    // SAVE in Form3: the size text into Text2, then hide Form3.
    void Form3_Command1_Click();

    // How long to wait for a block of n bytes: its time at 9600 baud (10 bits a byte)
    // with half again as margin, plus a second and a half for the programmer to start.
    static int timeoutMs(int bytes) { return bytes * 10 * 1000 / 9600 * 3 / 2 + 1500; }

private:
    static constexpr int QuietMs = 30;
    static constexpr int QuietLimitMs = 1000;

    void settleLine();
    // Receives the block and writes the file; every path restores the port's text mode
    // and the poller.
    void receiveBlock(const QString &command, int expected);

    Programmer &p;
    FileDialogs dialogs;
    bool m_sizeChosen = false;
};
