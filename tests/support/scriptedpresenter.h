#pragma once

#include "qelservices.h"

#include <QList>

// Replaces the message boxes for the length of a test: records every Mensagem call with its
// nine arguments and answers questions from a script (default: yes). Restores the previous
// presenter when destroyed.
class ScriptedPresenter : public MessagePresenter
{
public:
    ScriptedPresenter();
    ~ScriptedPresenter() override;

    bool present(const MessageCall &call) override;

    void answer(bool yes) { m_answers.append(yes); } // queued answers for questions
    void setDefaultAnswer(bool yes) { m_default = yes; }
    QList<MessageCall> calls;
    void clear() { calls.clear(); }
    QStringList texts() const;

private:
    MessagePresenter *m_previous = nullptr;
    QList<bool> m_answers;
    bool m_default = true;
};

// An error box as the screen shows it: text, "", "N", "N", 3, "", scheme, 0, no dataset.
MessageCall errorCall(const QString &text, const QString &scheme);
// A question: text, "", "N", "S", 0, "", scheme, 0, no dataset.
MessageCall questionCall(const QString &text, const QString &scheme);
// A message of the given kind with ask "N".
MessageCall messageCall(const QString &text, int kind, const QString &scheme);
bool operator==(const MessageCall &a, const MessageCall &b);
char *toString(const MessageCall &call); // readable QCOMPARE failures
