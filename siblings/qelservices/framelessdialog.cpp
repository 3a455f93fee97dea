#include "framelessdialog.h"

#include "touchbutton.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

FramelessDialog::FramelessDialog(const QString &title, const QColor &accent,
                                 const QColor &background, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_accent(accent),
      m_background(background)
{
    setModal(true);

    auto *caption = new QLabel(title, this);
    caption->setObjectName(QStringLiteral("title"));
    caption->setFont(touchFont(22, true));
    caption->setStyleSheet(QStringLiteral("color: white;"));
    caption->setFixedHeight(TitleHeight);
    caption->setContentsMargins(16, 0, 16, 0);

    m_outer = new QVBoxLayout(this);
    m_outer->setContentsMargins(3, 0, 3, 12);
    m_outer->addWidget(caption);
}

int FramelessDialog::run()
{
    QWidget *over = QApplication::activeModalWidget();
    if (!over)
        over = QApplication::activeWindow();
    adjustSize();
    QRect area;
    if (over && over != this)
        area = over->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());

    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QPointer<QWidget> previous = over;
    const int result = exec();
    QApplication::restoreOverrideCursor();
    // Without a window manager nobody gives the keyboard back to the window underneath.
    if (previous && previous != this)
        giveFocusBack(previous);
    return result;
}

void FramelessDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Without a window manager a new window does not get the keyboard by itself.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise(); // the headless platform cannot, and says so
    activateWindow();
}

void FramelessDialog::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
    p.fillRect(QRect(0, 0, width(), TitleHeight), m_accent);
    p.setPen(QPen(m_accent, 3));
    p.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
}
