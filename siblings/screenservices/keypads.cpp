#include "keypads.h"

#include "qelservices.h"
#include "touchbutton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>

namespace {

constexpr int kDefaultMaxLength = 20;
constexpr int kAlphaDefaultMaxLength = 40;

QLabel *makeDisplay(QWidget *parent)
{
    auto *display = new QLabel(parent);
    display->setObjectName(QStringLiteral("display"));
    display->setFont(touchFont(30, true));
    display->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    display->setFixedHeight(60);
    display->setStyleSheet(QStringLiteral(
        "background: white; border: 2px solid #1E4E8C; border-radius: 6px; padding: 0 10px;"));
    return display;
}

QLabel *makePrompt(const QString &text, QWidget *parent)
{
    auto *prompt = new QLabel(text, parent);
    prompt->setObjectName(QStringLiteral("prompt"));
    prompt->setFont(touchFont(20));
    prompt->setWordWrap(true);
    prompt->setVisible(!text.isEmpty());
    return prompt;
}

QChar decimalPoint()
{
    const QString dp = QLocale().decimalPoint();
    return dp.isEmpty() ? QLatin1Char(',') : dp.front();
}

} // namespace

NumericKeypad::NumericKeypad(const QString &title, const QString &prompt,
                             const QString &requiredText, int maxLength, bool decimals,
                             bool money, QWidget *parent)
    : TouchDialog(title.isEmpty() ? QStringLiteral("Teclado") : title, parent),
      m_requiredText(requiredText), m_maxLength(maxLength > 0 ? maxLength : kDefaultMaxLength),
      m_decimals(decimals), m_money(money)
{
    setObjectName(QStringLiteral("NumericKeypad"));
    setFixedWidth(400);
    body()->addWidget(makePrompt(prompt, this));
    m_display = makeDisplay(this);
    body()->addWidget(m_display);

    auto *grid = new QGridLayout;
    grid->setSpacing(8);
    const QString rows[] = {QStringLiteral("789"), QStringLiteral("456"),
                            QStringLiteral("123")};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QChar digit = rows[r].at(c);
            auto *key = makeButton(digit, QStringLiteral("key") + digit);
            key->setFont(touchFont(28, true));
            key->setFixedHeight(64);
            connect(key, &QAbstractButton::clicked, this, [this, digit] { type(digit); });
            grid->addWidget(key, r, c);
        }
    }
    const QChar dp = decimalPoint();
    auto *sep = makeButton(dp, QStringLiteral("keyDecimal"));
    sep->setFont(touchFont(28, true));
    sep->setFixedHeight(64);
    sep->setEnabled(m_decimals);
    connect(sep, &QAbstractButton::clicked, this, [this, dp] { type(dp); });
    auto *zero = makeButton(QStringLiteral("0"), QStringLiteral("key0"));
    zero->setFont(touchFont(28, true));
    zero->setFixedHeight(64);
    connect(zero, &QAbstractButton::clicked, this, [this] { type(QLatin1Char('0')); });
    auto *back = makeButton(QStringLiteral("←"), QStringLiteral("backspace"));
    back->setFont(touchFont(28, true));
    back->setFixedHeight(64);
    back->setAutoRepeat(true);
    connect(back, &QAbstractButton::clicked, this, &NumericKeypad::backspace);
    grid->addWidget(sep, 3, 0);
    grid->addWidget(zero, 3, 1);
    grid->addWidget(back, 3, 2);
    auto *clearKey = makeButton(QStringLiteral("Limpar"), QStringLiteral("clear"));
    connect(clearKey, &QAbstractButton::clicked, this, &NumericKeypad::clear);
    grid->addWidget(clearKey, 4, 0, 1, 3);
    body()->addLayout(grid);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    actions->addWidget(makeCancelButton());
    actions->addWidget(makeOkButton());
    body()->addLayout(actions);
    refresh();
}

void NumericKeypad::type(QChar c)
{
    if (m_text.size() >= m_maxLength)
        return;
    const QChar dp = decimalPoint();
    const qsizetype sepAt = m_text.indexOf(dp);
    if (c == dp) {
        if (!m_decimals || sepAt >= 0)
            return;
        m_text += m_text.isEmpty() ? QString(QLatin1Char('0')) + dp : QString(dp);
        m_text.truncate(m_maxLength);
    } else if (c.isDigit()) {
        if (m_money && sepAt >= 0 && m_text.size() - sepAt > 2)
            return;
        m_text += c;
    } else {
        return;
    }
    refresh();
}

void NumericKeypad::backspace()
{
    m_text.chop(1);
    refresh();
}

void NumericKeypad::clear()
{
    m_text.clear();
    refresh();
}

