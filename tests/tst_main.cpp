#include "table.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The programs as a user starts them: usb-vantor's command line with no display (help,
// version), one version for all three programs, and where the window keeps tsk.log and
// chip.log when started from a terminal and from the desktop entry (--data-folder).
class TstMain : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void settingsFolder_data();
    void settingsFolder();

private:
    static QString program(const QString &name)
    {
        return QDir(QStringLiteral(VANTOR_BIN_DIR)).filePath(name);
    }
    QTemporaryDir m_dir;
};

void TstMain::commandLine_data()
{
    const Table<QString, QStringList, int, QString> row;
    const QString v = QStringLiteral(" " VANTOR_VERSION);
    row("window version", "usb-vantor", {"--version"}, 0, "usb-vantor" + v);
    row("tool version", "vantor-cli", {"--version"}, 0, "vantor-cli" + v);
    row("emulator version", "vantor-sim", {"--version"}, 0, "vantor-sim" + v);
    row("window help among options", "usb-vantor", {"--ports", "/dev/null", "-h"}, 0,
        "Usage: usb-vantor [options]");
    // Qt's own options are taken first, so a wrong option is told with a display only.
    row("window wrong option", "usb-vantor", {"--port", "/dev/null"}, 2, "");
    row("window file argument", "usb-vantor", {"blink.tsk"}, 2, "");
}

void TstMain::commandLine()
{
    const auto [name, arguments, exitCode, firstLine] =
        Table<QString, QStringList, int, QString>::fetch();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(variable));
    if (exitCode != 0)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program(name), arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    // The help names the program as it was started.
    const QString out =
        QString::fromUtf8(process.readAllStandardOutput()).remove(VANTOR_BIN_DIR "/");
    QCOMPARE(out.section(QLatin1Char('\n'), 0, 0), firstLine);
    if (exitCode == 2)
        QVERIFY(process.readAllStandardError().contains("see usb-vantor --help"));
}

void TstMain::settingsFolder_data()
{
    // settings: the folder that must get tsk.log and chip.log
    const Table<QStringList, bool, QString> row;
    row("terminal", {}, true, "start");
    row("desktop entry", {"--data-folder"}, true, "xdg/usb-vantor");
    row("desktop entry, no XDG_DATA_HOME", {"--data-folder"}, false,
        "home/.local/share/usb-vantor");
}

void TstMain::settingsFolder()
{
    const auto [arguments, xdgDataHome, settings] = Table<QStringList, bool, QString>::fetch();
    const QDir root(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(root.mkpath(QStringLiteral("start")) && root.mkpath(QStringLiteral("home")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    if (xdgDataHome)
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("xdg")));
    QProcess window;
    window.setProcessEnvironment(env);
    window.setWorkingDirectory(root.filePath(QStringLiteral("start")));
    // No port: the search ends at once and nothing is opened.
    window.start(program(QStringLiteral("usb-vantor")), arguments + QStringList{"--ports", ","});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(root.filePath(settings + "/tsk.log")) &&
                                 QFile::exists(root.filePath(settings + "/chip.log")),
                             30000);
    window.kill();
    window.waitForFinished();
    for (const QString other : {"start", "xdg/usb-vantor", "home/.local/share/usb-vantor"})
        QVERIFY2(other == settings || !QFile::exists(root.filePath(other + "/tsk.log")),
                 qPrintable(other));
}

QTEST_GUILESS_MAIN(TstMain)
#include "tst_main.moc"
