#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <utility>

// Runs the programmer emulator vantor-sim as its own process on a pseudo-terminal:
// its device path, its control channel, and the log of every byte it received.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments = {});
    ~SimProcess();

    bool start();
    void stop();
    QString device() const { return m_device; }

    // Sends one control line and returns the emulator's one-line answer.
    QString control(const QString &line);

    // Every byte received so far, in order.
    QByteArray received() const;
    // Waits until at least n bytes have been received.
    bool waitReceived(int n, int timeoutMs = 5000) const;
    // Forgets what was received so far (received() starts again from empty).
    void markReceived();

private:
    QStringList m_arguments;
    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_device;
    QString m_logPath;
    int m_mark = 0;
};

// The path of the emulator beside the tests.
QString simProgram();

// A file's bytes ("<unreadable>" when it cannot be read).
QByteArray readFile(const QString &path);
// Writes bytes into a new or emptied file (a fatal error if it cannot) and returns path.
QString writeFile(const QString &path, const QByteArray &bytes);

// A pseudo-terminal: the line's device, and its far end in the test's hands.
struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QString device = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                         ? QString::fromLocal8Bit(::ptsname(master))
                         : QString();
    ~Pty() { unplug(); }
    void unplug() { ::close(std::exchange(master, -1)); } // the device goes away
};
