// Recording the sale: checks, cash movements, the cash-shift record, the closing routine,
// and clearing and closing the screen.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "exception.h"
#include "globals.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"
#include "venda/gravacao.h"
#include "venda/itens.h"
#include "venda/pagamentos.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

// The closing routine's call, its arguments built in this one place: the sale's ten datasets
// in their order (the items stamped with the header), the 33 values of the context and the
// header, and the variant array.
QVariant TfrmRegVenMan::chamaFechamento(const Cabecalho &cabecalho, const QDateTime &dtAbertura)
{
    if (!SetConcluiFechamento)
        throw Exception(Msg("FECHAMENTO_INDISP"));
    ovFechamento = QVariant(QVariantList(10));
    const QVariantList valores = Gravacao::paraFechamento(
        itens(), cabecalho, contexto,
        {stIdPaisIntegra, Lum_NrSerie_CDS, Lum_IdTipoImpFis, Lum_SgEstadoFili}, dtAbertura);
    ClientDataSet *const dataSets[10] = {
        cdsProdutos,    cdsMovCaixa, cdsVendaCancelada, cdsFamiliaSaldo, cdsEmprestimoFam,
        cdsItPromoComb, cdsVazio,    cdsVazio,          cdsVazio,        cdsVazio};
    return SetConcluiFechamento(dataSets, 9, valores.constData(), 32, ovFechamento);
}

void TfrmRegVenMan::bldGravarClick()
{
    try {
        // The field where the operator mends each refusal.
        if (const std::optional<Recusa> recusa = Gravacao::confere(itens(), pagamentos())) {
            mensagemErro(Msg(*recusa));
            inCampoAtual = recusa == Recusa::SemItens        ? CampoCodigo
                           : recusa == Recusa::SemPagamentos ? CampoTipoRece
                                                             : CampoOrdem;
            MudaCor();
            return;
        }
        const std::optional<Cabecalho> cabecalho = cabecalhoAtual();
        if (!cabecalho)
            return;
        if (const std::optional<Recusa> falta =
                Gravacao::confereIdentificacao(contexto, stOperadorLogin)) {
            mensagemErro(Msg("SEM_CONTEXTO").arg(Msg(*falta)));
            return;
        }
        // A sale is never stored with missing movements: a failed build stops here.
        if (!InsereMovCaixa(cabecalho->emissao))
            return;
        // Without its cash-shift record the sale would point at a shift that does not exist:
        // a failure text stops the recording (the instant comes back in any case).
        QDateTime dtAbertura;
        const QString turno =
            setAbreCaixa(contexto.stCdFilial, contexto.stCdCaixa, stOperadorLogin, dtAbertura)
                .toString();
        if (!turno.isEmpty()) {
            const QString recusa = recusaDaLoja(recusaDaUltimaChamada(), turno);
            mensagemErro(recusa.isEmpty() ? Msg("TURNO_NAO_GRAV").arg(turno.simplified())
                                          : Msg("VENDA_NAO_GRAV").arg(recusa));
            return;
        }
        MensagemMetodo(chamaFechamento(*cabecalho, dtAbertura), true, 10,
                       QStringLiteral("setConcluiFechamento"), QStringLiteral("Cli_Tor00071"),
                       QStringLiteral("cdsProdutos.data-cdsMovCaixa.Data--POS"),
                       contexto.stIdEsquema);
        mensagem(Msg("DADOS_GRAV"), tmInformacao);
        if (m_talao)
            m_talao->registra(*cabecalho);
        removeArquivoVenda();
        limpaTela();
        inCampoAtual = CampoOrdem;
        MudaCor();
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

// "cdsVenda.cds" in the folder DsDirCad names; the directory may come with or without a
// trailing separator. The sale is recorded by now: a folder that is refused is only told.
void TfrmRegVenMan::removeArquivoVenda()
{
    if (DsDirCad.isEmpty())
        return;
    QString pasta;
    const QString instalacao =
        QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    if (const std::optional<Recusa> recusa = Gravacao::pastaDaVenda(DsDirCad, instalacao, pasta)) {
        mensagem(Msg(*recusa).arg(QDir::toNativeSeparators(pasta)), tmAdvertencia);
        return;
    }
    const QString venda = pasta + QStringLiteral("/cdsVenda.cds");
    if (QFileInfo(venda).isFile() || QFileInfo(venda).isSymLink())
        QFile::remove(venda);
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
