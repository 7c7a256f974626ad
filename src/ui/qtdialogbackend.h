#pragma once

#include "image/commondialog.h"

class QWidget;

// The real file dialogs and message boxes, modal on the main window.
class QtDialogBackend : public DialogBackend
{
public:
    explicit QtDialogBackend(QWidget *owner) : m_owner(owner) {}

    Outcome fileDialog(Kind kind, const QString &title, const QString &filter,
                       QString &fileName) override;
    int messageBox(const QString &text, int style, const QString &title) override;

private:
    QWidget *m_owner;
};
