#include "touchdialog.h"

#include "touchbutton.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

TouchDialog::TouchDialog(const QString &title, QWidget *parent)
    : FramelessDialog(title, QColor(0x1E, 0x4E, 0x8C), QColor(0xF4, 0xF4, 0xF4), parent)
{
    setFont(touchFont(18));
    outerLayout()->setSpacing(8);
    m_body = new QVBoxLayout;
    m_body->setContentsMargins(12, 4, 12, 0);
    m_body->setSpacing(8);
    outerLayout()->addLayout(m_body, 1);
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
