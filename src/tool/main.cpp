#include "commands.h"
#include "exitcode.h"
#include "options.h"
#include "tool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    Options options;
    QString error;
    switch (parseOptions(QCoreApplication::arguments(), &options, &error)) {
    case ParseOutcome::Help:
        Console().result(helpText().trimmed());
        return Success;
    case ParseOutcome::Version:
        Console().result(
            QStringLiteral("vantor-cli %1").arg(QCoreApplication::applicationVersion()));
        return Success;
    case ParseOutcome::Error: {
        Console console;
        console.error(error);
        console.error(QStringLiteral("see vantor-cli --help"));
        return Usage;
    }
    case ParseOutcome::Run:
        break;
    }
    Tool tool(options);
    const int rc = runCommand(tool);
    tool.console.done(rc);
    return rc;
}
