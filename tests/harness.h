#pragma once

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
#include <QTemporaryDir>

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
