// The menu bar of the main window: every heading and item with its object name and caption,
// and what each item runs.

#include "core/workbench.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

QMenu *MainWindow::addMenu(const char *objectName, const QString &caption,
                           std::initializer_list<MenuItem> items)
{
    QMenu *menu = menuBar()->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(objectName));
    menu->menuAction()->setObjectName(QString::fromLatin1(objectName));
    for (const MenuItem &item : items) {
        QAction *action =
            item.caption ? menu->addAction(QString::fromUtf8(item.caption)) : menu->addSeparator();
        action->setObjectName(QString::fromLatin1(item.objectName));
        if (item.run)
            connect(action, &QAction::triggered, this, item.run);
    }
    return menu;
}

void MainWindow::buildMenus()
{
    Workbench &w = m_workbench;
    addMenu("muFile", QStringLiteral("File(&F)"),
            {{"muFileLoad", "Load(&L)", [&w] { w.load(); }},
             {"muFileSave", "Save(&S)", [this] { offerSave(); }},
             {"muFileComm", "ComPort check(&K)", [&w] { w.search(); }},
             {"muFileC", nullptr, {}},
             {"muFileExit", "Exit(&X)", [&w] { w.exit(); }}});
    QMenu *ic = addMenu("muIc", QStringLiteral("IC(&C)"),
                        {{"muIcSig", "Signature(&I)", sending("s")},
                         {"muIcC1", nullptr, {}},
                         {"muIcBlank", "Blank Check(&B)", sending("B")},
                         {"muIcErase", "Erase Chip(&E)", sending("E")},
                         {"muIcProg", "Programming(&P)", sending("P")},
                         {"muIcLock", "Lock bit(&L)", sending("l")},
                         {"muIcRead", "Read(&R)", sending("R")},
                         {"muIcVer", "Verify(&V)", sending("V")},
                         {"muIcC2", nullptr, {}},
                         {"muIcExp", "Express(&Q)", [&w] { w.express(); }}});
    // The one shortcut: Ctrl+P is Express, although Programming has P as its access key.
    QAction *express = ic->findChild<QAction *>(QStringLiteral("muIcExp"));
    express->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    express->setShortcutContext(Qt::WindowShortcut);
    addMenu("muProg", QStringLiteral("Programmer(&P)"),
            {{"muProgClear", "SRAM Clear(&C)", sending("X")},
             {"muProgFill", "SRAM Fill(&F)", [this] { fill(); }},
             {"muProgDump", "SRAM Dump(&D)", [this] { dump(); }},
             {"muProgSum", "SRAM Checksum(&S)", sending("c")}});
    addMenu("muDiag", QStringLiteral("Diagnostic(&D)"),
            {{"muDiagRAM", "Test 8K SRAM(&M)", sending("tR")},
             {"muDiagLED", "Test LED(&D)", sending("tL")},
             {"muDiagBuz", "Test Buzzer(&B)", sending("tb")},
             {"muDiagC1", nullptr, {}},
             {"muDiagVpp", "Test Vpp at 12V(&V)", sending("tV")},
             {"muDiagHi", "Test Vpp at High(&H)", sending("th")},
             {"muDiagLow", "Test Vpp at Low(&L)", sending("tl")},
             {"muDiagC2", nullptr, {}},
             {"muDiagFirm", "Firmware Version(&N)", sending("tf")}});
    // The About menu asks the programmer for its version; it does not open the about box.
    addMenu("muAbout", QStringLiteral("About(&A)"), {{"muAboutVer", "Version(&N)", sending("i")}});
}
