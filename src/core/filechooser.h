#pragma once

#include "core/dialogbackend.h"

#include <QString>

// The three uses of the one file dialog: Load, Save and Express. Like the single dialog of
// the window it stands for, it offers the name last chosen and keeps the title last set.
class FileChooser
{
public:
    using Result = DialogBackend::Outcome;

    // The filters, as "description|pattern" pairs, the first the one offered: TSK binary
    // files; Load and Express also offer Intel HEX files, which they read by their content.
    static QString openFilter();
    static QString saveFilter();

    explicit FileChooser(DialogBackend *backend) : m_backend(backend) {}

    // Titled "開啟"; asks again (after a "找不到檔案" box) until an existing file is chosen.
    Result askToLoad(QString *path);
    // Titled "儲存"; an existing file needs a Yes in the "檔案已存在" box, No asks again.
    Result askToSave(QString *path);
    // Sets no title; the name is not checked.
    Result askForExpress(QString *path);

private:
    Result ask(DialogBackend::Kind kind, const QString &filter, QString *path);

    DialogBackend *m_backend;
    QString m_name;
    QString m_title;
};
