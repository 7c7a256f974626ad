#pragma once

#include "core/filechooser.h"

#include <QString>

class Programmer;

// The three uses of the shared file dialog: the load, save and express dialogs.
class FileDialogs
{
public:
    static QString filter() { return FileChooser::filter(); }

    explicit FileDialogs(Programmer &p) : p(p) {}

    // Asks until an existing file is chosen; sets LatestFile and writes tsk.log. False
    // when cancelled or failed (Text2 says which).
    bool LoadDialog();
    // Asks for a file to save to; an existing one needs the user's agreement (No asks
    // again). The file is not touched here: it is replaced only when a whole block is in
    // hand. Sets LatestFile. False when cancelled or failed (Text2 says which).
    bool SaveDialog();
    // Only used when LatestFile is empty. Sets LatestFile and writes tsk.log. False when
    // cancelled or failed (nothing is shown).
    bool ExpressDialog();

private:
    // One round of the load or save dialog with its title; a cancel or failure shows its
    // text in Text2 and gives false, a name becomes LatestFile.
    bool askForName(bool save, const QString &title, const QString &cancelled,
                    const QString &failed);

    Programmer &p;
};
