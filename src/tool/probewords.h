#pragma once

#include <QByteArray>
#include <QString>

struct PortProbe;

// What the tool says of the ports it searched.

// Why a port was not the programmer: "no such device", "busy: held by another program
// (minicom, pid 812)", "answered but not as the programmer: "OK\r\n"", ...
QString probeText(const PortProbe &probe);

// The identification shown once after the search. The search's probe stops listening once
// 26 characters have come; the rest of that answer arrives before the answer to the "i"
// sent on finding the programmer. That second answer is shown whole: the received text from
// where it repeats the probe's answer, or else the probe's answer and all that followed.
QString identification(const QByteArray &probeAnswer, const QString &received);

// Bytes as text in double quotes: printable ASCII as it is, \r \n \t \" \\ and \xHH else.
QString quoted(const QByteArray &bytes);
