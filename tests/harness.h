#pragma once

#include "core/messages.h"
#include "core/programmer.h"
#include "image/commondialog.h"
#include "simfixture.h"
#include "ui/form1.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

// Answers the file dialogs and message boxes in place of the user, and records them.
class ScriptedDialogs : public DialogBackend
{
public:
    struct FileCall {
        Kind kind;
        QString title;
        QString filter;
        QString offered;
    };
    struct BoxCall {
        QString text;
        int style;
        QString title;
    };
    using FileAnswer = std::function<Outcome(QString &fileName)>;

    // The next file dialog returns name (or is cancelled / fails).
    void chooseFile(const QString &name)
    {
        m_files << [name](QString &fileName) {
            fileName = name;
            return Outcome::Chosen;
        };
    }
    void cancelFile()
    {
        m_files << [](QString &) { return Outcome::Cancelled; };
    }
    void failFile()
    {
        m_files << [](QString &) { return Outcome::Failed; };
    }
    void answerFile(const FileAnswer &answer) { m_files << answer; }
    // The next message box answers reply (1 OK, 6 Yes, 7 No).
    void answerBox(int reply) { m_boxes << reply; }

    Outcome fileDialog(Kind kind, const QString &title, const QString &filter,
                       QString &fileName) override
    {
        fileCalls << FileCall{kind, title, filter, fileName};
        if (m_files.isEmpty())
            return Outcome::Cancelled;
        return m_files.takeFirst()(fileName);
    }
    int messageBox(const QString &text, int style, const QString &title) override
    {
        boxCalls << BoxCall{text, style, title};
        return m_boxes.isEmpty() ? 1 : m_boxes.takeFirst();
    }

    bool exhausted() const { return m_files.isEmpty() && m_boxes.isEmpty(); }

    QList<FileCall> fileCalls;
    QList<BoxCall> boxCalls;

private:
    QList<FileAnswer> m_files;
    QList<int> m_boxes;
};

// The real main window, offscreen, with the settings files in a directory of its own and
// the dialogs answered by the test.
class WindowHarness
{
public:
    explicit WindowHarness(const PortMap &ports) : dialogs(new ScriptedDialogs)
    {
        window = std::make_unique<Form1>(ports, dialogs.get());
    }
    ~WindowHarness() { window.reset(); }

    void writeSetting(const QString &name, const QByteArray &content)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
    QByteArray readSetting(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    void load()
    {
        window->Form_Load(dir.path());
        window->show();
    }
    // Waits until discovery has found the programmer on COM port and its settle step has
    // run (the chip from chip.log chosen and told).
    bool settled(int port = 1)
    {
        return QTest::qWaitFor(
            [&] { return text(2) == Msg::foundOn(port) && !p().Timer4.Enabled(); }, 8000);
    }

    // Sends "c" (the SRAM checksum) as a fence and waits for its answer: everything sent
    // before it is then on the line, and no reply is still on its way. Returns what the line
    // carried since the last mark, and marks it. When a "c" may already be on its way,
    // before says how many bytes come ahead of the fence.
    QByteArray fence(SimProcess &sim, int before = 0)
    {
        p().link.SendCommand(QStringLiteral("c"));
        static const QRegularExpression answer(QStringLiteral("Checksum [0-9A-F]{4}\r\n$"));
        const bool fenced =
            sim.waitReceived(before + 1, 10000) && sim.waitReceivedEndsWith("c", 10000) &&
            QTest::qWaitFor([&] { return answer.match(p().RxText).hasMatch(); }, 10000);
        const QByteArray line = sim.received();
        sim.markReceived();
        return fenced ? line : line + "<no answer to the fence>";
    }
    // Between the tests that share a window: the line fenced and forgotten, the dialogs'
    // records and Text2 cleared.
    void startAfresh(SimProcess &sim)
    {
        if (p().MSComm1.PortOpen())
            fence(sim);
        sim.markReceived();
        dialogs->fileCalls.clear();
        dialogs->boxCalls.clear();
        p().setText(2, QString());
    }

    Programmer &p() { return window->programmer(); }
    QString text(int box) { return p().view.text(box); }
    template <typename T> T *find(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    QTemporaryDir dir;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<Form1> window;
};

// Starts the emulator and a window that found it on COM1 and settled with the 2051; the
// line carried the two probes and the chip command, and is marked.
inline bool connectWindow(SimProcess &sim, std::unique_ptr<WindowHarness> &w)
{
    if (!sim.start())
        return false;
    w = std::make_unique<WindowHarness>(PortMap::fromDevices({sim.device()}));
    w->load();
    return w->settled() && w->fence(sim) == "ii!c";
}

// A reproducible byte sequence that repeats nowhere in the first 8 KiB.
inline QByteArray pattern(int n, quint32 seed)
{
    QByteArray bytes(n, '\0');
    quint32 x = seed * 2654435761u + 1u;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(x >> 16);
    }
    return bytes;
}

// True when text is the message made with a reason that the test cannot know (an error
// string of the system): withMarker is that message made with "\x01" as the reason.
inline bool matchesWithReason(const QString &text, const QString &withMarker)
{
    const qsizetype at = withMarker.indexOf(QChar(1));
    return at >= 0 && text.size() > withMarker.size() - 1 && text.startsWith(withMarker.left(at)) &&
           text.endsWith(withMarker.mid(at + 1));
}
