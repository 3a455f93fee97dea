// Bringing the screen to life: server module and connection, flags and captions, size and
// placement, the operating context from the cache files, the lookup datasets and the tables.
#include "frmregvenman.h"

#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "venda/indicecodigos.h"
#include "venda/produtos.h"
#include "server/rdmregvendamanual.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QString caminhoDoCache(const QString &relative)
{
    return QCoreApplication::applicationDirPath() + relative;
}

// Loads a cache file into a dataset when it exists; a missing file is skipped silently.
bool carregaSeExiste(ClientDataSet *ds, const QString &relative)
{
    const QString path = caminhoDoCache(relative);
    if (!QFileInfo::exists(path))
        return false;
    ds->LoadFromFile(path);
    return true;
}

// Reads one context file. A missing column or a value that is not what the screen reads it
// as fails the launch like a damaged file does, with the file's name in the message: the
// operator (or the support) must know which file to export again.
template <typename Read>
void lerArquivo(const QString &relative, Read &&read)
{
    try {
        read(relative);
    } catch (const std::exception &e) {
        const QString message = exceptionMessage(e);
        const QString path = caminhoDoCache(relative);
        if (message.contains(path))
            throw;
        throw Exception(QStringLiteral("%1: %2").arg(path, message));
    }
}

// The exported variables the parameters file fills, for the host and the recording.
void publicaParametros(const Contexto &c)
{
    stIdPaisIntegra = c.idPaisIntegra;
    Lum_NrSerie_CDS = c.nrSerieEcf;
    Lum_IdTipoImpFis = c.idTipoImpFis;
    Lum_SgEstadoFili = c.sgEstadoFili;
    DsDirCad = c.dsDirCad;
    stDsObsCupFis = c.dsObsCupFis;
    stIdImpBarrCup = c.idImpBarrCup;
}

} // namespace

