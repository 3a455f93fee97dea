#pragma once

// The flat widget classes of the shared services library.

#include <QColor>
#include <QFont>
#include <QAbstractButton>
#include <QIcon>
#include <QWidget>
#include <functional>

// A filled rounded rectangle with a brush colour.
class TBlendedShape : public QWidget
{
    Q_OBJECT
public:
    explicit TBlendedShape(QWidget *parent = nullptr);
    QColor brushColor() const { return m_brush; }
    void setBrushColor(const QColor &c);
    void setRadius(int r);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor m_brush = Qt::white;
    int m_radius = 6;
};

// A flat clickable rounded rectangle with a caption, a brush colour, a font and a Tag. Click,
// pressed state and the Alt+letter of an "&" in the caption are the button's own; it never
// takes keyboard focus, so Enter always reaches the screen.
class TBlendedButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit TBlendedButton(QWidget *parent = nullptr);

    QString Caption() const { return text(); }
    void setCaption(const QString &caption);
    QColor brushColor() const { return m_brush; }
    void setBrushColor(const QColor &c);
    QColor textColor() const { return m_text; }
    void setTextColor(const QColor &c);
    int Tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    void setRadius(int r);
    void setImage(const QIcon &icon); // shown above the caption

    std::function<void()> OnClick; // run on every click, by touch, mouse, mnemonic or code

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *) override;

    QColor m_brush = QColor(0xC0, 0xC0, 0xC0);
    QColor m_text = Qt::black;
    int m_tag = 0;
    int m_radius = 6;
};

// A flat clickable button that carries an image (and optionally a caption).
class TBlendedBitBtn : public TBlendedButton
{
    Q_OBJECT
public:
    explicit TBlendedBitBtn(QWidget *parent = nullptr);
};
