#pragma once

#include "core/notice.h"
#include "core/session.h"

#include <QObject>
#include <QString>

#include <memory>

class Clock;
class DialogBackend;
class Transport;

// What the window's controls and menu items do, on the session: the settings files and the
// latest image file, Load, Express and Save with their file dialogs, the fill and dump
// boxes, the chip options and the commands. The window only calls these and shows the
// signals; the texts are Messages'.
class Workbench : public QObject
{
    Q_OBJECT
public:
    // Runs on clock (the system's when null).
    Workbench(Transport *transport, DialogBackend *dialogs, Clock *clock = nullptr,
              QObject *parent = nullptr);
    ~Workbench() override;

    ProgrammerSession &session();
    QString latestFile() const;

    // Start-up: reads tsk.log and chip.log in directory (creating them empty), then searches
    // for the programmer.
    void start(const QString &directory);
    // Exit: closes the port; exitRequested() follows.
    void exit();

    // The search, a command and a chip choice are refused while a transfer is under way.
    void search();
    void command(const QByteArray &command);
    // chip.log is written before the chip's command goes out.
    void chooseChip(int chip);
    // The fill box's text (two hex digits) and the dump box's (four hex digits): checked,
    // then queued for the pump; a notice tells what is wrong with a text.
    void fill(const QString &text);
    void dump(const QString &text);
    // Load, Express and Save are refused (a notice says why) while a transfer or the search
    // is under way; each starts by emptying the received text.
    // Load: the open dialog until an existing file is chosen (tsk.log records it), then
    // "L" and the image; notices tell its progress and how it ended.
    void load();
    // Express: the latest file (or the dialog when there is none), then "Q" and the image;
    // it ends with the image's checksum.
    void express();
    // Save from the menu: true when the size window may be shown now.
    bool offerSave();
    // Save of a block of bytes (1024, 2048 or 4096) chosen in the size window: the save
    // dialog, the read-back, then the file. The session is busy from this call on. False
    // when it cannot start now (a notice says why): the size window stays with its choice.
    bool save(int bytes);
    // The size window was closed without a choice.
    void saveAbandoned();

signals:
    // The status box.
    void notice(const Notice &notice);
    // The latest-file line must be worded again (empty: no latest file).
    void latestFileChanged(const QString &path);
    // No programmer was found: the about box is shown.
    void aboutRequested();
    void exitRequested();

private:
    void connectSession();
    void show(Notice::Kind kind, qint64 number = 0);
    void showRefusal(Refusal refusal);
    bool mayStartTransfer();
    bool clearForSramRequest();
    void warnAtStartup(const QString &path, const QString &why);
    QString takeStartupWarning();
    void writeTskLog();
    void writeChipLog(int chip);
    void sendLatestFile(ImageCommand command);
    void onImageFinished(SendResult result);
    void onBlockFinished(BlockResult result, const QByteArray &bytes);

    class Private;
    std::unique_ptr<Private> d;
};
