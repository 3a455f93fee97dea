// Adding the product on screen as an item of the sale, and cancelling an item.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "venda/regras.h"

#include <QLabel>

Dinheiro::Centavos TfrmRegVenMan::totalVenda() const
{
    return Dinheiro::somaDaColuna(cdsProdutos->Data(), QStringLiteral("VRTOTVEND"));
}

int TfrmRegVenMan::maiorNumeroItem() const
{
    const DataPacket rows = cdsProdutos->Data();
    const int column = rows.indexOf(QStringLiteral("NRSEQUITVENDA"));
    int highest = 0;
    for (int r = 0; r < rows.rowCount(); ++r)
        highest = std::max(highest, rows.value(r, column).toString().toInt());
    return highest;
}

void TfrmRegVenMan::bldAddProdClick()
{
    // A fresh lookup of the code on screen.
    if (!vd_produto(bldCodigo->Caption()))
        return;
    if (!ValidaProduto()) {
        mensagemErro(Msg("COD_PROD_INV"));
        return;
    }
    // The header as it stands now, every field checked as Enter checks it: a value typed and
    // never confirmed is checked here, and a value confirmed earlier never stands in for it.
    const std::optional<Cabecalho> cabecalho = cabecalhoAtual();
    if (!cabecalho)
        return;
    if (bldCodigo->Caption().isEmpty()) {
        recusaCampo(CampoCodigo, Msg("CODIGO_INF"));
        return;
    }
    if (bldQuant->Caption().isEmpty()) {
        recusaCampo(CampoQuant, Msg("QUANT_DEV_INF"));
        return;
    }
    // A quantity of zero (in any spelling) or below, or one that makes the item or the sale
    // worth more than any amount can hold, is told and its frame turns red; the focus stays.
    double quantidade = 0;
    std::optional<QString> recusa;
    try {
        quantidade = Sys::StrToFloat(bldQuant->Caption());
        const double preco = cdsRetornaPreco->FieldByName(QStringLiteral("VRPRECO")).AsFloat();
        if (const std::optional<Recusa> motivo =
                Regras::recusaQuantidade(quantidade, preco, totalVenda())) {
            recusa = Msg(*motivo);
            if (motivo == Recusa::QuantidadeLimite)
                recusa = recusa->arg(bldQuant->Caption().left(30),
                                    Sys::CurrencyString()
                                        + Sys::FormatFloat(QStringLiteral("#,##0.00"),
                                                           Sys::MaxAmount));
        }
    } catch (const std::exception &e) {
        recusa = exceptionMessage(e);
    }
    if (recusa) {
        mensagemErro(*recusa);
        MudaCor(CampoQuant, Vermelho);
        return;
    }

    const bool primeiroItem = !cdsProdutos->Active() || cdsProdutos->IsEmpty();
    try {
        adicionaItem(*cabecalho, quantidade);
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
        return;
    }
    // A slip keyed a second time is told with its first item, not at the end. The item stays:
    // the operator may correct the number; only the recording of that document is refused.
    if (primeiroItem)
        documentoJaGravado();
}