void NumericKeypad::confirm()
{
    // "12," means 12: the caller converts the text and must not see a dangling separator.
    if (m_text.endsWith(decimalPoint()))
        m_text.chop(1);
    refresh();
    if (m_text.isEmpty() && !m_requiredText.isEmpty()) {
        Mensagem(m_requiredText, QString(), QStringLiteral("N"), QStringLiteral("N"), tmErro,
                 QString(), QString(), 0, nullptr);
        return;
    }
    accept();
}

bool NumericKeypad::handleKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Backspace:
        backspace();
        return true;
    case Qt::Key_Delete:
        clear();
        return true;
    default:
        break;
    }
    const QString t = event->text();
    if (t.size() != 1)
        return false;
    const QChar c = t.front();
    if (c.isDigit())
        type(c);
    else if (c == QLatin1Char(',') || c == QLatin1Char('.'))
        type(decimalPoint()); // either key on the numeric pad means the separator
    return true;
}

void NumericKeypad::refresh() { m_display->setText(m_text); }

AlphaKeypad::AlphaKeypad(const QString &title, const QString &prompt, const QString &initial,
                         int maxLength, QWidget *parent)
    : TouchDialog(title.isEmpty() ? QStringLiteral("Teclado") : title, parent),
      m_maxLength(maxLength > 0 ? maxLength : kAlphaDefaultMaxLength)
{
    setObjectName(QStringLiteral("AlphaKeypad"));
    setFixedWidth(790);
    body()->addWidget(makePrompt(prompt, this));
    m_display = makeDisplay(this);
    m_display->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    body()->addWidget(m_display);

    auto *grid = new QGridLayout;
    grid->setSpacing(6);
    const QString rows[] = {QStringLiteral("1234567890"), QStringLiteral("QWERTYUIOP"),
                            QStringLiteral("ASDFGHJKLÇ"), QStringLiteral("ZXCVBNM-./")};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            const QString key = rows[r].mid(c, 1);
            auto *b = makeButton(key, QStringLiteral("key") + key);
            b->setFont(touchFont(24, true));
            connect(b, &QAbstractButton::clicked, this, [this, key] { type(key); });
            grid->addWidget(b, r, c);
        }
    }
    auto *space = makeButton(QStringLiteral("Espaço"), QStringLiteral("space"));
    connect(space, &QAbstractButton::clicked, this, [this] { type(QStringLiteral(" ")); });
    auto *back = makeButton(QStringLiteral("←"), QStringLiteral("backspace"));
    back->setFont(touchFont(24, true));
    back->setAutoRepeat(true);
    connect(back, &QAbstractButton::clicked, this, &AlphaKeypad::backspace);
    auto *clearKey = makeButton(QStringLiteral("Limpar"), QStringLiteral("clear"));
    connect(clearKey, &QAbstractButton::clicked, this, &AlphaKeypad::clear);
    grid->addWidget(clearKey, 4, 0, 1, 2);
    grid->addWidget(space, 4, 2, 1, 6);
    grid->addWidget(back, 4, 8, 1, 2);
    body()->addLayout(grid);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    actions->addStretch();
    auto *cancel = makeCancelButton();
    auto *ok = makeOkButton();
    cancel->setFixedWidth(200);
    ok->setFixedWidth(200);
    actions->addWidget(cancel);
    actions->addWidget(ok);
    body()->addLayout(actions);
    type(initial);
}

void AlphaKeypad::type(const QString &s)
{
    m_text += s.toUpper();
    m_text.truncate(m_maxLength);
    refresh();
}

void AlphaKeypad::backspace()
{
    m_text.chop(1);
    refresh();
}

void AlphaKeypad::clear()
{
    m_text.clear();
    refresh();
}

bool AlphaKeypad::handleKey(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Backspace) {
        backspace();
        return true;
    }
    const QString t = event->text();
    if (t.size() == 1 && t.front().isPrint()) {
        type(t);
        return true;
    }
    return false;
}

void AlphaKeypad::refresh() { m_display->setText(m_text); }

// flag1: decimal value; flag2: money (two decimals). The last three numbers are unused.
bool tecladoNumerico(QString &result, const QString &title, const QString &prompt,
                     const QString &requiredText, int maxLength, int flag1, int flag2,
                     int arg8, int arg9, int arg10)
{
    Q_UNUSED(arg8);
    Q_UNUSED(arg9);
    Q_UNUSED(arg10);
    NumericKeypad keypad(title, prompt, requiredText, maxLength, flag1 == 1, flag2 == 1);
    if (keypad.run() != QDialog::Accepted)
        return false;
    result = keypad.text();
    return true;
}

QString tecladoAlfaNumerico(const QString &title, const QString &prompt,
                            const QString &initial, int maxLength)
{
    AlphaKeypad keypad(title, prompt, initial, maxLength);
    if (keypad.run() != QDialog::Accepted)
        return QString();
    return keypad.text();
}
