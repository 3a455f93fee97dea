#pragma once

#include "cabecalho.h"
#include "contexto.h"
#include "recusa.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

#include <optional>

class ClientDataSet;
class Itens;
class Pagamentos;

// Recording a sale: what must hold before it is stored, and what is stored besides its items.
namespace Gravacao {

// Items, payments, and payments that add up to the items to the cent: the first that fails.
std::optional<Recusa> confere(const Itens &itens, const Pagamentos &pagamentos);

// A sale is stored under its branch, register and operator; without any of them nobody could
// later say where or by whom it was keyed. The first one missing.
std::optional<Recusa> confereIdentificacao(const Contexto &contexto, const QString &operador);

// One cash movement per payment line, in the order of the lines, dated `dataMovimento`.
// `movimentos` is emptied first; `pagamentos`' cursor ends past its last line.
void movimentos(ClientDataSet &movimentos, ClientDataSet &pagamentos, const Contexto &contexto,
                const QDateTime &dataMovimento);

// The fiscal terminal as the host's variables give it when the sale is closed.
struct Terminal
{
    QString idPaisIntegra, nrSerie;
    int idTipoImpFis = 0;
    QString sgEstado;
};
// The sale made ready for the closing routine: every item row stamped with the header as it
// stands at recording (Itens::aplica), and the 33 values the routine takes besides the
// datasets, in its order.
QVariantList paraFechamento(Itens itens, const Cabecalho &cabecalho, const Contexto &contexto,
                            const Terminal &terminal, const QDateTime &dtAbertura);

// The folder the terminal's pending-sale file lies in (DsDirCad), taken against `instalacao`
// (canonical) when relative. Only a folder that exists inside the install may lose a file: the
// value comes from a file anybody can copy or edit. The refusal, or nothing with the folder in
// `pasta`.
std::optional<Recusa> pastaDaVenda(const QString &dir, const QString &instalacao,
                                   QString &pasta);

} // namespace Gravacao
