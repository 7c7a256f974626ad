// vantor-sim: the programmer board on a pseudo-terminal.
//
// Prints the slave device path as the first line of standard output, then serves the
// firmware model on the master side and a line-based control channel on standard input.

#include "options.h"
#include "simulator.h"

#include <cstdio>
#ifdef __linux__
#include <sys/prctl.h>
#endif

int main(int argc, char **argv)
{
    vantorsim::Options options;
    const int rc = vantorsim::parseOptions(argc, argv, options);
    if (rc >= 0)
        return rc;

    vantorsim::Simulator sim;
    sim.pace = options.pace;
    sim.silent = options.silent;
    sim.latencyMs = static_cast<double>(options.latencyMs);
    sim.fw.setTexts(options.texts);
    if (options.customIdentification)
        sim.fw.setIdentification(options.identification);
    sim.fw.setPacing(options.pace);
    sim.fw.setSocket(options.chip);
    for (const std::string &fault : options.faults) {
        if (!sim.fw.setFault(fault)) {
            std::fprintf(stderr, "vantor-sim: unknown fault '%s'\n", fault.c_str());
            return 2;
        }
    }
    if (options.logPath) {
        sim.log = std::fopen(options.logPath, "w");
        if (!sim.log) {
            std::perror("vantor-sim: log file");
            return 1;
        }
    }
    vantorsim::installStopHandlers();
#ifdef __linux__
    // Wake-ups close to the asked time keep the 9600-baud pacing close to the real line.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif

    std::string slavePath;
    if (!sim.openTerminal(slavePath))
        return 1;
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    const int result = sim.run();
    if (sim.log)
        std::fclose(sim.log);
    return result;
}
