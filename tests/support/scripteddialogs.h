#pragma once

#include "core/dialogbackend.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the file dialogs and message boxes in place of the user, in the order given, and
// records the file dialogs asked for. An unscripted file dialog is cancelled; an unscripted box
// gets OK.
class ScriptedDialogBackend : public DialogBackend
{
public:
    struct Asked {
        Kind kind;
        QString title, filter, offered;
    };

    void choose(const QString &name) { m_answers.append({Outcome::Chosen, name}); }
    void cancel() { m_answers.append({Outcome::Cancelled, QString()}); }
    void fail() { m_answers.append({Outcome::Failed, QString()}); }
    void reply(int answer) { m_replies.append(answer); }
    // Drops the answers that were not asked for.
    void forget()
    {
        m_answers.clear();
        m_replies.clear();
    }

    Outcome fileDialog(Kind kind, const QString &title, const QString &filter,
                       QString &fileName) override
    {
        asked.append({kind, title, filter, fileName});
        if (whileAsking)
            whileAsking();
        if (m_answers.isEmpty())
            return Outcome::Cancelled;
        const auto answer = m_answers.takeFirst();
        if (answer.first == Outcome::Chosen)
            fileName = answer.second;
        return answer.first;
    }
    int messageBox(const QString &, int, const QString &) override
    {
        return m_replies.isEmpty() ? Ok : m_replies.takeFirst();
    }

    QList<Asked> asked;
    // Runs while a file dialog is open (as a click on the window would).
    std::function<void()> whileAsking;

private:
    QList<std::pair<Outcome, QString>> m_answers;
    QList<int> m_replies;
};
