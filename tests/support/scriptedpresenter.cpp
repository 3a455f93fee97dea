#include "scriptedpresenter.h"

#include <QTest>

ScriptedPresenter::ScriptedPresenter() { m_previous = setMessagePresenter(this); }

ScriptedPresenter::~ScriptedPresenter() { setMessagePresenter(m_previous); }

bool ScriptedPresenter::present(const MessageCall &call)
{
    calls.append(call);
    if (call.ask != QLatin1String("S"))
        return false;
    return m_answers.isEmpty() ? m_default : m_answers.takeFirst();
}

QStringList ScriptedPresenter::texts() const
{
    QStringList out;
    for (const auto &c : calls)
        out << c.text;
    return out;
}

MessageCall messageCall(const QString &text, int kind, const QString &scheme)
{
    MessageCall c;
    c.text = text;
    c.arg3 = QStringLiteral("N");
    c.ask = QStringLiteral("N");
    c.kind = kind;
    c.scheme = scheme;
    return c;
}

MessageCall errorCall(const QString &text, const QString &scheme)
{
    return messageCall(text, 3, scheme);
}

MessageCall questionCall(const QString &text, const QString &scheme)
{
    MessageCall c = messageCall(text, 0, scheme);
    c.ask = QStringLiteral("S");
    return c;
}

bool operator==(const MessageCall &a, const MessageCall &b)
{
    return a.text == b.text && a.arg2 == b.arg2 && a.arg3 == b.arg3 && a.ask == b.ask
           && a.kind == b.kind && a.arg6 == b.arg6 && a.scheme == b.scheme && a.arg8 == b.arg8
           && a.dataSet == b.dataSet;
}

char *toString(const MessageCall &c)
{
    const QString s = QStringLiteral("Mensagem(\"%1\", \"%2\", \"%3\", \"%4\", %5, \"%6\", \"%7\", %8, %9)")
                          .arg(c.text, c.arg2, c.arg3, c.ask)
                          .arg(c.kind)
                          .arg(c.arg6, c.scheme)
                          .arg(c.arg8)
                          .arg(c.dataSet.isEmpty() ? QStringLiteral("nil") : c.dataSet);
    return QTest::toString(s);
}
