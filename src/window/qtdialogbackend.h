#pragma once

#include "core/dialogbackend.h"

#include <QPointer>
#include <QWidget>

// The real file dialogs and message boxes, modal on the window that owns them.
class QtDialogBackend : public DialogBackend
{
public:
    explicit QtDialogBackend(QWidget *owner = nullptr) : m_owner(owner) {}

    // The window the dialogs come up over (set once it exists).
    void setOwner(QWidget *owner) { m_owner = owner; }

    Outcome fileDialog(Kind kind, const QString &title, const QString &filter,
                       QString &fileName) override;
    int messageBox(const QString &text, int style, const QString &title) override;

private:
    QPointer<QWidget> m_owner;
};
