#pragma once

#include <QColor>
#include <QDialog>

class QLabel;
class QVBoxLayout;

// The look every touch dialog shares: frameless and modal, a title bar in the accent colour
// across the top, a rim of the same colour around a light background. run() shows it over
// the window in use and gives that window the keyboard back afterwards.
class FramelessDialog : public QDialog
{
    Q_OBJECT
public:
    FramelessDialog(const QString &title, const QColor &accent, const QColor &background,
                    QWidget *parent = nullptr);

    // Shows modally, centred over the active window, with a normal pointer (a launch may
    // still hold the busy cursor), and returns the QDialog result.
    int run();

protected:
    static constexpr int TitleHeight = 44;
    // The title on top; what a dialog shows goes below it.
    QVBoxLayout *outerLayout() const { return m_outer; }

    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_accent;
    QColor m_background;
    QVBoxLayout *m_outer;
};
