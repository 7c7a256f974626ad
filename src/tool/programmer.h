#pragma once

class Console;
class Link;
struct Options;

// One programmer as the chip's steps use it: the run's options, the link to it and where
// its words go. The tool's own for a command on one programmer; one of each station of a
// production run on several.
struct Programmer {
    const Options &options;
    Link &link;
    Console &console;
    int station = 0; // its number among several, counted from 1; 0 when it is the only one
};
