#pragma once

#include "touchdialog.h"

class QLabel;

// Digits keypad. With decimals on, one decimal separator (the locale's) is allowed; with
// money on as well, at most two digits follow it. OK on an empty entry shows requiredText
// and stays open (an empty requiredText lets an empty entry through).
class NumericKeypad : public TouchDialog
{
    Q_OBJECT
public:
    NumericKeypad(const QString &title, const QString &prompt, const QString &requiredText,
                  int maxLength, bool decimals, bool money, QWidget *parent = nullptr);

    QString text() const { return m_text; }

public slots:
    void type(QChar c);
    void backspace();
    void clear();
    void confirm();

protected:
    void enterPressed() override { confirm(); }
    bool handleKey(QKeyEvent *event) override;

private:
    void refresh();

    QLabel *m_display;
    QString m_text;
    QString m_requiredText;
    int m_maxLength;
    bool m_decimals;
    bool m_money;
};

// Letters, digits and a few signs on screen; the physical keyboard types any printable
// character. Everything is upper case, as the codes it serves are.
class AlphaKeypad : public TouchDialog
{
    Q_OBJECT
public:
    AlphaKeypad(const QString &title, const QString &prompt, const QString &initial,
                int maxLength, QWidget *parent = nullptr);

    QString text() const { return m_text; }

public slots:
    void type(const QString &s);
    void backspace();
    void clear();

protected:
    void enterPressed() override { accept(); }
    bool handleKey(QKeyEvent *event) override;

private:
    void refresh();

    QLabel *m_display;
    QString m_text;
    int m_maxLength;
};

bool tecladoNumerico(QString &result, const QString &title, const QString &prompt,
                     const QString &requiredText, int maxLength, int flag1, int flag2,
                     int arg8, int arg9, int arg10);
QString tecladoAlfaNumerico(const QString &title, const QString &prompt,
                            const QString &initial, int maxLength);
