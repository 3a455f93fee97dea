#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

// Drives the next modal dialog without blocking: the script runs from the dialog's own event
// loop as soon as it is shown. A dialog the script leaves open is rejected and reported, so a
// test fails instead of hanging.
class ModalDriver
{
public:
    void whenShown(std::function<void(QDialog *)> script)
    {
        m_ran = false;
        m_leftOpen = false;
        QTimer::singleShot(0, [this, script] { attempt(script, 20); });
    }
    bool ran() const { return m_ran; }
    bool leftOpen() const { return m_leftOpen; }

    // Where a physical key press lands: the dialog's focus widget, else the dialog.
    static QWidget *keyTarget(QDialog *d) { return d->focusWidget() ? d->focusWidget() : d; }
    static void type(QDialog *d, const QString &keys) { QTest::keyClicks(keyTarget(d), keys); }
    static void press(QDialog *d, Qt::Key key) { QTest::keyClick(keyTarget(d), key); }

private:
    void attempt(const std::function<void(QDialog *)> &script, int triesLeft)
    {
        QPointer<QDialog> d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!d) {
            if (triesLeft > 0)
                QTimer::singleShot(10, [this, script, triesLeft] { attempt(script, triesLeft - 1); });
            return;
        }
        m_ran = true;
        script(d);
        if (d && d->isVisible()) {
            m_leftOpen = true;
            d->reject();
        }
    }

    bool m_ran = false;
    bool m_leftOpen = false;
};
