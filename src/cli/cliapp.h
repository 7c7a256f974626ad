#pragma once

#include "cli/consoleview.h"
#include "cli/progress.h"
#include "core/portmap.h"
#include "core/simulatedprogrammer.h"
#include "image/commondialog.h"
#include "link/commandset.h"

#include <QByteArray>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class Programmer;

// vantor-cli: one command per run, carried out by the same Programmer object as the
// window's, with a console in place of the window. Nothing here speaks the protocol
// itself: discovery, chip selection, the fixed commands, fill and dump, Load and Express,
// and the read-back of Save are the Programmer's own handlers; this class only starts
// them, waits for their replies and decides the exit code.
class CliApp
{
public:
    enum ExitCode { Success = 0, Refused = 1, Usage = 2, NoProgrammer = 3 };

    // How long the line must stay quiet after a complete reply before a command ends.
    static constexpr int QuietMs = 250;

    CliApp();
    ~CliApp();

    // arguments as QCoreApplication::arguments(); returns the exit code.
    int run(const QStringList &arguments);

private:
    // Answers the file dialogs with the file named on the command line and agrees to
    // replace it; the command-line tool opens no dialog.
    class FileAnswer : public DialogBackend
    {
    public:
        QString fileName;
        Outcome fileDialog(Kind, const QString &, const QString &, QString &name) override
        {
            name = fileName;
            return Outcome::Chosen;
        }
        int messageBox(const QString &, int, const QString &) override { return 6; }
    };

    using Handler = void (CommandSet::*)();

    int dispatch(const QString &command, const QStringList &args);
    int usageError(const QString &why);

    // The chip the start-up rule will choose from ChipName (1 to 3, 0 for none).
    int expectedChipOption() const;
    int chipOptionNow() const;
    QString chipLimitName(int option) const;
    int needChip(int *option);

    // Reads a raw (*.tsk, *.bin, anything else) or Intel HEX (*.hex, *.ihx) image whose
    // bytes must stay below limit. Usage (bad file) on failure, with the message shown.
    int readImage(const QString &path, int limit, const QString &limitName, QByteArray *image);
    int writeImage(const QString &path, const QByteArray &image);
    int checkOutputPath(const QString &path);
    int parseSize(int *size, int option);

    // Creates the Programmer on the chosen ports and reads chip.log as the window does.
    int createProgrammer(bool readChipLog);
    // The window's search (COM1 to COM11), then the chip command of its settle step.
    int connectProgrammer(bool chipReplyIsOutput);
    // Waits for the reply of the command just sent: complete when lines lines have come
    // or a failure line, then QuietMs of quiet; or timeoutMs. report: say why it failed.
    int awaitReply(int lines, int timeoutMs, bool report = true);
    int runFixed(Handler handler, int lines, int timeoutMs);
    int sendImage(char letter, const QByteArray &image, const QString &path, int lines,
                  int timeoutMs);
    int receiveBlock(int size, QByteArray *block, const QString &label);
    int compareWithChip(const QByteArray &image);

    void startProgress(const QString &label, int total, std::function<int()> done);
    void stopProgress(int done);

    int cmdPorts();
    int cmdConvert(const QString &in, const QString &out);
    int cmdChip(const QString &name);
    int cmdLoad(const QString &path, bool express);
    int cmdSave(const QString &path, bool readChipFirst);
    int cmdWrite(const QString &path, bool program);
    int cmdDump(const QString &address);
    int cmdFill(const QString &value);

    Console m_console{false};
    ConsoleView m_view{m_console};
    FileAnswer m_dialogs;
    PortMap m_ports;
    bool m_simulate = false;
    SimulatedProgrammer m_simulator;
    std::unique_ptr<Programmer> m_p;
    QString m_chipOverride;
    QString m_sizeText;
    int m_lastMappedPort = 0;
    QTimer m_progressTimer;
    std::function<int()> m_progressDone;
};
