#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <functional>

class Clock;
class ClockTimer;

// A file that an editor or a compiler writes: told once it has changed and then stayed
// unchanged for SettleMs, so that output still being written is not taken. A file replaced
// by a rename (as many editors and compilers save) is watched again under its name; other
// files coming and going in its folder are no change to it.
class FileSettle
{
public:
    static constexpr int SettleMs = 300;

    FileSettle(const QString &path, Clock &clock, std::function<void()> settled);

    // Looks at the file again: a change to its content, size, time or identity starts the
    // SettleMs afresh. The watcher calls it on every event.
    void look();

private:
    struct Seen {
        bool exists = false;
        qint64 device = 0, inode = 0, size = 0, modifiedNs = 0;
        bool operator==(const Seen &o) const
        {
            return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
                   modifiedNs == o.modifiedNs;
        }
    };
    Seen seen() const;

    QString m_path;
    QFileSystemWatcher m_watcher;
    QObject m_context;
    ClockTimer *m_timer;
    Seen m_last;
};
