#pragma once

#include "core/workbench.h"
#include "scripteddialogs.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

// The real main window on a workbench over the given line, with its settings files in a
// folder of its own and its dialogs answered by the test.
class WindowRig
{
public:
    explicit WindowRig(Transport *line, Clock *clock = nullptr)
        : workbench(line, &dialogs, clock), window(workbench)
    {
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    void writeSetting(const QString &name, const QByteArray &content)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }
    QByteArray setting(const QString &name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Start-up in the rig's folder, then the window shows.
    void start()
    {
        workbench.start(dir.path());
        window.show();
    }

    template <typename T = QWidget> T *find(const char *objectName) const
    {
        return window.findChild<T *>(QString::fromLatin1(objectName));
    }
    QString response() const { return find<QPlainTextEdit>("Text1")->toPlainText(); }
    QString status() const { return find<QLineEdit>("Text2")->text(); }
    QString latestFileLine() const { return find<QLabel>("Label3")->text(); }
    // The chip option shown as chosen ("Option1" to "Option3"), or "none".
    QString chosenChip() const
    {
        for (const char *name : {"Option1", "Option2", "Option3"}) {
            if (find<QRadioButton>(name)->isChecked())
                return QString::fromLatin1(name);
        }
        return QStringLiteral("none");
    }
    // Clicks the button or option, or chooses the menu item, of that object name.
    void use(const QString &objectName)
    {
        if (auto *button = window.findChild<QAbstractButton *>(objectName))
            button->click();
        else if (auto *action = window.findChild<QAction *>(objectName))
            action->trigger();
        else
            QFAIL(qPrintable(QStringLiteral("no control named ") + objectName));
    }

    QTemporaryDir dir;
    ScriptedDialogBackend dialogs;
    Workbench workbench;
    MainWindow window;
};

// Gives a widget of a shown window the keyboard focus; false when it cannot have it.
inline bool focusOn(QWidget *widget)
{
    widget->window()->activateWindow();
    if (!QTest::qWaitFor([&] { return widget->window()->isActiveWindow(); }, 5000))
        return false;
    widget->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([&] { return widget->hasFocus(); }, 5000);
}
