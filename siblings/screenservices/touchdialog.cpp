#include "touchdialog.h"

#include "touchbutton.h"

#include <QGuiApplication>
#include <QApplication>
#include <QPointer>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const QColor kTitleColor(0x1E, 0x4E, 0x8C);
constexpr int kTitleHeight = 44;
} // namespace

TouchDialog::TouchDialog(const QString &title, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setModal(true);
    setFont(touchFont(18));

    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("title"));
    m_title->setFont(touchFont(22, true));
    m_title->setStyleSheet(QStringLiteral("color: white;"));
    m_title->setFixedHeight(kTitleHeight);
    m_title->setContentsMargins(16, 0, 16, 0);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(3, 0, 3, 12);
    outer->setSpacing(8);
    outer->addWidget(m_title);
    m_body = new QVBoxLayout;
    m_body->setContentsMargins(12, 4, 12, 0);
    m_body->setSpacing(8);
    outer->addLayout(m_body, 1);
}

int TouchDialog::run()
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

TouchButton *TouchDialog::makeButton(const QString &caption, const QString &name)
{
    auto *b = new TouchButton(caption, this);
    b->setObjectName(name);
    b->setMinimumHeight(56);
    return b;
}

TouchButton *TouchDialog::makeOkButton()
{
    auto *b = makeButton(QStringLiteral("OK"), QStringLiteral("ok"));
    b->setColors(QColor(0x3C, 0xA0, 0x4A), Qt::white);
    b->setFixedHeight(60);
    connect(b, &QAbstractButton::clicked, this, [this] { enterPressed(); });
    return b;
}

TouchButton *TouchDialog::makeCancelButton()
{
    auto *b = makeButton(QStringLiteral("Cancelar"), QStringLiteral("cancel"));
    b->setColors(QColor(0xC8, 0x3A, 0x3A), Qt::white);
    b->setFixedHeight(60);
    connect(b, &QAbstractButton::clicked, this, &QDialog::reject);
    return b;
}

void TouchDialog::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        enterPressed();
        return;
    }
    handleKey(event);
}

void TouchDialog::closeEvent(QCloseEvent *event)
{
    // A close request from the window system is a cancel, never a silent accept.
    event->ignore();
    reject();
}

void TouchDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Without a window manager a new window does not get the keyboard by itself.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise(); // the headless platform cannot, and says so
    activateWindow();
}

void TouchDialog::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0xF4, 0xF4, 0xF4));
    p.fillRect(QRect(0, 0, width(), kTitleHeight), kTitleColor);
    p.setPen(QPen(kTitleColor, 3));
    p.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
}
