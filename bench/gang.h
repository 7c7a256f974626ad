#pragma once

// vantor-cli write --repeat with one programmer, then with four at once, each a paced
// emulator on a pseudo-terminal of its own: 5 chips a station of a 2 KiB image (AT89C2051),
// each next chip started by that emulator's key as soon as the tool reports the one before.
// Prints the wall time and the tool's CPU time of both side by side against the targets;
// returns 0, or 1 when a run failed (a chip failed, the tool refused the ports, stopped
// reporting chips or ended with another exit code). VANTOR_CLI names another vantor-cli to run
// than the one built beside the bench.
int benchGang(int runs);
