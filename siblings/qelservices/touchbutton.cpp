#include "touchbutton.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QPainter>
#include <QPainterPath>

TouchButton::TouchButton(const QString &caption, QWidget *parent) : QAbstractButton(parent)
{
    setText(caption);
    setFocusPolicy(Qt::NoFocus);
    setFont(touchFont(20, true));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TouchButton::setColors(const QColor &brush, const QColor &text)
{
    m_brush = brush;
    m_text = text;
    update();
}

QSize TouchButton::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(qMax(64, fm.horizontalAdvance(text()) + 28), 56);
}

QSize TouchButton::minimumSizeHint() const { return QSize(48, 48); }

void TouchButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = m_brush;
    if (!isEnabled())
        fill = QColor(0xF0, 0xF0, 0xF0);
    else if (isDown())
        fill = m_brush.darker(130);
    const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QPainterPath path;
    path.addRoundedRect(r, 8, 8);
    p.fillPath(path, fill);
    p.setPen(QPen(m_brush.darker(160), 1.5));
    p.drawPath(path);
    p.setPen(isEnabled() ? m_text : QColor(0xA0, 0xA0, 0xA0));
    p.setFont(font());
    p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
}

QFont touchFont(int pixelSize, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void giveFocusBack(QWidget *window)
{
    QPointer<QWidget> target = window;
    const auto activate = [target] {
        if (target && target->isVisible())
            target->activateWindow();
    };
    activate();
    // Once more after the dialog's own unmapping has reached the server.
    QTimer::singleShot(50, target, activate);
}
