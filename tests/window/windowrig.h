#pragma once

#include "core/workbench.h"
#include "scripteddialogs.h"
#include "simfixture.h"
#include "table.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

// The real main window on a workbench over the given line, with its settings files in a
// folder of its own and its dialogs answered by the test.
struct WindowRig {
    explicit WindowRig(Transport *line, Clock *clock = nullptr)
        : workbench(line, &dialogs, clock), window(workbench)
    {
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    void writeSetting(const char *name, const QByteArray &bytes) { writeFile(path(name), bytes); }
    // Start-up in the rig's folder, then the window shows.
    void start()
    {
        workbench.start(dir.path());
        window.show();
    }
    template <typename T = QWidget> T *find(const QString &n) const
    {
        return window.findChild<T *>(n);
    }
    QString response() const { return find<QPlainTextEdit>("Text1")->toPlainText(); }
    QString status() const { return find<QLineEdit>("Text2")->text(); }
    // Clicks the button or option, or chooses the menu item, of that object name.
    void use(const QString &name)
    {
        if (auto *button = window.findChild<QAbstractButton *>(name))
            button->click();
        else if (auto *action = window.findChild<QAction *>(name))
            action->trigger();
        else
            QFAIL(qPrintable(QStringLiteral("no control named ") + name));
    }

    QTemporaryDir dir;
    ScriptedDialogBackend dialogs;
    Workbench workbench;
    MainWindow window;
};
