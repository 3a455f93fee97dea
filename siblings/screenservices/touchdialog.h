#pragma once

#include "framelessdialog.h"

class QVBoxLayout;
class TouchButton;

// Common base of the screen's touch dialogs: the frameless look, sized for an 800x600
// terminal, with large buttons. Escape (and any close request) cancels; Enter goes to
// enterPressed(); every other key a subclass does not take is swallowed, so a stray key never
// closes the dialog or clicks a button.
class TouchDialog : public FramelessDialog
{
    Q_OBJECT
public:
    explicit TouchDialog(const QString &title, QWidget *parent = nullptr);

protected:
    QVBoxLayout *body() const { return m_body; }
    TouchButton *makeButton(const QString &caption, const QString &name);
    TouchButton *makeOkButton();
    TouchButton *makeCancelButton();

    virtual void enterPressed() {}
    virtual bool handleKey(QKeyEvent *) { return false; } // keys other than Enter/Escape

    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QVBoxLayout *m_body;
};