// Builds the item row from the screen and the lookup's current rows. A row whose building
// fails is cancelled, so the list only ever holds complete rows.
void TfrmRegVenMan::adicionaItem(const Cabecalho &cabecalho, double quantidade)
{
    const double preco = cdsRetornaPreco->FieldByName(QStringLiteral("VRPRECO")).AsFloat();
    // The line's amount in cents: what the row stores, the total adds and the operator pays.
    const Dinheiro::Centavos valorItem = Dinheiro::totalDoItem(preco, quantidade);
    const bool novaLista = !cdsProdutos->Active();
    const int maior = novaLista ? 0 : maiorNumeroItem();
    stSeqItVenda = Ajusta(QString::number(maior), 3); // the number the new one follows
    const QString numero = Ajusta(QString::number(maior + 1), 3);
    const QDateTime agora = QDateTime::currentDateTime();
    const QDateTime entrada = Sys::StrToDateTime(
        cabecalho.data + QLatin1Char(' ') + Sys::TimeToStr(agora.time()));

    if (novaLista)
        cdsProdutos->CreateDataSet();
    {
        NewRow linha(*cdsProdutos, NewRow::AheadOfCurrent);
        linha["CDPRODUTO"].setAsString(bldCodigo->Caption());
        linha["NMPRODUTO"].setAsString(
            cdsValidaProd->FieldByName(QStringLiteral("NMPRODUTO")).AsString());
        linha["QTPRODVEND"].setAsString(bldQuant->Caption());
        linha["QTPRODCOMVEN"].setAsString(bldQuant->Caption());
        linha["VRPRECCOMVEN"].setAsFloat(preco);
        linha["VRUNITVEND"].setAsFloat(preco);
        if (m_temImposto) {
            linha["NMIMPOSTO"].setAsString(
                cdsImposto->FieldByName(QStringLiteral("NMIMPOSTO")).AsString());
            linha["VRPEALIMPFIS"].setAsString(
                cdsImposto->FieldByName(QStringLiteral("VRPEALIMPFIS")).AsString());
            linha["SGIMPOSTO"].setAsString(
                cdsImposto->FieldByName(QStringLiteral("SGIMPOSTO")).AsString());
        }
        linha["VRTOTVEND"].setAsFloat(Dinheiro::emReais(valorItem));
        linha["CDFILIAL"].setAsString(contexto.stCdFilial);
        linha["CDCAIXA"].setAsString(contexto.stCdCaixa);
        linha["CDCLIENTE"].setAsString(contexto.stCdCliente);
        linha["CDEMPRESA"].setAsString(contexto.stCdEmpresa);
        linha["DTVENDA"].setAsDateTime(cabecalho.emissao);
        linha["DTENTRVENDA"].setAsDateTime(entrada);
        // One second after the entry, as a date-time: 23:59:59 closes at 00:00:00 next day.
        linha["DTFECHAVENDA"].setAsDateTime(entrada.addSecs(1));
        linha["IDSITUVENDA"].setAsString(QStringLiteral("O"));
        linha["VRDESCVENDA"].setAsFloat(0);
        linha["CDFILIALTUR"].setAsString(contexto.stCdFilial);
        linha["CDCAIXATUR"].setAsString(contexto.stCdCaixa);
        linha["DTABERTUR"].setAsDateTime(contexto.dtAberCaix);
        linha["NRCUPOMFIS"].setAsString(QString());
        linha["CDOPERADOR"].setAsString(stOperadorLogin);
        linha["CDLOJA"].setAsString(contexto.stCdLoja);
        linha["IDTIPOVENDA"].setAsString(QStringLiteral("S"));
        linha["TXOBSVENDA"].setAsString(Msg("REG_MAN_VEN"));
        linha["IDVENDEBCONS"].setAsString(QStringLiteral("N"));
        linha["NRMESA"].setAsString(cabecalho.mesa);
        linha["CDSALA"].setAsString(cabecalho.sala);
        linha["IDCANCMANUAL"].setAsString(QStringLiteral("N"));
        linha["NRSEQVENDA"].setAsString(QString());
        linha["NRSEQUITVENDA"].setAsString(numero);
        linha["VRDESITVEND"].setAsFloat(
            cdsRetornaPreco->FieldByName(QStringLiteral("VRDESCONTO")).AsFloat());
        linha["VRUNITVENDCL"].setAsFloat(0);
        linha["VRACRITVEND"].setAsFloat(
            cdsRetornaPreco->FieldByName(QStringLiteral("VRACRESCIMO")).AsFloat());
        linha["DSOBSITEMVENDA"].setAsString(Msg("REG_MAN_VEN"));
        linha["CDPRODPROMOCAO"].setAsString(bldCodigo->Caption());
        linha["NRORDEMVND"].setAsString(cabecalho.ordem);
        linha["NRSERIEVND"].setAsString(cabecalho.serie);
        linha["NRSUBSERIEVND"].setAsString(cabecalho.subSerie);
        linha["NRCOMANDA"].setAsString(QString());
        linha["VRREPIQUEVENDA"].setAsFloat(0);
        linha["NRSEQ"].setAsString(numero);
        if (novaLista)
            linha["DTHRABERMESA"].setAsDateTime(agora);
        linha.post();
    }

    lblTot->show();
    lblTotal->show();
    lblTotal->setText(Dinheiro::formatado(totalVenda()));
    lblTotal->adjustSize();
    inCampoAtual = CampoCodigo;
    VoltaCor();
    MudaCor();
    boAddProd = true;
    limpaProduto();
    bldQuant->setCaption(QString());
}

void TfrmRegVenMan::bldCancelClick()
{
    try {
        if (!cdsProdutos->Active() || cdsProdutos->IsEmpty())
            return;
        // Every line can be cancelled, also one whose product has no name in the cache.
        if (pergunta(Msg("CONFIRMAR_PROD"))) {
            cdsProdutos->Delete();
            const Dinheiro::Centavos restante = totalVenda();
            if (cdsProdutos->IsEmpty())
                cdsProdutos->Close();
            lblTotal->setText(Dinheiro::simples(restante));
            lblTotal->adjustSize();
        }
        if (lblTotal->text() == QLatin1String("0")) {
            lblTot->hide();
            lblTotal->hide();
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}
