// Product lookup and pricing: a code resolved by any of five codes, the price from the price
// lookup service, the tax rate of the branch, and the quantity.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "venda/produtos.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"

#include <QCoreApplication>
#include <QLabel>

bool TfrmRegVenMan::localizaProduto(const QString &code, bool emptyMatchesAllCodes)
{
    produtosProntos();
    return Produtos::localiza(*cdsValidaProd, m_indiceCodigos.get(), code, emptyMatchesAllCodes);
}

void TfrmRegVenMan::limpaProduto()
{
    bldCodigo->setCaption(QString());
    lblProd->setText(QString());
    lblImpAliq->setText(QString());
    bldPrecoUn->setCaption(QString());
}

bool TfrmRegVenMan::vd_produto(const QString &code)
{
    try {
        if (!localizaProduto(code, false)) {
            mensagemErro(Msg("COD_PROD_INV"));
            inCampoAtual = CampoMesa; // Enter moves on from here, back onto the code
            MudaCor();
            limpaProduto();
            bldQuant->setCaption(QString());
            return false;
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
        return false;
    }
    const QString cdProduto = cdsValidaProd->FieldByName(QStringLiteral("CDPRODUTO")).AsString();

    try {
        if (!ChamaFuncaoGetRetornaPreco)
            throw Exception(Msg("PRECO_INDISP"));
        const QVariant valores[7] = {contexto.stCdFilial, stCdCliDeb, cdProduto,
                                     contexto.stCdLoja,   stCdConsumidor, QString(),
                                     QString()};
        QVariant saida;
        const QVariant resultado = ChamaFuncaoGetRetornaPreco(valores, 6, cdsRetornaPreco, saida);
        CheckResultServ(resultado, true, 0);
    } catch (const std::exception &e) {
        const QString falha = exceptionMessage(e);
        if (const char *aviso = Produtos::avisoDePreco(falha))
            mensagem(Msg(aviso), tmAdvertencia);
        else
            mensagemErro(falha);
        return false;
    }

    try {
        // The product's own tax rows, asked by key: at 200,000 products the branch's whole
        // table would cost the lookup (or the launch) a third of a second.
        const QVariant aliquotas =
            MensagemMetodo(getAliqProduto(contexto.stCdFilial, cdProduto), true, 0,
                           QStringLiteral("getAliqProduto"), QStringLiteral("Cli_Lum00071"),
                           contexto.stCdFilial, contexto.stIdEsquema);
        cdsImposto->setData(pacoteDoServidor(aliquotas, "getAliqProduto"));
        m_temImposto = cdsImposto->Locate(QStringLiteral("CDPRODUTO"), cdProduto);
        if (m_temImposto) {
            lblImpAliq->setText(
                cdsImposto->FieldByName(QStringLiteral("NMIMPOSTO")).AsString()
                + QStringLiteral(" - ")
                + cdsImposto->FieldByName(QStringLiteral("SGIMPOSTO")).AsString()
                + QStringLiteral(" - ") + Msg("ALIQUOTA") + QLatin1Char(' ')
                + Sys::FloatToStr(cdsImposto->FieldByName(QStringLiteral("VRPEALIMPFIS")).AsFloat())
                + QLatin1Char('%'));
        } else {
            // No tax row: show none rather than another product's tax.
            lblImpAliq->setText(QString());
        }
        lblImpAliq->adjustSize();
        bldCodigo->setCaption(cdProduto);
        lblProd->setText(cdsValidaProd->FieldByName(QStringLiteral("NMPRODUTO")).AsString()
                         + QStringLiteral(" - ")
                         + cdsValidaProd->FieldByName(QStringLiteral("SGUNIDADE")).AsString());
        lblProd->adjustSize();
        bldPrecoUn->setCaption(
            Sys::CurrencyString()
            + Sys::FormatFloat(QStringLiteral("#,##0.00"),
                               cdsRetornaPreco->FieldByName(QStringLiteral("VRPRECO")).AsFloat()));
        stPrecoUn = bldPrecoUn->Caption();
        if (bldQuant->Caption().isEmpty()) {
            bldQuant->setCaption(QStringLiteral("1"));
            m_quantPadrao = true;
        }
        stQuant = bldQuant->Caption();
        return true;
    } catch (const std::exception &e) {
        m_temImposto = false;
        mensagemErro(exceptionMessage(e));
        return false;
    }
}

bool TfrmRegVenMan::ValidaProduto()
{
    const QString code = bldCodigo->Caption();
    return code.isEmpty() || localizaProduto(code, true);
}

void TfrmRegVenMan::bldCodigoClick()
{
    inCampoAtual = CampoCodigo;
    MudaCor();
    limpaProduto();
    produtosProntos();
    try {
        cdsValidaProd->Close();
        cdsValidaProd->CreateDataSet();
        cdsValidaProd->setData(cdsCarregaProduto->Data());
        cdsValidaProd->setFilter(QString());
        cdsValidaProd->setFiltered(false);
        if (Pesquisa(cdsValidaProd, QString(), QString(), 0, 0, 0, 0, 0)
            && !cdsValidaProd->IsEmpty()) {
            QCoreApplication::processEvents(); // the search window is gone before the lookup
            stCodProd = cdsValidaProd->FieldByName(QStringLiteral("CDPRODUTO")).AsString();
            vd_produto(stCodProd);
        }
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

void TfrmRegVenMan::bldQuantClick()
{
    if (!ValidaProduto()) {
        mensagemErro(Msg("COD_PROD_INV"));
        return;
    }
    try {
        inCampoAtual = CampoQuant;
        MudaCor();
        const bool ok = TecladoNumerico(stMsg, Msg("REG_MAN_VEN"), Msg("QUANT"),
                                        Msg("QUANT_DEV_INF"), 20, 0, 0, 0, 0, 0);
        bldQuant->setCaption(ok ? stMsg : QStringLiteral("1"));
        m_quantPadrao = !ok;
        stQuant = bldQuant->Caption();
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}
