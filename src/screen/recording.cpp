// Recording the sale: checks, cash movements, the cash-shift record, the closing routine,
// and clearing and closing the screen.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "exception.h"
#include "globals.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

namespace {

// The folder DsDirCad names, taken against the terminal's install (the executable's folder)
// when relative. Only a folder that exists inside the install may lose a file: the value comes
// from a file anybody can copy or edit, and the removal must never reach another folder.
// Returns the refusal, or nothing with the folder in `pasta`.
std::optional<Recusa> pastaDaVenda(const QString &dir, QString &pasta)
{
    const QString instalacao = QFileInfo(QCoreApplication::applicationDirPath())
                                   .canonicalFilePath();
    const QFileInfo info(QDir(instalacao).absoluteFilePath(QDir::fromNativeSeparators(dir)));
    pasta = info.absoluteFilePath();
    if (!info.isDir())
        return Recusa::VendaSemPasta;
    pasta = info.canonicalFilePath();
    if (pasta != instalacao && !pasta.startsWith(instalacao + QLatin1Char('/')))
        return Recusa::VendaFora;
    return std::nullopt;
}

} // namespace

QVariantList TfrmRegVenMan::valoresFechamento(const QDateTime &dtAbertura) const
{
    QVariantList v(33, QVariant(QString(QLatin1String(""))));
    v[0] = contexto.stCdCaixa;
    v[1] = dtAbertura;
    v[2] = contexto.stCdEmpresa;
    v[5] = contexto.stCdFilial;
    v[8] = contexto.stCdLoja;
    v[9] = bldNrMesa->Caption();
    v[11] = QStringLiteral("POS");
    v[13] = stIdPaisIntegra;
    v[15] = Lum_NrSerie_CDS;
    v[16] = Lum_IdTipoImpFis;
    v[17] = contexto.stDsModeloEcf;
    v[18] = contexto.stDsMarcaEcf;
    v[19] = contexto.stDsEcfImp;
    v[20] = contexto.dtMovimento;
    v[23] = Lum_SgEstadoFili;
    v[32] = QStringLiteral("QEL_MAN");
    return v;
}

// The closing routine's call, its arguments built in this one place: the sale's ten datasets
// in their order, the 33 values of the context and the header, and the variant array.
QVariant TfrmRegVenMan::chamaFechamento(const QDateTime &dtAbertura)
{
    if (!SetConcluiFechamento)
        throw Exception(Msg("FECHAMENTO_INDISP"));
    ovFechamento = QVariant(QVariantList(10));
    const QVariantList valores = valoresFechamento(dtAbertura);
    ClientDataSet *const dataSets[10] = {
        cdsProdutos,    cdsMovCaixa, cdsVendaCancelada, cdsFamiliaSaldo, cdsEmprestimoFam,
        cdsItPromoComb, cdsVazio,    cdsVazio,          cdsVazio,        cdsVazio};
    return SetConcluiFechamento(dataSets, 9, valores.constData(), 32, ovFechamento);
}

// Every row of the sale carries the header as it stands at recording: the rows were built
// one by one, each with the header of its own moment.
void TfrmRegVenMan::aplicaCabecalho(const Cabecalho &cabecalho)
{
    const auto set = [this](const char *column) {
        return cdsProdutos->FieldByName(QString::fromLatin1(column));
    };
    for (int recNo = 1; recNo <= cdsProdutos->RecordCount(); ++recNo) {
        cdsProdutos->setRecNo(recNo);
        // The time of day each item was keyed stays; its day is the sale's.
        const QDateTime entrada(cabecalho.emissao.date(),
                                set("DTENTRVENDA").AsDateTime().time());
        cdsProdutos->Edit();
        set("NRORDEMVND").setAsString(cabecalho.ordem);
        set("NRSERIEVND").setAsString(cabecalho.serie);
        set("NRSUBSERIEVND").setAsString(cabecalho.subSerie);
        set("DTVENDA").setAsDateTime(cabecalho.emissao);
        set("DTENTRVENDA").setAsDateTime(entrada);
        set("DTFECHAVENDA").setAsDateTime(entrada.addSecs(1));
        set("NRMESA").setAsString(cabecalho.mesa);
        set("CDSALA").setAsString(cabecalho.sala);
        cdsProdutos->Post();
    }
}

// A sale is stored under its branch, terminal and operator; without any of them nobody could
// later say where or by whom it was keyed.
bool TfrmRegVenMan::contextoCompleto()
{
    const std::pair<const QString &, const char *> identificacao[] = {
        {contexto.stCdFilial, "CTX_FILIAL"},
        {contexto.stCdCaixa, "CTX_CAIXA"},
        {stOperadorLogin, "CTX_OPERADOR"}};
    for (const auto &[valor, nome] : identificacao) {
        if (EmptyString(valor)) {
            mensagemErro(Msg("SEM_CONTEXTO").arg(Msg(nome)));
            return false;
        }
    }
    return true;
}

void TfrmRegVenMan::bldGravarClick()
{
    try {
        if (!cdsProdutos->Active() || cdsProdutos->IsEmpty()) {
            mensagemErro(Msg("SEMPROD"));
            inCampoAtual = CampoCodigo;
            MudaCor();
            return;
        }
        if (!cdsReceb->Active() || cdsReceb->IsEmpty()) {
            mensagemErro(Msg("SEMRECEB"));
            inCampoAtual = CampoTipoRece;
            MudaCor();
            return;
        }
        // The lines themselves, in cents: what is compared is what will be stored.
        if (totalRecebido() != totalVenda()) {
            mensagemErro(Msg("VAL_DIF"));
            inCampoAtual = CampoOrdem;
            MudaCor();
            return;
        }
        const std::optional<Cabecalho> cabecalho = cabecalhoAtual();
        if (!cabecalho || !contextoCompleto())
            return;
        aplicaCabecalho(*cabecalho);
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
        MensagemMetodo(chamaFechamento(dtAbertura), true, 10,
                       QStringLiteral("setConcluiFechamento"), QStringLiteral("Cli_Tor00071"),
                       QStringLiteral("cdsProdutos.data-cdsMovCaixa.Data--POS"),
                       contexto.stIdEsquema);
        mensagem(Msg("DADOS_GRAV"), tmInformacao);
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
    if (const std::optional<Recusa> recusa = pastaDaVenda(DsDirCad, pasta)) {
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
