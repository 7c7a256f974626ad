#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vantorsim
{

namespace
{

void usage(std::FILE *to)
{
    std::fputs("usage: vantor-sim [--pace] [--chip 2051|4051|1051U|none] [--id TEXT] [--silent]\n"
               "                  [--texts default|other] [--log FILE] [--latency MS]\n"
               "                  [--fault no-clear|no-lock|sram]\n"
               "       vantor-sim --help | --version\n",
               to);
}

int badValue(const char *what, const char *value)
{
    std::fprintf(stderr, "vantor-sim: unknown %s '%s'\n", what, value);
    return 2;
}

// One option that takes a value; false when arg is none of them.
bool valueOption(const std::string &arg, const char *value, Options &options, int &rc)
{
    if (arg == "--chip") {
        if (!parseChip(value, options.chip))
            rc = badValue("chip", value);
    } else if (arg == "--texts") {
        if (!parseTexts(value, options.texts))
            rc = badValue("texts", value);
    } else if (arg == "--latency") {
        if (!parseNumber(value, options.latencyMs) || options.latencyMs > 1000)
            rc = badValue("latency", value);
    } else if (arg == "--id") {
        options.customIdentification = true;
        options.identification = decodeEscapes(value);
    } else if (arg == "--fault") {
        options.faults.push_back(value);
    } else if (arg == "--log") {
        options.logPath = value;
    } else {
        return false;
    }
    return true;
}

} // namespace

int parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        int rc = -1;
        if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("vantor-sim %s\n", VANTOR_VERSION);
            return 0;
        } else if (i + 1 >= argc || !valueOption(arg, argv[i + 1], options, rc)) {
            std::fprintf(stderr, "vantor-sim: bad argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        } else {
            ++i;
        }
        if (rc >= 0)
            return rc;
    }
    return -1;
}

bool parseNumber(const std::string &text, unsigned long &value)
{
    if (text.empty())
        return false;
    int base = 10;
    std::string digits = text;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        digits = text.substr(2);
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+')
        return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtoul(digits.c_str(), &end, base);
    return errno == 0 && end && *end == '\0';
}

} // namespace vantorsim
