// Adding the product on screen as an item of the sale, and cancelling an item.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "venda/itens.h"

#include <QLabel>

Dinheiro::Centavos TfrmRegVenMan::totalVenda() const
{
    return itens().total();
}

void TfrmRegVenMan::bldAddProdClick()
{
    // A fresh lookup of the code on screen.
    if (!vd_produto(bldCodigo->Caption()))
        return;
    if (!ValidaProduto()) {
        mensagemErro(Msg(Recusa::ProdutoInvalido));
        return;
    }
    // The header as it stands now, every field checked as Enter checks it: a value typed and
    // never confirmed is checked here, and a value confirmed earlier never stands in for it.
    const std::optional<Cabecalho> cabecalho = cabecalhoAtual();
    if (!cabecalho)
        return;
    if (bldCodigo->Caption().isEmpty()) {
        recusaCampo(CampoCodigo, Msg(Recusa::CodigoVazio));
        return;
    }
    if (bldQuant->Caption().isEmpty()) {
        recusaCampo(CampoQuant, Msg(Recusa::QuantidadeVazia));
        return;
    }
    // A quantity of zero (in any spelling) or below, or one that makes the item or the sale
    // worth more than any amount can hold, is told and its frame turns red; the focus stays.
    double quantidade = 0;
    std::optional<QString> recusa;
    try {
        const double preco = cdsRetornaPreco->FieldByName(QStringLiteral("VRPRECO")).AsFloat();
        if (const std::optional<Recusa> motivo =
                itens().confereQuantidade(bldQuant->Caption(), preco, quantidade)) {
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

    const bool primeiroItem = itens().vazia();
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

// The product on screen, priced and taxed by the lookup's current rows, as an item line.
void TfrmRegVenMan::adicionaItem(const Cabecalho &cabecalho, double quantidade)
{
    const auto preco = [this](const char *column) {
        return cdsRetornaPreco->FieldByName(QString::fromLatin1(column)).AsFloat();
    };
    ProdutoVendido produto{bldCodigo->Caption(),
                           cdsValidaProd->FieldByName(QStringLiteral("NMPRODUTO")).AsString(),
                           preco("VRPRECO"), preco("VRDESCONTO"), preco("VRACRESCIMO"),
                           std::nullopt};
    if (m_temImposto) {
        const auto imposto = [this](const char *column) {
            return cdsImposto->FieldByName(QString::fromLatin1(column)).AsString();
        };
        produto.imposto = {imposto("NMIMPOSTO"), imposto("VRPEALIMPFIS"), imposto("SGIMPOSTO")};
    }
    stSeqItVenda = itens().adiciona(
        produto, bldQuant->Caption(), quantidade, cabecalho,
        {contexto, stOperadorLogin, Msg("REG_MAN_VEN"), QDateTime::currentDateTime()});

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
        if (itens().vazia())
            return;
        // Every line can be cancelled, also one whose product has no name in the cache.
        if (pergunta(Msg("CONFIRMAR_PROD"))) {
            const Dinheiro::Centavos restante = itens().cancelaAtual();
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