void TfrmRegVenMan::InicializaForm()
{
    // The server module, created once per process, and its connection.
    if (!rdmRegVendaManual)
        rdmRegVendaManual = new TrdmRegVendaManual(nullptr);
    try {
        rdmRegVendaManual->adcRegVendaManual.setConnected(true);
    } catch (const Exception &e) {
        throw Exception(falhaAoAbrir(e), e.sqlError());
    }
    // The header's recorded-slip question has a connection of its own: made while the screen
    // opens, so the first Enter waits for the store's answer only.
    preparaVendaGravada();

    // The payments' running sum and flags start with the empty lists of a new screen. The
    // other exported variables keep what the host or an earlier launch left in them.
    boRecebimento = false;
    boAddProd = false;
    doTotal = 0;
    lblProd->setText(QString());
    lblImpAliq->setText(QString());
    lblTotal->setText(QString());
    lblTot->hide();
    lblTot->setText(Msg("TOTAL") + Sys::CurrencyString());
    lblTot->adjustSize();

    // Size and placement.
    if (const QScreen *display = QGuiApplication::primaryScreen())
        ajustaTamanho(display->geometry().size());
    else
        ajustaTamanho(QSize(800, 600));

    // The operating context. Errors here leave the initialisation (the launch fails).
    lerArquivo(QStringLiteral("/PARAMETROSQEL.CDS"), [this](const QString &relative) {
        if (carregaSeExiste(cdsParametrosQel, relative)) {
            contexto.lerParametros(*cdsParametrosQel);
            publicaParametros(contexto);
        }
    });
    lerArquivo(QStringLiteral("/Dados/Cadastros/ControleAcess.cds"), [this](const QString &rel) {
        if (carregaSeExiste(cdsControleAcess, rel)) {
            contexto.lerOperador(*cdsControleAcess);
            stOperadorLogin = contexto.cdOperador;
            stNmOperador = contexto.nmOperador;
        }
    });
    lerArquivo(QStringLiteral("/Dados/Cadastros/DataMovimento.cds"), [this](const QString &rel) {
        if (carregaSeExiste(cdsDataMovimento, rel))
            contexto.lerMovimento(*cdsDataMovimento);
    });
    carregaSeExiste(cdsConfTipoRece, QStringLiteral("/Dados/Cadastros/ConfTipoRece.cds"));

    // The product cache is by far the largest file the screen reads: it is parsed (and its
    // codes indexed) on another thread while the screen shows and the operator keys the
    // header; a lookup asked for before it is ready waits for it (produtosProntos). Nothing
    // else the launch does grows with the store: the lookup asks the store for the one
    // product's tax.
    leProdutos(caminhoDoCache(QStringLiteral("/Dados/Cadastros/Produtos.cds")));

    // Lookup datasets and the store's tables; an error here is reported and the screen
    // still opens with whatever was prepared.
    try {
        cdsAliquota->Close();
        cdsAliquota->CreateDataSet();
        carregaSeExiste(cdsAliquota, QStringLiteral("/Dados/Cadastros/AliqImpFis.cds"));
        cdsImposto->CreateDataSet();
        cdsRecebAux->CreateDataSet();
        carregaSeExiste(cdsRecebAux, QStringLiteral("/Dados/Cadastros/ConfTipoRece.cds"));
        QVariant mesas = getStatusMesa(contexto.stCdFilial, contexto.stCdLoja);
        const QString recusa = recusaDaLoja(recusaDaUltimaChamada(), mesas.toString());
        if (!recusa.isEmpty())
            mesas = recusa;
        mesas = MensagemMetodo(mesas, true, 0, QStringLiteral("getStatusMesa"),
                               QStringLiteral("Cli_Lum00071"),
                               contexto.stCdFilial + QLatin1Char('-') + contexto.stCdLoja,
                               contexto.stIdEsquema);
        cdsAmbientes->setData(pacoteDoServidor(mesas, "getStatusMesa"));
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}

void TfrmRegVenMan::leProdutos(const QString &path)
{
    m_produtosPendentes = false;
    m_indiceCodigos.reset();
    cdsCarregaProduto->Close();
    cdsCarregaProduto->CreateDataSet();
    cdsValidaProd->Close();
    cdsValidaProd->CreateDataSet();
    if (!QFileInfo::exists(path))
        return;
    m_produtosPendentes = true;
    m_produtos = QtConcurrent::run([path] {
        LeituraProdutos lidos{path, {}, {}, {}};
        try {
            if (aoLerProdutos)
                aoLerProdutos();
            lidos.pacote = DataPacket::loadFromFile(path);
            lidos.indice = std::make_shared<IndiceCodigos>(lidos.pacote, Produtos::codigos());
        } catch (const std::exception &e) {
            lidos.erro = exceptionMessage(e);
        }
        return lidos;
    });
    m_produtosLidos.setFuture(m_produtos);
}

void TfrmRegVenMan::produtosProntos()
{
    if (!m_produtosPendentes)
        return;
    // Taken at once: the message below runs a loop of its own, in which the end of the
    // reading may be signalled again.
    m_produtosPendentes = false;
    if (!m_produtos.isFinished()) {
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        m_produtos.waitForFinished();
        QApplication::restoreOverrideCursor();
    }
    const LeituraProdutos lidos = m_produtos.result();
    try {
        if (!lidos.erro.isEmpty())
            throw Exception(lidos.erro);
        cdsCarregaProduto->LoadFromFile(lidos.arquivo, lidos.pacote);
        cdsValidaProd->setData(cdsCarregaProduto->Data());
        m_indiceCodigos = lidos.indice;
    } catch (const std::exception &e) {
        // As when the file was read before the screen showed: reported, and the lists
        // prepared after the products left closed, so nothing is sold from a half-read store.
        for (ClientDataSet *ds : {cdsAliquota, cdsImposto, cdsRecebAux, cdsAmbientes})
            ds->Close();
        mensagemErro(exceptionMessage(e));
    }
}

// Outer size 800 by 600. On a display narrower or lower than that the offsets are signed
// divisions truncating toward zero, negative on a smaller display, so the screen overhangs
// both edges equally; on a larger display the screen is centred when shown.
void TfrmRegVenMan::ajustaTamanho(const QSize &display)
{
    resize(800, 600);
    if (display.width() < 800)
        move((display.width() - width()) / 2, y());
    if (display.height() < 600)
        move(x(), (display.height() - height()) / 2);
}
