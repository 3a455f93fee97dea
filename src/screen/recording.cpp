// Recording the sale: checks, cash movements, the cash-shift record, the closing routine,
// and clearing and closing the screen.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "datasetmodel.h"
#include "exception.h"
#include "globals.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTableView>

namespace {

// "cdsVenda.cds" in the directory DsDirCad names. The directory may come with or without a
// trailing separator; without one the name is still a file inside it, never a sibling.
QString arquivoVenda(const QString &dir)
{
    if (dir.isEmpty())
        return QString();
    const bool trailing = dir.endsWith(u'/') || dir.endsWith(u'\\');
    return dir + (trailing ? QString() : QStringLiteral("/")) + QStringLiteral("cdsVenda.cds");
}

} // namespace

QVariantList TfrmRegVenMan::valoresFechamento(const QDateTime &dtAbertura) const
{
    QVariantList v(33, QVariant(QString(QLatin1String(""))));
    v[0] = stCdCaixa;
    v[1] = dtAbertura;
    v[2] = stCdEmpresa;
    v[5] = stCdFilial;
    v[8] = stCdLoja;
    v[9] = bldNrMesa->Caption();
    v[11] = QStringLiteral("POS");
    v[13] = stIdPaisIntegra;
    v[15] = Lum_NrSerie_CDS;
    v[16] = Lum_IdTipoImpFis;
    v[17] = stDsModeloEcf;
    v[18] = stDsMarcaEcf;
    v[19] = stDsEcfImp;
    v[20] = dtMovimento;
    v[23] = Lum_SgEstadoFili;
    v[32] = QStringLiteral("QEL_MAN");
    return v;
}

void TfrmRegVenMan::bldGravarClick()
{
    try {
        if (!cdsProdutos->Active() || cdsProdutos->IsEmpty()) {
            mensagemErro(Msg("SEMPROD"));
            inCampoAtual = 6;
            MudaCor();
            return;
        }
        if (!cdsReceb->Active() || cdsReceb->IsEmpty()) {
            mensagemErro(Msg("SEMRECEB"));
            inCampoAtual = 8;
            MudaCor();
            return;
        }
        if (RoundDec(doTotal, 2) != RoundDec(totalVenda(), 2)) {
            mensagemErro(Msg("VAL_DIF"));
        } else {
            // A sale is never stored with missing movements: a failed build stops here.
            if (!InsereMovCaixa())
                return;
            QDateTime dtAbertura;
            setAbreCaixa(stCdFilial, stCdCaixa, stOperadorLogin, dtAbertura);
            ovFechamento = QVariant(QVariantList(10));
            const QVariantList valores = valoresFechamento(dtAbertura);
            ClientDataSet *const dataSets[10] = {
                cdsProdutos,    cdsMovCaixa, cdsVendaCancelada, cdsFamiliaSaldo, cdsEmprestimoFam,
                cdsItPromoComb, cdsVazio,    cdsVazio,          cdsVazio,        cdsVazio};
            if (!SetConcluiFechamento)
                throw Exception(QStringLiteral("Rotina de fechamento indisponível."));
            const QVariant resultado =
                SetConcluiFechamento(dataSets, 9, valores.constData(), 32, ovFechamento);
            MensagemMetodo(resultado, true, 10, QStringLiteral("setConcluiFechamento"),
                           QStringLiteral("Cli_Tor00071"),
                           QStringLiteral("cdsProdutos.data-cdsMovCaixa.Data--POS"), stIdEsquema);
            mensagem(Msg("DADOS_GRAV"), tmInformacao);
            const QString venda = arquivoVenda(DsDirCad);
            if (!venda.isEmpty() && QFile::exists(venda))
                QFile::remove(venda);
            limpaTela();
        }
        inCampoAtual = 1;
        MudaCor();
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

void TfrmRegVenMan::limpaTela()
{
    cdsProdutos->First();
    cdsProdutos->EmptyDataSet();
    attachGrid(dbgProd, nullptr);
    attachGrid(dbgProd, dtsProdutos);
    cdsReceb->Close();
    for (TBlendedButton *b : {bldNrOrdem, bldNrSubSerie, bldNrMesa, bldNrSerie, bldDtEmissao,
                              bldCodRece, bldValorRece})
        b->setCaption(QString());
    lblTotal->setText(QString());
    lblTot->hide();
    doTotal = 0;
    doValorRece = 0;
    closeConfirmed();
}
