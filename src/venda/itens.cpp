#include "itens.h"

#include "clientdataset.h"
#include "conversions.h"
#include "regras.h"

namespace {

// Three digits, as the rows number their items ("007"); a larger number keeps its digits.
QString numeroDoItem(int n)
{
    return QString::number(n).rightJustified(3, QLatin1Char('0'));
}

} // namespace

bool Itens::vazia() const
{
    return !m_lista.Active() || m_lista.IsEmpty();
}

Dinheiro::Centavos Itens::total() const
{
    return Dinheiro::somaDaColuna(m_lista.Data(), QStringLiteral("VRTOTVEND"));
}

int Itens::maiorNumero() const
{
    const DataPacket rows = m_lista.Data();
    const int column = rows.indexOf(QStringLiteral("NRSEQUITVENDA"));
    int highest = 0;
    for (int r = 0; r < rows.rowCount(); ++r)
        highest = std::max(highest, rows.value(r, column).toString().toInt());
    return highest;
}

std::optional<Recusa> Itens::confereQuantidade(const QString &digitada, double preco,
                                               double &quantidade) const
{
    quantidade = Sys::StrToFloat(digitada);
    return Regras::recusaQuantidade(quantidade, preco, total());
}

QString Itens::adiciona(const ProdutoVendido &produto, const QString &quantidadeDigitada,
                        double quantidade, const Cabecalho &cabecalho, const Origem &origem)
{
    // The line's amount in cents: what the row stores, the total adds and the operator pays.
    const Dinheiro::Centavos valorItem = Dinheiro::totalDoItem(produto.preco, quantidade);
    const bool novaLista = !m_lista.Active();
    const int maior = novaLista ? 0 : maiorNumero();
    const QString numero = numeroDoItem(maior + 1);
    const QDateTime entrada = Sys::StrToDateTime(
        cabecalho.data + QLatin1Char(' ') + Sys::TimeToStr(origem.agora.time()));
    const Contexto &c = origem.contexto;

    if (novaLista)
        m_lista.CreateDataSet();
    NewRow linha(m_lista, NewRow::AheadOfCurrent);
    linha["CDPRODUTO"].setAsString(produto.codigo);
    linha["NMPRODUTO"].setAsString(produto.nome);
    linha["QTPRODVEND"].setAsString(quantidadeDigitada);
    linha["QTPRODCOMVEN"].setAsString(quantidadeDigitada);
    linha["VRPRECCOMVEN"].setAsFloat(produto.preco);
    linha["VRUNITVEND"].setAsFloat(produto.preco);
    if (produto.imposto) {
        linha["NMIMPOSTO"].setAsString(produto.imposto->nome);
        linha["VRPEALIMPFIS"].setAsString(produto.imposto->aliquota);
        linha["SGIMPOSTO"].setAsString(produto.imposto->sigla);
    }
    linha["VRTOTVEND"].setAsFloat(Dinheiro::emReais(valorItem));
    linha["CDFILIAL"].setAsString(c.stCdFilial);
    linha["CDCAIXA"].setAsString(c.stCdCaixa);
    linha["CDCLIENTE"].setAsString(c.stCdCliente);
    linha["CDEMPRESA"].setAsString(c.stCdEmpresa);
    linha["DTVENDA"].setAsDateTime(cabecalho.emissao);
    linha["DTENTRVENDA"].setAsDateTime(entrada);
    // One second after the entry, as a date-time: 23:59:59 closes at 00:00:00 next day.
    linha["DTFECHAVENDA"].setAsDateTime(entrada.addSecs(1));
    linha["IDSITUVENDA"].setAsString(QStringLiteral("O"));
    linha["VRDESCVENDA"].setAsFloat(0);
    linha["CDFILIALTUR"].setAsString(c.stCdFilial);
    linha["CDCAIXATUR"].setAsString(c.stCdCaixa);
    linha["DTABERTUR"].setAsDateTime(c.dtAberCaix);
    linha["NRCUPOMFIS"].setAsString(QString());
    linha["CDOPERADOR"].setAsString(origem.operador);
    linha["CDLOJA"].setAsString(c.stCdLoja);
    linha["IDTIPOVENDA"].setAsString(QStringLiteral("S"));
    linha["TXOBSVENDA"].setAsString(origem.observacao);
    linha["IDVENDEBCONS"].setAsString(QStringLiteral("N"));
    linha["NRMESA"].setAsString(cabecalho.mesa);
    linha["CDSALA"].setAsString(cabecalho.sala);
    linha["IDCANCMANUAL"].setAsString(QStringLiteral("N"));
    linha["NRSEQVENDA"].setAsString(QString());
    linha["NRSEQUITVENDA"].setAsString(numero);
    linha["VRDESITVEND"].setAsFloat(produto.desconto);
    linha["VRUNITVENDCL"].setAsFloat(0);
    linha["VRACRITVEND"].setAsFloat(produto.acrescimo);
    linha["DSOBSITEMVENDA"].setAsString(origem.observacao);
    linha["CDPRODPROMOCAO"].setAsString(produto.codigo);
    linha["NRORDEMVND"].setAsString(cabecalho.ordem);
    linha["NRSERIEVND"].setAsString(cabecalho.serie);
    linha["NRSUBSERIEVND"].setAsString(cabecalho.subSerie);
    linha["NRCOMANDA"].setAsString(QString());
    linha["VRREPIQUEVENDA"].setAsFloat(0);
    linha["NRSEQ"].setAsString(numero);
    if (novaLista)
        linha["DTHRABERMESA"].setAsDateTime(origem.agora);
    linha.post();
    return numeroDoItem(maior);
}

Dinheiro::Centavos Itens::cancelaAtual()
{
    m_lista.Delete();
    const Dinheiro::Centavos restante = total();
    if (m_lista.IsEmpty())
        m_lista.Close();
    return restante;
}

void Itens::aplica(const Cabecalho &cabecalho)
{
    const auto set = [this](const char *column) {
        return m_lista.FieldByName(QString::fromLatin1(column));
    };
    for (int recNo = 1; recNo <= m_lista.RecordCount(); ++recNo) {
        m_lista.setRecNo(recNo);
        const QDateTime entrada(cabecalho.emissao.date(),
                                set("DTENTRVENDA").AsDateTime().time());
        m_lista.Edit();
        set("NRORDEMVND").setAsString(cabecalho.ordem);
        set("NRSERIEVND").setAsString(cabecalho.serie);
        set("NRSUBSERIEVND").setAsString(cabecalho.subSerie);
        set("DTVENDA").setAsDateTime(cabecalho.emissao);
        set("DTENTRVENDA").setAsDateTime(entrada);
        set("DTFECHAVENDA").setAsDateTime(entrada.addSecs(1));
        set("NRMESA").setAsString(cabecalho.mesa);
        set("CDSALA").setAsString(cabecalho.sala);
        m_lista.Post();
    }
}
