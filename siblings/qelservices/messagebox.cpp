#include "messagebox.h"

#include "touchbutton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QString kindTitle(TTipoMsg kind, bool question)
{
    if (question)
        return QStringLiteral("Confirmação");
    switch (kind) {
    case tmErro:
        return QStringLiteral("Erro");
    case tmAdvertencia:
    case tmAviso:
        return QStringLiteral("Atenção");
    default:
        return QStringLiteral("Informação");
    }
}

QColor kindColor(TTipoMsg kind, bool question)
{
    if (question)
        return QColor(0x1E, 0x6F, 0xB8);
    switch (kind) {
    case tmErro:
        return QColor(0xC0, 0x24, 0x24);
    case tmAdvertencia:
    case tmAviso:
        return QColor(0xD0, 0x8A, 0x00);
    default:
        return QColor(0x2E, 0x8B, 0x3E);
    }
}

} // namespace

MessageBoxDialog::MessageBoxDialog(const QString &text, TTipoMsg kind, bool question,
                                   QWidget *parent)
    : FramelessDialog(kindTitle(kind, question), kindColor(kind, question),
                      QColor(0xF7, 0xF7, 0xF7), parent),
      m_question(question)
{
    setObjectName(QStringLiteral("MessageBoxDialog"));
    setFixedWidth(560);
    setMinimumHeight(240);

    auto *body = new QLabel(text, this);
    body->setObjectName(QStringLiteral("text"));
    body->setFont(touchFont(22));
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignCenter);
    body->setTextFormat(Qt::PlainText);
    body->setMinimumHeight(100);
    body->setContentsMargins(20, 12, 20, 12);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(24);
    buttons->addStretch();
    if (question) {
        auto *yes = new TouchButton(QStringLiteral("Sim"), this);
        yes->setObjectName(QStringLiteral("yes"));
        yes->setColors(QColor(0x3C, 0xA0, 0x4A), Qt::white);
        auto *no = new TouchButton(QStringLiteral("Não"), this);
        no->setObjectName(QStringLiteral("no"));
        no->setColors(QColor(0xC8, 0x3A, 0x3A), Qt::white);
        for (auto *b : {yes, no})
            b->setFixedSize(160, 60);
        connect(yes, &QAbstractButton::clicked, this, &QDialog::accept);
        connect(no, &QAbstractButton::clicked, this, &QDialog::reject);
        buttons->addWidget(yes);
        buttons->addWidget(no);
    } else {
        auto *ok = new TouchButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("ok"));
        ok->setFixedSize(180, 60);
        connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
        buttons->addWidget(ok);
    }
    buttons->addStretch();

    QVBoxLayout *layout = outerLayout();
    layout->setContentsMargins(3, 0, 3, 16);
    layout->addWidget(body, 1);
    layout->addLayout(buttons);
}

void MessageBoxDialog::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        accept();
        break;
    case Qt::Key_Escape:
        reject();
        break;
    case Qt::Key_S:
        if (m_question)
            accept();
        break;
    case Qt::Key_N:
        if (m_question)
            reject();
        break;
    default:
        break;
    }
    event->accept();
}

bool DialogPresenter::present(const MessageCall &call)
{
    const bool question = call.ask == QLatin1String("S");
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        qWarning("%s", qPrintable(call.text));
        return false;
    }
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    MessageBoxDialog box(call.text, static_cast<TTipoMsg>(call.kind), question, parent);
    return box.run() == QDialog::Accepted && question;
}
