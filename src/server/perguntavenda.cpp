// The recorded-slip question asked in the background: a module of its own on a thread of its
// own, so that a store that stops answering holds up that thread, never the caller's.
#include "rdmregvendamanual.h"

#include "exception.h"
#include "qelservices.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

namespace {

class PerguntaVenda
{
public:
    PerguntaVenda()
    {
        m_thread.setObjectName(QStringLiteral("VendaGravada"));
        m_contexto.moveToThread(&m_thread);
        m_thread.start();
    }

    // Asked and released by the caller's thread; answered on m_thread.
    QVariant pergunta(int limiteMs, const QString &conexao, const QStringList &chave)
    {
        using namespace std::chrono;
        if (m_pendente.valid() && m_pendente.wait_for(seconds(0)) != std::future_status::ready)
            return QVariant(); // the store still owes the last answer
        auto promessa = std::make_shared<std::promise<QVariant>>();
        m_pendente = promessa->get_future();
        QMetaObject::invokeMethod(
            &m_contexto,
            [this, promessa, conexao, chave] { promessa->set_value(responde(conexao, chave)); },
            Qt::QueuedConnection);
        if (m_pendente.wait_for(milliseconds(std::max(limiteMs, 0)))
            != std::future_status::ready)
            return QVariant();
        return m_pendente.get();
    }

    // Connects ahead of the first question, which then waits for the store's answer only. A
    // failure here is left to that question, which connects again and tells it.
    void prepara(const QString &conexao)
    {
        QMetaObject::invokeMethod(
            &m_contexto,
            [this, conexao] {
                try {
                    conecta(conexao);
                } catch (const std::exception &) {
                }
            },
            Qt::QueuedConnection);
    }

    // At the application's end: the module is released on its own thread. A thread still
    // waiting on a silent store is left as it is (the process is ending).
    bool encerra(int limiteMs)
    {
        QMetaObject::invokeMethod(
            &m_contexto,
            [this] {
                m_rdm.reset();
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
        return m_thread.wait(QDeadlineTimer(limiteMs));
    }

private:
    // The module of this thread, connected to the store the connection string names now.
    void conecta(const QString &conexao)
    {
        if (!m_rdm || m_conexao != conexao) {
            m_rdm.reset();
            m_rdm = std::make_unique<TrdmRegVendaManual>(nullptr);
            m_rdm->adcRegVendaManual.BeforeConnect = [conexao](DbConnection &c) {
                c.ConnectionString = conexao;
            };
            m_conexao = conexao;
        }
        m_rdm->adcRegVendaManual.setConnected(true);
    }

    QVariant responde(const QString &conexao, const QStringList &chave)
    {
        try {
            conecta(conexao);
            return QVariant::fromValue(
                m_rdm->vendaGravada(chave.at(0), chave.at(1), chave.at(2), chave.at(3),
                                    chave.at(4)));
        } catch (const Exception &e) {
            return QVariant(
                ADOExceptionMessage(e, m_rdm ? &m_rdm->adcRegVendaManual : nullptr, QString()));
        } catch (const std::exception &e) {
            return QVariant(exceptionMessage(e));
        }
    }

    QThread m_thread;
    QObject m_contexto;
    std::unique_ptr<TrdmRegVendaManual> m_rdm; // made, used and released on m_thread only
    QString m_conexao;
    std::future<QVariant> m_pendente;
};

// Made on the first use; kept for the process when its thread will not stop in time.
PerguntaVenda *g_pergunta = nullptr;

void encerraPergunta()
{
    if (g_pergunta && g_pergunta->encerra(2000)) {
        delete g_pergunta;
        g_pergunta = nullptr;
    }
}

PerguntaVenda &perguntaVenda()
{
    if (!g_pergunta) {
        g_pergunta = new PerguntaVenda;
        qAddPostRoutine(encerraPergunta);
    }
    return *g_pergunta;
}

} // namespace

QVariant getVendaGravadaAte(int limiteMs, const QString &cdFilial, const QString &cdLoja,
                            const QString &nrOrdem, const QString &nrSerie,
                            const QString &nrSubSerie)
{
    try {
        return perguntaVenda().pergunta(limiteMs, _GetStringConexQel(QString()),
                                        {cdFilial, cdLoja, nrOrdem, nrSerie, nrSubSerie});
    } catch (const std::exception &e) {
        return QVariant(exceptionMessage(e));
    }
}

void preparaVendaGravada()
{
    try {
        perguntaVenda().prepara(_GetStringConexQel(QString()));
    } catch (const std::exception &) {
        // The first question connects, and tells what fails.
    }
}
