#include "produtos.h"

#include "clientdataset.h"
#include "indicecodigos.h"

namespace Produtos {

const QStringList &codigos()
{
    static const QStringList lista = {QStringLiteral("CDPRODUTO"), QStringLiteral("CDARVPROD"),
                                      QStringLiteral("CDBARPRODUTO"), QStringLiteral("CDPRODINTE"),
                                      QStringLiteral("CDPROTECLADO")};
    return lista;
}

bool localiza(ClientDataSet &lista, const IndiceCodigos *indice, const QString &code,
              bool vazioEmTodos)
{
    if (!lista.Active())
        return false;
    const bool porIndice = !code.isEmpty() && indice
                           && lista.state() == ClientDataSet::State::Browse
                           && !(lista.Filtered() && !lista.Filter().isEmpty())
                           && indice->cobre(lista.Data());
    const QStringList &colunas = codigos();
    for (int i = 0; i < colunas.size(); ++i) {
        if (i >= 2 && code.isEmpty() && !vazioEmTodos)
            continue;
        if (porIndice && indice->indexada(i)) {
            const int row = indice->linha(i, code);
            if (row >= 0) {
                lista.setRecNo(row + 1);
                return true;
            }
        } else if (lista.Locate(colunas[i], code)) {
            return true;
        }
    }
    return false;
}

const char *avisoDePreco(const QString &falha)
{
    static const std::pair<const char *, const char *> avisos[] = {
        {"PRECNCAD", "Preco_deve"},   {"TABENCAD", "TabePrec"},   {"DTCLI", "VigenciaCli"},
        {"DTPAR", "VigenciaPar"},     {"DTLOJ", "VigenciaLoj"},   {"PRECZERO", "Preco_Zero"},
        {"BLOQUEADO", "Prod_bloqueado"},
    };
    for (const auto &[codigo, chave] : avisos)
        if (falha == QLatin1String(codigo))
            return chave;
    return nullptr;
}

} // namespace Produtos
