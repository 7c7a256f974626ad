// write FILE --watch: the edit, compile and program loop. The chip is written at the start
// and again whenever FILE has changed and stayed unchanged for 300 ms; a file that does not
// read as an image then is said and the watch goes on. Ctrl+C between chips ends the watch
// (exit 0); during a chip it stops at once, as for write.
#include "watch.h"

#include "chipcycle.h"
#include "commands.h"
#include "exitcode.h"
#include "tool.h"
#include "wait.h"

#include "core/clock.h"
#include "core/session.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

FileSettle::FileSettle(const QString &path, Clock &clock, std::function<void()> settled)
    : m_path(path), m_timer(clock.createTimer(&m_context)), m_last(seen())
{
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &ClockTimer::timeout, &m_context, std::move(settled));
    const auto look = [this] { this->look(); };
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_context, look);
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_context, look);
    m_watcher.addPath(QFileInfo(path).absolutePath());
    if (m_last.exists)
        m_watcher.addPath(path);
}

FileSettle::Seen FileSettle::seen() const
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return {};
    return {true, qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void FileSettle::look()
{
    const Seen now = seen();
    if (now.exists && !m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path); // replaced by a rename, or made anew
    if (now == m_last)
        return;
    m_last = now;
    m_timer->start(SettleMs);
}

namespace
{

class WatchRun
{
public:
    WatchRun(Tool &tool, const QString &path)
        : m_tool(tool), m_path(path), m_settle(path, Clock::system(), [this] { onSettled(); })
    {
    }
    int run();

private:
    enum Outcome { Changed, Interrupted, Gone };
    void onSettled();
    int writeOnce();
    Outcome waitChange();

    Tool &m_tool;
    QString m_path;
    FileSettle m_settle;
    Wait *m_wait = nullptr;
    bool m_pending = false;
    int m_passed = 0;
    int m_failed = 0;
};

void WatchRun::onSettled()
{
    m_pending = true;
    if (m_wait)
        m_wait->finish(Changed);
}

int WatchRun::run()
{
    if (!QFileInfo(QFileInfo(m_path).absolutePath()).isDir())
        return m_tool.usage(
            QStringLiteral("%1: no such folder to watch").arg(QDir::toNativeSeparators(m_path)));
    if (const int rc = m_tool.connect(); rc != Success)
        return rc;
    for (;;) {
        if (writeOnce() == NoProgrammer)
            return NoProgrammer;
        const Outcome outcome = waitChange();
        if (outcome == Interrupted)
            return Success;
        if (outcome == Gone) {
            m_tool.console.error(QStringLiteral("the programmer went away"));
            return NoProgrammer;
        }
    }
}

// The file as it is now into the chip; Usage when the file is no image for it.
int WatchRun::writeOnce()
{
    m_pending = false;
    QByteArray image;
    if (const int rc = m_tool.readChipImage(m_path, &image); rc != Success)
        return rc;
    if (!m_tool.chipTakes(static_cast<int>(image.size()))) {
        m_tool.console.error(QStringLiteral("the image does not fit the chip now chosen"));
        return Usage;
    }
    const ChipResult result = writeChipAttempts(m_tool, image, m_path);
    const bool ok = result.code == Success;
    ++(ok ? m_passed : m_failed);
    announceVerdict(m_tool, ok);
    const QString name = QDir::toNativeSeparators(m_path);
    m_tool.console.result(QStringLiteral("%1: %2 (%3 passed, %4 failed)")
                              .arg(name, ok ? "passed" : "failed")
                              .arg(m_passed)
                              .arg(m_failed),
                          {{"event", "watch"},
                           {"file", name},
                           {"passed", ok},
                           {"attempts", result.attempt},
                           {"total_passed", m_passed},
                           {"total_failed", m_failed}});
    return result.code;
}

WatchRun::Outcome WatchRun::waitChange()
{
    ProgrammerSession &session = m_tool.link.session();
    if (!session.isConnected())
        return Gone;
    if (m_pending)
        return Changed;
    m_tool.console.status(QStringLiteral("watching %1 for changes; Ctrl+C ends")
                              .arg(QDir::toNativeSeparators(m_path)));
    Wait wait;
    m_wait = &wait;
    m_tool.interrupt.setHandler([&wait] { wait.finish(Interrupted); });
    QObject::connect(&session, &ProgrammerSession::removed, wait.context(),
                     [&wait] { wait.finish(Gone); });
    const auto outcome = static_cast<Outcome>(wait.run());
    m_wait = nullptr;
    m_tool.interrupt.setHandler([this] { m_tool.stopNow(); });
    return outcome;
}

} // namespace

int watchFile(Tool &tool, const QString &path)
{
    return WatchRun(tool, path).run();
}
