#pragma once

#include <QCommandLineOption>
#include <QList>

// vantor-cli's options come from one table, which gives both the parser's options and their
// entries in --help (helpText(), options.h); tests/docs/options.sh holds the manual page
// and the READMEs to it.

// Every option, with its --help entry's text as its description.
QList<QCommandLineOption> toolOptions();
