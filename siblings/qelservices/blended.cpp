#include "blended.h"

#include <QEvent>
#include <QPainter>

TBlendedShape::TBlendedShape(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBlendedShape::setBrushColor(const QColor &c)
{
    if (m_brush == c)
        return;
    m_brush = c;
    update();
}

void TBlendedShape::setRadius(int r)
{
    m_radius = r;
    update();
}

void TBlendedShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(m_brush);
    p.drawRoundedRect(rect(), m_radius, m_radius);
}

TBlendedButton::TBlendedButton(QWidget *parent) : QAbstractButton(parent)
{
    // Never takes focus: Enter must always reach the screen, not click a button.
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (OnClick)
            OnClick();
    });
}

void TBlendedButton::setCaption(const QString &caption)
{
    if (text() != caption)
        setText(caption); // an "&" makes its Alt+letter shortcut
}

void TBlendedButton::setBrushColor(const QColor &c)
{
    if (m_brush == c)
        return;
    m_brush = c;
    update();
}

void TBlendedButton::setTextColor(const QColor &c)
{
    m_text = c;
    update();
}

void TBlendedButton::setRadius(int r)
{
    m_radius = r;
    update();
}

void TBlendedButton::setImage(const QIcon &icon)
{
    setIcon(icon);
}

// Qt answers a mnemonic with an animated click a tenth of a second later; the keyboard of a
// till clicks at once, so the next key already finds the item added or the sale recorded.
bool TBlendedButton::event(QEvent *e)
{
    if (e->type() == QEvent::Shortcut) {
        click();
        return true;
    }
    return QAbstractButton::event(e);
}

void TBlendedButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(isDown() ? m_brush.darker(125) : m_brush);
    p.drawRoundedRect(rect(), m_radius, m_radius);

    QRect textRect = rect().adjusted(4, 0, -4, 0);
    if (!icon().isNull()) {
        const QSize iconSize(34, 34);
        const bool withText = !text().isEmpty();
        const int top = withText ? 3 : (height() - iconSize.height()) / 2;
        const QRect iconRect(QPoint((width() - iconSize.width()) / 2, top), iconSize);
        icon().paint(&p, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        textRect.setTop(iconRect.bottom() + 1);
    }
    if (!text().isEmpty()) {
        p.setPen(isEnabled() ? m_text : QColor(Qt::gray));
        p.setFont(font());
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextHideMnemonic,
                   text());
    }
}

TBlendedBitBtn::TBlendedBitBtn(QWidget *parent) : TBlendedButton(parent) {}
