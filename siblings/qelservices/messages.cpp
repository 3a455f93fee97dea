#include "messagebox.h"
#include "qelservices.h"

#include "clientdataset.h"
#include "exception.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcServices, "qel.services")

namespace {

DialogPresenter &dialogPresenter()
{
    static DialogPresenter presenter;
    return presenter;
}

MessagePresenter *g_presenter = nullptr; // null: the dialog presenter

} // namespace

MessagePresenter *setMessagePresenter(MessagePresenter *presenter)
{
    MessagePresenter *previous = g_presenter;
    g_presenter = presenter;
    return previous;
}

bool Mensagem(const QString &text, const QString &arg2, const QString &arg3, const QString &ask,
              TTipoMsg kind, const QString &arg6, const QString &scheme, int arg8,
              ClientDataSet *dataSet)
{
    MessageCall call;
    call.text = text;
    call.arg2 = arg2;
    call.arg3 = arg3;
    call.ask = ask;
    call.kind = kind;
    call.arg6 = arg6;
    call.scheme = scheme;
    call.arg8 = arg8;
    if (dataSet)
        call.dataSet = dataSet->Name();
    // What the operator read stays in the log, for whoever looks into it afterwards.
    if (kind == tmErro)
        qCWarning(lcServices).noquote() << "Erro mostrado:" << text;
    MessagePresenter *presenter = g_presenter ? g_presenter : &dialogPresenter();
    return presenter->present(call);
}

QVariant MensagemMetodo(const QVariant &result, bool show, int code, const QString &method,
                        const QString &unit, const QString &params, const QString &scheme)
{
    // Only a text can carry an error; packets, nulls and any other value pass through.
    if (result.typeId() != QMetaType::QString)
        return result;
    const QString text = result.toString();
    if (text.isEmpty())
        return result;

    qCWarning(lcServices).noquote() << unit << method << params << code << ":" << text;
    if (show)
        Mensagem(text, QString(), QStringLiteral("N"), QStringLiteral("N"), tmErro, QString(),
                 scheme, 0, nullptr);
    throw Exception(text);
}

QString TMessages::Msg(const QString &key) const
{
    for (const QString &line : Items) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar >= 0 && QStringView(line).left(bar) == key)
            return line.mid(bar + 1);
    }
    return QString();
}
