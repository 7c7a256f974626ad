#pragma once

#include <QProcess>
#include <QString>

// The programmer emulator (vantor-sim) run as a child process, for trying the program
// without hardware.
class SimulatedProgrammer
{
public:
    ~SimulatedProgrammer();

    // Starts the emulator found at program with arguments and waits for it to name its
    // device. Returns the device path, or an empty string (with *error set).
    QString start(const QString &program, const QStringList &arguments, QString *error);
    void stop();

private:
    QProcess m_process;
};
