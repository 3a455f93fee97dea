// Product lookup and pricing: a code resolved by any of five codes, the price from the price
// lookup service, the tax rate of the branch, and the quantity.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "venda/indicecodigos.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"

#include <QCoreApplication>
#include <QLabel>

namespace {

// Price failure codes and the catalogue keys of their warnings.
struct FalhaPreco
{
    const char *code;
    const char *key;
};
const FalhaPreco FalhasPreco[] = {
    {"PRECNCAD", "Preco_deve"},   {"TABENCAD", "TabePrec"},   {"DTCLI", "VigenciaCli"},
    {"DTPAR", "VigenciaPar"},     {"DTLOJ", "VigenciaLoj"},   {"PRECZERO", "Preco_Zero"},
    {"BLOQUEADO", "Prod_bloqueado"},
};

} // namespace

// A product may be named by any of these codes, searched in this order.
const QStringList &TfrmRegVenMan::codigosProduto()
{
    static const QStringList codigos = {QStringLiteral("CDPRODUTO"), QStringLiteral("CDARVPROD"),
                                        QStringLiteral("CDBARPRODUTO"),
                                        QStringLiteral("CDPRODINTE"),
                                        QStringLiteral("CDPROTECLADO")};
    return codigos;
}

bool TfrmRegVenMan::localizaProduto(const QString &code, bool emptyMatchesAllCodes)
{
    produtosProntos();
    if (!cdsValidaProd->Active())
        return false;
    // The index answers for the list as it was read; a filtered or changed list, or an empty
    // code (rare, and matched by empty values), is searched row by row.
    const bool porIndice = !code.isEmpty() && m_indiceCodigos
                           && cdsValidaProd->state() == ClientDataSet::State::Browse
                           && !(cdsValidaProd->Filtered() && !cdsValidaProd->Filter().isEmpty())
                           && m_indiceCodigos->cobre(cdsValidaProd->Data());
    const QStringList &codigos = codigosProduto();
    for (int i = 0; i < codigos.size(); ++i) {
        // The bar, internal and keyboard codes never match an empty code.
        if (i >= 2 && code.isEmpty() && !emptyMatchesAllCodes)
            continue;
        if (porIndice && m_indiceCodigos->indexada(i)) {
            const int row = m_indiceCodigos->linha(i, code);
            if (row >= 0) {
                cdsValidaProd->setRecNo(row + 1);
                return true;
            }
        } else if (cdsValidaProd->Locate(codigos[i], code)) {
            return true;
        }
    }
    return false;
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
        for (const FalhaPreco &f : FalhasPreco) {
            if (falha == QLatin1String(f.code)) {
                mensagem(Msg(f.key), tmAdvertencia);
                return false;
            }
        }
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
