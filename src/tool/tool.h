#pragma once

#include "console.h"
#include "interrupt.h"
#include "link.h"
#include "options.h"
#include "programmer.h"
#include "stations.h"

#include <QString>

// One run of vantor-cli: its options, its console and its link to the programmer.
struct Tool {
    explicit Tool(const Options &given);

    Options options;
    Console console;
    Link link{options, console};
    // Ctrl+C stops the run at once (stopNow) unless a command handles it otherwise.
    Interrupt interrupt;

    Programmer programmer() { return {options, link, console}; }

    // Says what was under way and what the chip may be left as, closes the port and ends
    // the run with Interrupted.
    [[noreturn]] void stopNow();

    // A usage error: the reason and the hint to --help; returns Usage.
    int usage(const QString &why);
    // The link's preparation, once (see Link::prepare).
    int prepare(bool remember);
    // The search, after reading chip.log.
    int connect(Replies chipReplies = Replies::Status);
    // The chip that the search will choose, for an image's limit: Usage when chip.log names
    // none of the three.
    int needChip(int *chip);
    // The image at path, refused when larger than limit (limitName says what it is) or empty.
    int readImage(const QString &path, int limit, const QString &limitName, QByteArray *image);
    // needChip, then the image at path, refused when larger than that chip's flash.
    int readChipImage(const QString &path, QByteArray *image);
    // Whether the chip chosen after the search still takes an image of this size.
    bool chipTakes(int bytes);
    // Before prepare(): the link looks for the programmer at port, already looked up.
    void usePort(const StationPort &port);

private:
    // The device of the one adapter --usb-serial or --usb names, as options.portValue.
    int findAdapter();

    bool m_prepared = false;
};
