// Payments: the payment type (searched or typed), its value against the remaining amount,
// and the lines of the payment list with their running total.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "venda/itens.h"
#include "venda/pagamentos.h"
#include "screenservices.h"

#include <QCoreApplication>
#include <QLabel>

namespace {

void filtra(ClientDataSet *ds, const QString &filter)
{
    ds->setFiltered(false);
    ds->setFilter(filter);
    ds->setFiltered(true);
}

QString comMoeda(Dinheiro::Centavos value)
{
    return Sys::CurrencyString() + Dinheiro::formatado(value);
}

} // namespace

Dinheiro::Centavos TfrmRegVenMan::totalRecebido() const
{
    return pagamentos().total();
}

// The sale total for a new payment. With no item since the screen opened the total label is
// empty: the operator is told there is nothing sold yet instead of a conversion error. A sale
// already paid in full takes no more: `quitada` is the key of that message.
bool TfrmRegVenMan::totalParaRecebimento(Dinheiro::Centavos &total, Recusa quitada)
{
    if (lblTotal->text().isEmpty()) {
        mensagemErro(Msg(Recusa::SemProduto));
        return false;
    }
    total = totalVenda();
    if (pagamentos().restante(total) <= 0) {
        mensagemErro(Msg(quitada));
        return false;
    }
    return true;
}

// The value field as a number: typed digits, or a validated value with the currency symbol.
double TfrmRegVenMan::valorDigitado() const
{
    QString text = bldValorRece->Caption();
    if (text.startsWith(Sys::CurrencyString()))
        text = text.mid(Sys::CurrencyString().size()).trimmed();
    return Sys::StrToFloat(text);
}

