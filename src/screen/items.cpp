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
    cdsProdutos->Insert();
    try {
        const auto set = [this](const char *column) {
            return cdsProdutos->FieldByName(QString::fromLatin1(column));
        };
        set("CDPRODUTO").setAsString(bldCodigo->Caption());
        set("NMPRODUTO").setAsString(
            cdsValidaProd->FieldByName(QStringLiteral("NMPRODUTO")).AsString());
        set("QTPRODVEND").setAsString(bldQuant->Caption());
        set("QTPRODCOMVEN").setAsString(bldQuant->Caption());
        set("VRPRECCOMVEN").setAsFloat(preco);
        set("VRUNITVEND").setAsFloat(preco);
        if (m_temImposto) {
            set("NMIMPOSTO").setAsString(
                cdsImposto->FieldByName(QStringLiteral("NMIMPOSTO")).AsString());
            set("VRPEALIMPFIS").setAsString(
                cdsImposto->FieldByName(QStringLiteral("VRPEALIMPFIS")).AsString());
            set("SGIMPOSTO").setAsString(
                cdsImposto->FieldByName(QStringLiteral("SGIMPOSTO")).AsString());
        }
        set("VRTOTVEND").setAsFloat(Dinheiro::emReais(valorItem));
        set("CDFILIAL").setAsString(stCdFilial);
        set("CDCAIXA").setAsString(stCdCaixa);
        set("CDCLIENTE").setAsString(stCdCliente);
        set("CDEMPRESA").setAsString(stCdEmpresa);
        set("DTVENDA").setAsDateTime(cabecalho.emissao);
        set("DTENTRVENDA").setAsDateTime(entrada);
        // One second after the entry, as a date-time: 23:59:59 closes at 00:00:00 next day.
        set("DTFECHAVENDA").setAsDateTime(entrada.addSecs(1));
        set("IDSITUVENDA").setAsString(QStringLiteral("O"));
        set("VRDESCVENDA").setAsFloat(0);
        set("CDFILIALTUR").setAsString(stCdFilial);
        set("CDCAIXATUR").setAsString(stCdCaixa);
        set("DTABERTUR").setAsDateTime(dtAberCaix);
        set("NRCUPOMFIS").setAsString(QString());
        set("CDOPERADOR").setAsString(stOperadorLogin);
        set("CDLOJA").setAsString(stCdLoja);
        set("IDTIPOVENDA").setAsString(QStringLiteral("S"));
        set("TXOBSVENDA").setAsString(Msg("REG_MAN_VEN"));
        set("IDVENDEBCONS").setAsString(QStringLiteral("N"));
        set("NRMESA").setAsString(cabecalho.mesa);
        set("CDSALA").setAsString(cabecalho.sala);
        set("IDCANCMANUAL").setAsString(QStringLiteral("N"));
        set("NRSEQVENDA").setAsString(QString());
        set("NRSEQUITVENDA").setAsString(numero);
        set("VRDESITVEND").setAsFloat(
            cdsRetornaPreco->FieldByName(QStringLiteral("VRDESCONTO")).AsFloat());
        set("VRUNITVENDCL").setAsFloat(0);
        set("VRACRITVEND").setAsFloat(
            cdsRetornaPreco->FieldByName(QStringLiteral("VRACRESCIMO")).AsFloat());
        set("DSOBSITEMVENDA").setAsString(Msg("REG_MAN_VEN"));
        set("CDPRODPROMOCAO").setAsString(bldCodigo->Caption());
        set("NRORDEMVND").setAsString(cabecalho.ordem);
        set("NRSERIEVND").setAsString(cabecalho.serie);
        set("NRSUBSERIEVND").setAsString(cabecalho.subSerie);
        set("NRCOMANDA").setAsString(QString());
        set("VRREPIQUEVENDA").setAsFloat(0);
        set("NRSEQ").setAsString(numero);
        if (novaLista)
            set("DTHRABERMESA").setAsDateTime(agora);
        cdsProdutos->Post();
    } catch (...) {
        cdsProdutos->Cancel();
        if (cdsProdutos->IsEmpty())
            cdsProdutos->Close();
        throw;
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
