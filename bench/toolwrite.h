#pragma once

// vantor-cli write of a 2 KiB image against vantor-sim --pace: wall time against the floor
// (the window's discovery timing, the line time of every byte sent and received, and the
// chip's longest erase, programming and read), and against the emulator's own (its erase
// and programming in place of the chip's longest), with where the rest goes. Prints a
// table; returns 0, or 1 when a run failed.
int benchToolWrite(int runs);
