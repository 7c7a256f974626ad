#pragma once

#include "core/imagefile.h"
#include "image/filedialogs.h"

#include <QByteArray>
#include <QString>

class Programmer;

// Load ("L") and Express ("Q"): an image file into the programmer's SRAM.
class ImageTransfer
{
public:
    enum class SendResult { Sent, NotConnected, Removed, Searching };

    explicit ImageTransfer(Programmer &p) : p(p), dialogs(p) {}

    void muFileLoad_Click();
    void muIcExp_Click();

    // The wire transfer shared by both: the command letter by SendCommand, then the
    // big-endian length and the image staged in TxBuffer and written one byte per write,
    // with Timer1 off and events let run after every byte.
    SendResult SendImage(char commandLetter, const QByteArray &image);

private:
    // Shows why an image cannot be sent; true when it can.
    bool acceptImage(const ImageFile::ReadResult &image);
    // Reads LatestFile and sends it under the command letter; Text2 tells how it went.
    void sendLatestFile(char commandLetter);

    Programmer &p;
    FileDialogs dialogs;
};
