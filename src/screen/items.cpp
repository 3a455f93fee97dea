// Adding the product on screen as an item of the sale, and cancelling an item.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"

#include <QLabel>
#include <cmath>

namespace {

const QColor Vermelho(255, 0, 0);

// Plain decimal form of a total after a cancellation: no thousands separators and no fixed
// decimals. Float noise of the subtraction is dropped first (29,00 - 3,999 shows 25,001).
QString formaSimples(double value)
{
    return Sys::FloatToStr(std::round(value * 1e9) / 1e9);
}

} // namespace

double TfrmRegVenMan::totalVenda() const
{
    return Sys::StrToFloat(lblTotal->text());
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
    // 1-2. A fresh lookup of the code on screen.
    if (!vd_produto(bldCodigo->Caption()))
        return;
    if (!ValidaProduto()) {
        mensagemErro(Msg("COD_PROD_INV"));
        return;
    }
    // 3-8. Required fields; the missing one gets the focus and a red frame.
    const struct
    {
        TBlendedButton *field;
        int number;
        const char *key;
    } obrigatorios[] = {{bldNrOrdem, 1, "ORD_DEV_INF"},  {bldNrSerie, 2, "SERIE_INF"},
                        {bldNrSubSerie, 3, "SUBSERIE_INF"}, {bldDtEmissao, 4, "DT_DEV_INF"},
                        {bldCodigo, 6, "CODIGO_INF"},     {bldQuant, 7, "QUANT_DEV_INF"}};
    for (const auto &o : obrigatorios) {
        if (o.field->Caption().isEmpty()) {
            mensagemErro(Msg(o.key));
            inCampoAtual = o.number;
            VoltaCor();
            setFrameColour(o.number, Vermelho);
            return;
        }
    }
    // The document (order, series, sub-series) names the sale across terminals: a value longer
    // than its column would be cut, and two documents that differ past the cut would be taken
    // for one. It is refused instead.
    const struct
    {
        TBlendedButton *field;
        int number;
        const char *column;
        const char *name;
    } documento[] = {{bldNrOrdem, 1, "NRORDEMVND", "Nr. de ordem"},
                     {bldNrSerie, 2, "NRSERIEVND", "Nr. de série"},
                     {bldNrSubSerie, 3, "NRSUBSERIEVND", "Nr. de Sub-Série"}};
    for (const auto &d : documento) {
        int largura = 0;
        for (const FieldDecl &f : cdsProdutos->fieldDecls())
            if (f.name == QLatin1String(d.column))
                largura = f.size;
        if (largura > 0 && d.field->Caption().size() > largura) {
            mensagemErro(QStringLiteral("%1 não pode ter mais de %2 caracteres.")
                             .arg(QString::fromUtf8(d.name))
                             .arg(largura));
            inCampoAtual = d.number;
            VoltaCor();
            setFrameColour(d.number, Vermelho);
            return;
        }
    }
    // The rows take the date that passed its check, not the caption. A date typed and never
    // confirmed leaves none: the date is asked for again instead of a conversion error.
    try {
        Sys::StrToDate(stDtEmissao);
    } catch (const Exception &) {
        mensagemErro(Msg("DATA_INV"));
        inCampoAtual = 4;
        VoltaCor();
        setFrameColour(4, Vermelho);
        return;
    }
    // 9. A quantity of zero (in any spelling) or below is refused; the focus stays.
    double quantidade = 0;
    try {
        quantidade = Sys::StrToFloat(bldQuant->Caption());
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
        setFrameColour(7, Vermelho);
        return;
    }
    if (quantidade <= 0) {
        mensagemErro(Msg("QUANT_ZERO"));
        setFrameColour(7, Vermelho);
        return;
    }
    // An item, or a sale, worth more than any amount can hold would be shown, paid and stored
    // without its cents (or as infinity): refused like a bad quantity.
    const double item =
        quantidade * cdsRetornaPreco->FieldByName(QStringLiteral("VRPRECO")).AsFloat();
    const bool comItens = cdsProdutos->Active() && !cdsProdutos->IsEmpty()
                          && !lblTotal->text().isEmpty();
    if (!Sys::fitsAmount(item) || !Sys::fitsAmount(item + (comItens ? totalVenda() : 0))) {
        mensagemErro(QStringLiteral("Quantidade %1 leva o total acima do valor máximo de uma "
                                    "venda (%2).")
                         .arg(bldQuant->Caption().left(30),
                              Sys::CurrencyString()
                                  + Sys::FormatFloat(QStringLiteral("#,##0.00"),
                                                     Sys::MaxAmount)));
        setFrameColour(7, Vermelho);
        return;
    }

    try {
        adicionaItem(quantidade);
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

// Builds the item row from the screen and the lookup's current rows. A row whose building
// fails is cancelled, so the list only ever holds complete rows.
void TfrmRegVenMan::adicionaItem(double quantidade)
{
    const double preco = cdsRetornaPreco->FieldByName(QStringLiteral("VRPRECO")).AsFloat();
    const bool novaLista = !cdsProdutos->Active();
    double total = quantidade * preco;
    if (novaLista) {
        stSeqItVenda = QStringLiteral("000");
    } else {
        const int maior = maiorNumeroItem();
        if (maior > 0) {
            stSeqItVenda = Ajusta(QString::number(maior), 3);
            total += totalVenda();
        } else {
            stSeqItVenda = QStringLiteral("000");
            lblTotal->setText(QStringLiteral("0"));
        }
    }
    const QString numero = Ajusta(QString::number(stSeqItVenda.toInt() + 1), 3);
    const QDateTime agora = QDateTime::currentDateTime();
    const QDateTime entrada = Sys::StrToDateTime(
        stDtEmissao + QLatin1Char(' ') + Sys::TimeToStr(agora.time()));

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
        set("VRTOTVEND").setAsFloat(preco * quantidade);
        set("CDFILIAL").setAsString(stCdFilial);
        set("CDCAIXA").setAsString(stCdCaixa);
        set("CDCLIENTE").setAsString(stCdCliente);
        set("CDEMPRESA").setAsString(stCdEmpresa);
        set("DTVENDA").setAsDateTime(Sys::StrToDate(stDtEmissao));
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
        set("NRMESA").setAsString(bldNrMesa->Caption());
        set("CDSALA").setAsString(stCdSala);
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
        set("NRORDEMVND").setAsString(bldNrOrdem->Caption());
        set("NRSERIEVND").setAsString(bldNrSerie->Caption());
        set("NRSUBSERIEVND").setAsString(bldNrSubSerie->Caption());
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
    lblTotal->setText(Sys::FormatFloat(QStringLiteral("#,##0.00"), total));
    lblTotal->adjustSize();
    inCampoAtual = 6;
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
        const QString nome = cdsProdutos->FieldByName(QStringLiteral("NMPRODUTO")).AsString();
        if (!nome.isEmpty() && pergunta(Msg("CONFIRMAR_PROD"))) {
            const double restante =
                totalVenda() - cdsProdutos->FieldByName(QStringLiteral("VRTOTVEND")).AsFloat();
            lblTotal->setText(formaSimples(restante));
            lblTotal->adjustSize();
            cdsProdutos->Delete();
            if (cdsProdutos->IsEmpty())
                cdsProdutos->Close();
        }
        if (lblTotal->text() == QLatin1String("0")) {
            lblTot->hide();
            lblTotal->hide();
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}