void TfrmRegVenMan::bldCodReceClick()
{
    inCampoAtual = CampoTipoRece;
    MudaCor();
    Dinheiro::Centavos total = 0;
    if (!totalParaRecebimento(total, Recusa::TipoComVendaPaga))
        return;
    try {
        filtra(cdsRecebAux, Pagamentos::FiltroPesquisa);
        if (!Pesquisa(cdsRecebAux, QString(), QString(), 0, 0, 0, 0, 0)
            || cdsRecebAux->IsEmpty()) {
            bldCodRece->setCaption(QString());
            return;
        }
        QCoreApplication::processEvents();
        const QString codigo = cdsRecebAux->FieldByName(QStringLiteral("CDTIPORECE")).AsString();
        if (!codigo.isEmpty()) {
            bldCodRece->setCaption(codigo + QStringLiteral(" - ")
                                   + cdsRecebAux->FieldByName(QStringLiteral("DSBUTTON")).AsString());
        } else {
            mensagemErro(Msg(Recusa::TipoInvalido));
            bldCodRece->setCaption(QString());
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

void TfrmRegVenMan::vd_tiporece(const QString &code)
{
    try {
        filtra(cdsRecebAux, Pagamentos::FiltroCodigo);
        if (cdsRecebAux->Active()
            && cdsRecebAux->Locate(QStringLiteral("CDTIPORECE"), Ajusta(code, 3))) {
            bldCodRece->setCaption(
                cdsRecebAux->FieldByName(QStringLiteral("CDTIPORECE")).AsString()
                + QStringLiteral(" - ")
                + cdsRecebAux->FieldByName(QStringLiteral("DSBUTTON")).AsString());
        } else {
            mensagemErro(Msg(Recusa::TipoInvalido));
            bldCodRece->setCaption(QString());
            inCampoAtual = CampoQuant; // Enter moves on from here, back onto the type
            MudaCor();
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

bool TfrmRegVenMan::ValidaRecebimento()
{
    const QString codigo = bldCodRece->Caption().left(3);
    if (codigo.isEmpty())
        return true;
    return cdsRecebAux->Active()
           && cdsRecebAux->Locate(QStringLiteral("CDTIPORECE"), Ajusta(codigo, 3));
}

void TfrmRegVenMan::bldValorReceClick()
{
    if (!ValidaRecebimento()) {
        mensagemErro(Msg(Recusa::TipoInvalido));
        return;
    }
    inCampoAtual = CampoValorRece;
    MudaCor();
    if (EmptyString(bldCodRece->Caption()))
        return;
    Dinheiro::Centavos total = 0;
    if (!totalParaRecebimento(total, Recusa::ValorComVendaPaga))
        return;
    if (!TecladoNumerico(stMsg, Msg("REG_MAN_VEN"), Msg("VAL_RECE"), Msg("VAL_DEV_INF"), 20, 1, 1,
                         0, 0, 0))
        return;
    try {
        aceitaValor(Sys::StrToFloat(stMsg), total);
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

// Measures a value against the remaining amount: at most the remainder is taken as it is;
// above it the operator may take the remainder instead.
void TfrmRegVenMan::aceitaValor(double valor, Dinheiro::Centavos total)
{
    const Pagamentos::Avaliacao avaliacao = pagamentos().avalia(valor, total);
    const bool aceito = !avaliacao.recusa
                        && (!avaliacao.acimaDoRestante || pergunta(Msg("VALOR_MAIOR")));
    bldValorRece->setCaption(aceito ? comMoeda(avaliacao.centavos) : QString());
    doValorRece = aceito ? Dinheiro::emReais(avaliacao.centavos) : 0;
    boRecebimento = aceito;
    if (avaliacao.recusa)
        throw Exception(Msg(*avaliacao.recusa));
}

void TfrmRegVenMan::vd_valrece(const QString &)
{
    try {
        if (EmptyString(bldCodRece->Caption()))
            return;
        if (lblTotal->text().isEmpty())
            lblTotal->setText(QStringLiteral("0"));
        aceitaValor(valorDigitado(), totalVenda());
        inCampoAtual = CampoQuant; // Enter moves on from here, onto the next payment's type
        MudaCor();
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
        // Enter then brings the operator back to the value, to key it again.
        inCampoAtual = CampoTipoRece;
        MudaCor();
    }
}

void TfrmRegVenMan::bldAddReceClick()
{
    try {
        if (!ValidaRecebimento()) {
            mensagemErro(Msg(Recusa::TipoInvalido));
            return;
        }
        if (itens().vazia()) {
            mensagemErro(Msg(Recusa::SemProduto));
            bldCodRece->setCaption(QString());
            bldValorRece->setCaption(QString());
            return;
        }
        if (EmptyString(bldCodRece->Caption())) {
            mensagemErro(Msg(Recusa::TipoVazio));
            inCampoAtual = CampoTipoRece;
            MudaCor();
            return;
        }
        if (bldValorRece->Caption().isEmpty()) {
            mensagemErro(Msg(Recusa::ValorVazio));
            inCampoAtual = CampoValorRece;
            MudaCor();
            return;
        }
        if (bldValorRece->Caption() == comMoeda(0)) {
            mensagemErro(Msg(Recusa::ValorZero));
            inCampoAtual = CampoValorRece;
            MudaCor();
            return;
        }
        if (adicionaLinha())
            doTotal = Dinheiro::emReais(totalRecebido());
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
    // Reset, also after a failure or a value the operator did not confirm.
    boRecebimento = false;
    inCampoAtual = CampoTipoRece;
    MudaCor();
    bldCodRece->setCaption(QString());
    bldValorRece->setCaption(QString());
}

// Confirms an unchecked value and writes the payment line. A value the operator does not
// confirm (No to the question, or the remainder refused) ends the addition without a line,
// and so does a value that comes out as zero.
bool TfrmRegVenMan::adicionaLinha()
{
    if (!boRecebimento) {
        if (!pergunta(Msg("ADD_RECE")))
            return false;
        vd_valrece(bldValorRece->Caption());
        inCampoAtual = CampoValorRece;
        MudaCor();
        if (!boRecebimento)
            return false;
    }
    if (Dinheiro::emCentavos(doValorRece) == 0) {
        mensagemErro(Msg(Recusa::ValorZero));
        return false;
    }
    pagamentos().adiciona(contexto.stCdFilial, *cdsRecebAux, Dinheiro::emCentavos(doValorRece));
    return true;
}

void TfrmRegVenMan::bldCancelaReceClick()
{
    try {
        if (!pagamentos().atualCancelavel())
            return;
        if (pergunta(Msg("CONFIRMAR_RECE"))) {
            pagamentos().cancelaAtual();
            doTotal = Dinheiro::emReais(totalRecebido());
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}
