#pragma once

// Contract of the shared services library (libqelservices): message boxes, the message
// catalogue, small helpers and the connection services. The system calls only what is here.

#include <QStringList>
#include <QString>
#include <QVariant>

class ClientDataSet;
class DbConnection;
class Exception;
class QWidget;

// Kinds of message box. 0 information/question, 2 price and product warning, 3 error.
enum TTipoMsg { tmInformacao = 0, tmAviso = 1, tmAdvertencia = 2, tmErro = 3 };

// Modal message box. With ask == "S" a yes/no question: true when the operator confirms.
bool Mensagem(const QString &text, const QString &arg2, const QString &arg3, const QString &ask,
              TTipoMsg kind, const QString &arg6, const QString &scheme, int arg8,
              ClientDataSet *dataSet);

// An error text in the result is shown (kind 3) and then raised as Exception; a data packet
// (or anything else) is returned; an empty text is not an error.
QVariant MensagemMetodo(const QVariant &result, bool show, int code, const QString &method,
                        const QString &unit, const QString &params, const QString &scheme);

// Every call of Mensagem, with its nine arguments (the dataset as its name).
struct MessageCall
{
    QString text, arg2, arg3, ask;
    int kind = 0;
    QString arg6, scheme;
    int arg8 = 0;
    QString dataSet;
};

// Where Mensagem sends its boxes. The library's own presenter shows touch-sized modal boxes;
// tests install one that records the calls and answers the questions.
class MessagePresenter
{
public:
    virtual ~MessagePresenter() = default;
    virtual bool present(const MessageCall &call) = 0;
};
// Installs a presenter (null restores the library's own); returns the one it replaced.
MessagePresenter *setMessagePresenter(MessagePresenter *presenter);

// The message catalogue component: lines "KEY|text", looked up by exact key.
class TMessages
{
public:
    QStringList Items;
    QString Msg(const QString &key) const; // empty when the key is absent
};

QString Ajusta(const QString &text, int width); // left-pads with "0"; longer text unchanged
bool EmptyString(const QString &text);
double RoundDec(double value, int places); // half away from zero: 2.675 -> 2.68
QVariant iif(bool condition, const QVariant &whenTrue, const QVariant &whenFalse);
// Raises Exception whose message is the failure code when the result carries one.
void CheckResultServ(const QVariant &result, bool raise, int code);
void Trad(QWidget *form);

// Connection services.
QString _GetStringConexQel(const QString &arg); // QEL_CONEXAO, conexao.txt, Dados/loja.db
void SetADODBSession(DbConnection *connection);
void TryConnect(DbConnection *connection);
QString ADOExceptionMessage(const Exception &error, DbConnection *connection,
                            const QString &arg);
