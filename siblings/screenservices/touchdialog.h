#pragma once

#include <QDialog>

class QLabel;
class QVBoxLayout;
class TouchButton;

// Common base of the touch dialogs: frameless, modal, sized for an 800x600 terminal, with a
// title bar and large buttons. Escape (and any close request) cancels; Enter goes to
// enterPressed(); every other key a subclass does not take is swallowed, so a stray key never
// closes the dialog or clicks a button.
class TouchDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TouchDialog(const QString &title, QWidget *parent = nullptr);

    // Shows modally over the active window with a normal pointer (a launch may still hold the
    // busy cursor) and returns the QDialog result.
    int run();

protected:
    QVBoxLayout *body() const { return m_body; }
    TouchButton *makeButton(const QString &caption, const QString &name);
    TouchButton *makeOkButton();
    TouchButton *makeCancelButton();

    virtual void enterPressed() {}
    virtual bool handleKey(QKeyEvent *) { return false; } // keys other than Enter/Escape

    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_title;
    QVBoxLayout *m_body;
};
