#include "blended.h"

#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

namespace {

// "Adicionar &Produto": the letter after "&" is the accelerator, "&&" a literal "&".
QString visibleText(const QString &caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        out += caption[i];
    }
    return out;
}

QChar acceleratorOf(const QString &caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (caption[i + 1] != u'&')
                return caption[i + 1];
            ++i;
        }
    }
    return {};
}

} // namespace

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

TBlendedButton::TBlendedButton(QWidget *parent) : QWidget(parent)
{
    // Never takes focus: Enter must always reach the screen, not click a button.
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void TBlendedButton::setCaption(const QString &caption)
{
    if (m_caption == caption)
        return;
    const QChar oldKey = acceleratorOf(m_caption);
    m_caption = caption;
    const QChar key = acceleratorOf(caption);
    if (key != oldKey) {
        for (QShortcut *s : findChildren<QShortcut *>(Qt::FindDirectChildrenOnly))
            delete s;
        if (!key.isNull()) {
            auto *shortcut = new QShortcut(QKeySequence(Qt::ALT | key.toUpper().unicode()), this);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, this, &TBlendedButton::click);
        }
    }
    update();
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
    m_icon = icon;
    update();
}

void TBlendedButton::click()
{
    if (!isEnabled())
        return;
    if (OnClick)
        OnClick();
    emit clicked();
}

void TBlendedButton::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
}

void TBlendedButton::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    if (rect().contains(e->position().toPoint()))
        click();
}

void TBlendedButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(m_pressed ? m_brush.darker(125) : m_brush);
    p.drawRoundedRect(rect(), m_radius, m_radius);

    QRect textRect = rect().adjusted(4, 0, -4, 0);
    if (!m_icon.isNull()) {
        const QSize iconSize(34, 34);
        const bool withText = !m_caption.isEmpty();
        const int top = withText ? 3 : (height() - iconSize.height()) / 2;
        const QRect iconRect(QPoint((width() - iconSize.width()) / 2, top), iconSize);
        m_icon.paint(&p, iconRect, Qt::AlignCenter,
                     isEnabled() ? QIcon::Normal : QIcon::Disabled);
        textRect.setTop(iconRect.bottom() + 1);
    }
    if (!m_caption.isEmpty()) {
        p.setPen(isEnabled() ? m_text : QColor(Qt::gray));
        p.setFont(font());
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, visibleText(m_caption));
    }
}

TBlendedBitBtn::TBlendedBitBtn(QWidget *parent) : TBlendedButton(parent) {}
