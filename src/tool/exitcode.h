#pragma once

// What vantor-cli's exit code says.
enum ExitCode {
    Success = 0,       // done
    Failed = 1,        // the programmer or the comparison said no, or no reply came in time
    Usage = 2,         // a usage error, or a file that cannot be read, used or written
    NoProgrammer = 3,  // none answered, or it went away
    Interrupted = 130, // Ctrl+C (128 + SIGINT, as a shell reports a program it stopped)
};
