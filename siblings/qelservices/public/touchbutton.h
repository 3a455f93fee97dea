#pragma once

#include <QAbstractButton>
#include <QColor>

// Large flat button for the touch dialogs. Not a QPushButton and never focusable, so it can
// never become a dialog's default button and Enter always reaches the dialog itself.
class TouchButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit TouchButton(const QString &caption, QWidget *parent = nullptr);

    void setColors(const QColor &brush, const QColor &text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor m_brush = QColor(0xE4, 0xE4, 0xE4);
    QColor m_text = Qt::black;
};

// Liberation Sans (Arial metrics) in the given pixel size, with Arial as the fallback name.
QFont touchFont(int pixelSize, bool bold = false);

// Gives the keyboard back to the window a dialog was shown over. Without a window manager
// nobody else does, and the X server hands the focus to the root when the dialog goes away.
void giveFocusBack(QWidget *window);
