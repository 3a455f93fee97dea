#pragma once

#include "framelessdialog.h"
#include "qelservices.h"

// The library's own message box: touch-sized, modal, error / warning / information / yes-no.
// Enter confirms, Escape answers No (or just closes); other keys are ignored so a stray key
// never dismisses a message unread. S and N answer a question too.
class MessageBoxDialog : public FramelessDialog
{
    Q_OBJECT
public:
    MessageBoxDialog(const QString &text, TTipoMsg kind, bool question,
                     QWidget *parent = nullptr);

    bool isQuestion() const { return m_question; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_question;
};

// Shows each call in a MessageBoxDialog; without a widget application it writes the text to
// the log instead, so console tools and servers never hang on an invisible box.
class DialogPresenter : public MessagePresenter
{
public:
    bool present(const MessageCall &call) override;
};
