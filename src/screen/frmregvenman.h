#pragma once

#include "datapacket.h"
#include "venda/cabecalho.h"
#include "venda/contexto.h"
#include "venda/dinheiro.h"
#include "venda/itens.h"
#include "venda/pagamentos.h"
#include "venda/recusa.h"
#include "venda/talao.h"
#include "qelservices.h"

#include <QColor>
#include <QDateTime>
#include <QDialog>
#include <QFuture>
#include <QFutureWatcher>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

class ClientDataSet;
class Exception;
class IndiceCodigos;
class DataSetModel;
class QLabel;
class QTableView;
class QWidget;
class TBlendedBitBtn;
class TBlendedButton;
class TBlendedShape;
enum class RecusaDoBanco;

// The manual sale-entry screen: an 800 by 600 frameless modal dialog for a touch terminal.
// Each area of the flow lives in its own source file (layout, initialisation, input, header,
// products, items, payments, recording, cash movements).
class TfrmRegVenMan : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmRegVenMan(QWidget *owner = nullptr);
    ~TfrmRegVenMan() override;

    // The entry fields in the order Enter moves through them; the number is the Tag of the
    // field's entry button and names its frame (borda1, Borda2 ... Borda9).
    enum Campo {
        CampoOrdem = 1,
        CampoSerie,
        CampoSubSerie,
        CampoData,
        CampoMesa,
        CampoCodigo,
        CampoQuant,
        CampoTipoRece,
        CampoValorRece,
    };
    Q_ENUM(Campo)

    // Connects the server module, reads the terminal's context and the product cache (on
    // another thread) and asks the store for its open tables; throws when the screen cannot
    // serve a sale.
    void InicializaForm();
    // The product cache in the lookup datasets, waiting for it when it is still being read;
    // a damaged file is told.
    void produtosProntos();
    static inline std::function<void()> aoLerProdutos; // tests: runs before the file is read
    // A text of the screen's message catalogue, with no screen at hand; the whole catalogue,
    // "KEY|text" in its stored order.
    static QString MsgPadrao(const char *key);
    static const QStringList &catalogo();
    // The screen at 800 by 600, overhanging a smaller display equally on both edges.
    void ajustaTamanho(const QSize &display);
    // The screen keys the next slip of a pad: it opens with the header `talao` holds, checked
    // as keyed, and the focus on the product code; a recorded slip is registered in `talao`,
    // and leaving shows the pad's report. `talao` outlives the screen.
    void abreTalao(Talao &talao) { m_talao = &talao; }

public slots:
    void reject() override; // Qt's own Escape/close path: routed to the exit confirmation

protected:
    void paintEvent(QPaintEvent *) override;
    void showEvent(QShowEvent *) override;
    void hideEvent(QHideEvent *) override;
    void closeEvent(QCloseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // --- blocks and labels
    TBlendedShape *bdsTitulo = nullptr;
    TBlendedShape *bdsDadosVnd = nullptr;
    TBlendedShape *bdsProdVnd = nullptr;
    TBlendedShape *bdsDadosReceb = nullptr;
    QLabel *lblMenu = nullptr;
    QLabel *lblDadosVnd = nullptr;
    QLabel *lblProdVnd = nullptr;
    QLabel *lblDadosReceb = nullptr;
    QLabel *lblCodTela = nullptr;

    // --- entry fields (Tag = Campo), their frames and labels
    TBlendedButton *bldNrOrdem = nullptr;
    TBlendedButton *bldNrSerie = nullptr;
    TBlendedButton *bldNrSubSerie = nullptr;
    TBlendedButton *bldDtEmissao = nullptr;
    TBlendedButton *bldNrMesa = nullptr;
    TBlendedButton *bldCodigo = nullptr;
    TBlendedButton *bldQuant = nullptr;
    TBlendedButton *bldCodRece = nullptr;
    TBlendedButton *bldValorRece = nullptr;
    TBlendedShape *borda1 = nullptr;
    TBlendedShape *Borda2 = nullptr;
    TBlendedShape *Borda3 = nullptr;
    TBlendedShape *Borda4 = nullptr;
    TBlendedShape *Borda5 = nullptr;
    TBlendedShape *Borda6 = nullptr;
    TBlendedShape *Borda7 = nullptr;
    TBlendedButton *Borda8 = nullptr; // Tag 10: a touch on the rim opens the payment type
    TBlendedButton *Borda9 = nullptr; // Tag 10
    TBlendedShape *Borda = nullptr;   // frame of the unit price, never highlighted
    QLabel *lblNrOrdem = nullptr;
    QLabel *lblNrSerie = nullptr;
    QLabel *lblNrSubSerie = nullptr;
    QLabel *lblDtEmissao = nullptr;
    QLabel *lblNrMesa = nullptr;
    QLabel *lblCodigo = nullptr;
    QLabel *lblQuant = nullptr;
    QLabel *lblCodRece = nullptr;
    QLabel *lblValorRece = nullptr;
    QLabel *lblF9_1 = nullptr;
    QLabel *lblF9_2 = nullptr;
    QLabel *lblF9_3 = nullptr;
    QLabel *lblF9_4 = nullptr;
    QLabel *lblF9_5 = nullptr;
    QLabel *lblF9_6 = nullptr;
    QLabel *lblF9_7 = nullptr;
    QLabel *lblF9_8 = nullptr;
    QLabel *lblF9_9 = nullptr;

    // --- products block
    QLabel *lblPrecoUn = nullptr;
    TBlendedButton *bldPrecoUn = nullptr;
    QLabel *lblProd = nullptr;
    QLabel *lblImpAliq = nullptr;
    TBlendedButton *bldAddProd = nullptr;
    QWidget *panProd = nullptr;
    QTableView *dbgProd = nullptr;
    TBlendedBitBtn *bldAcima = nullptr;
    TBlendedBitBtn *bldCancel = nullptr;
    TBlendedBitBtn *bldAbaixo = nullptr;
    QLabel *lblTot = nullptr;
    QLabel *lblTotal = nullptr;

    // --- payments block
    TBlendedButton *bldAddRece = nullptr;
    QWidget *panRece = nullptr;
    QTableView *dbgRece = nullptr;
    TBlendedBitBtn *bldRolarCima = nullptr;
    TBlendedBitBtn *bldCancelaRece = nullptr;
    TBlendedBitBtn *bldRolarBaixo = nullptr;
    TBlendedBitBtn *bldGravar = nullptr;
    TBlendedBitBtn *spdSair = nullptr;

    // --- working datasets, data sources and the message catalogue
    ClientDataSet *cdsProdutos = nullptr;
    ClientDataSet *cdsValidaProd = nullptr;
    ClientDataSet *cdsRetornaPreco = nullptr;
    ClientDataSet *cdsAliquota = nullptr;
    ClientDataSet *cdsImposto = nullptr;
    ClientDataSet *cdsReceb = nullptr;
    ClientDataSet *cdsAmbientes = nullptr;
    ClientDataSet *cdsRecebAux = nullptr;
    ClientDataSet *cdsMovCaixa = nullptr;
    ClientDataSet *cdsVendaCancelada = nullptr;
    ClientDataSet *cdsFamiliaSaldo = nullptr;
    ClientDataSet *cdsEmprestimoFam = nullptr;
    ClientDataSet *cdsItPromoComb = nullptr;
    ClientDataSet *cdsParametrosQel = nullptr;
    ClientDataSet *cdsControleAcess = nullptr;
    ClientDataSet *cdsCarregaProduto = nullptr;
    ClientDataSet *cdsVazio = nullptr;
    ClientDataSet *cdsDataMovimento = nullptr;
    ClientDataSet *cdsConfTipoRece = nullptr;
    DataSetModel *dtsProdutos = nullptr;
    DataSetModel *dtsReceb = nullptr;
    TMessages msgPadrao;

    int inCampoAtual = 0; // the Campo in focus
    Contexto contexto;    // the operating context, filled by the initialisation
    QVariant ovFechamento;

    // The entry button of a field: the flat button whose Tag is the field number.
    TBlendedButton *entryButton(int field) const;

    void FormCreate();


    // The product cache, read on another thread.
    void leProdutos(const QString &path);

    // Input spine: keys, typing, focus and highlighting.
    void FormShow();
    void FormKeyDown(int &key, Qt::KeyboardModifiers shift); // Windows virtual-key codes
    void FormKeyPress(QChar &key);
    void postaTexto(int field, const QString &text, bool erase);
    void MudaCor();                                // the field in focus framed black
    void MudaCor(int field, const QColor &colour); // one field's frame
    void VoltaCor();
    static inline const QColor Vermelho{255, 0, 0}; // the frame of a refused field
    void spdSairClick();
    void bldAcimaClick();
    void bldAbaixoClick();
    void bldRolarCimaClick();
    void bldRolarBaixoClick();

    // Sale header.
    void bldNrOrdemClick();
    void bldNrSerieClick();
    void bldNrSubSerieClick();
    void bldDtEmissaoClick();
    void bldNrMesaClick();
    void vd_DataVenda(const QString &text);
    static QDateTime hoje(); // today as the screen compares dates: the current date at midnight
    void vd_mesa(const QString &code);

    // The header as the screen shows it, each field checked as Enter checks it: what the item
    // rows and the recorded sale carry. Null after the refused field was shown to the operator.
    std::optional<Cabecalho> cabecalhoAtual();
    // Whether the document on screen (order, series and sub-series, all filled) is a sale the
    // store already holds: then the operator is told when, on which register, by whom and for
    // how much, the focus goes back to the order and the three fields turn red. A store that
    // cannot answer says nothing here; the closing routine still refuses a second sale.
    bool documentoJaGravado();
    // The table a code names (padded) and its room, both empty for no table; the refusal
    // when the code names no open table.
    std::optional<Recusa> procuraMesa(const QString &code, QString &mesa, QString &sala);

    // Products and items.
    bool vd_produto(const QString &code);
    bool ValidaProduto();
    void bldCodigoClick();
    void bldQuantClick();
    void bldAddProdClick();
    void bldCancelClick();
    void adicionaItem(const Cabecalho &cabecalho, double quantidade);
    bool localizaProduto(const QString &code, bool emptyMatchesAllCodes);
    void limpaProduto();
    Dinheiro::Centavos totalVenda() const;    // the sum of the item lines, as the label shows
    Dinheiro::Centavos totalRecebido() const; // the sum of the payment lines

    // Payments.
    void bldCodReceClick();
    void vd_tiporece(const QString &code);
    bool ValidaRecebimento();
    void bldValorReceClick();
    void vd_valrece(const QString &text);
    void bldAddReceClick();
    void bldCancelaReceClick();
    bool totalParaRecebimento(Dinheiro::Centavos &total, Recusa quitada);
    double valorDigitado() const;
    void aceitaValor(double valor, Dinheiro::Centavos total);
    bool adicionaLinha();

    // Recording and cash movements.
    void bldGravarClick();
    bool InsereMovCaixa(const QDateTime &dataMovimento); // false when it failed (and said so)
    // The closing routine's call for the sale under `cabecalho`, and its result.
    QVariant chamaFechamento(const Cabecalho &cabecalho, const QDateTime &dtAbertura);
    void removeArquivoVenda();
    void limpaTela();

    // Message forms of the screen, all with stIdEsquema as the scheme.
    void mensagemErro(const QString &text);           // kind 3
    void mensagem(const QString &text, TTipoMsg kind); // ask "N"
    bool pergunta(const QString &text);               // yes/no question, kind 0
    QString Msg(const char *key) const;               // catalogue text
    QString Msg(Recusa recusa) const { return Msg(chave(recusa)); }
    // A refusal of the store in the operator's words, the database's own as the detail; empty
    // when the database's code tells no cause the operator can act on.
    QString recusaDaLoja(RecusaDoBanco recusa, const QString &detalhe) const;
    // Why the store did not open at launch, in the operator's words where the cause is known.
    QString falhaAoAbrir(const Exception &falha) const;
    // The packet a server query function returned; anything else is an error to show.
    DataPacket pacoteDoServidor(const QVariant &resultado, const char *funcao) const;
    // A field the operator must correct: the message, the focus on it and its frame red.
    void recusaCampo(int field, const QString &text);

    // Runs an event handler with the last net: no error may reach Qt's event loop.
    void runHandler(const std::function<void()> &handler);

    // The sale's lists, read through the working datasets that hold them.
    Itens itens() const { return Itens(*cdsProdutos); }
    Pagamentos pagamentos() const { return Pagamentos(*cdsReceb); }

    void buildLayout();
    void buildCatalogue();
    void buildDataSets();
    void wireHandlers();
    void bindGrids();
    void attachGrid(QTableView *grid, DataSetModel *source);
    void closeConfirmed(); // ends the modal display
    void setFieldText(TBlendedButton *button, const QString &text);
    bool dispatchKey(QWidget *receiver, QKeyEvent *event);

    struct LeituraProdutos
    {
        QString arquivo;
        DataPacket pacote;
        std::shared_ptr<const IndiceCodigos> indice; // of pacote's Produtos::codigos()
        QString erro;
    };
    QFuture<LeituraProdutos> m_produtos;
    QFutureWatcher<LeituraProdutos> m_produtosLidos;
    bool m_produtosPendentes = false; // read or being read, not yet in the lookup datasets
    std::shared_ptr<const IndiceCodigos> m_indiceCodigos; // of the product list as read
    bool m_temImposto = false; // the last lookup found the product's tax row
    bool m_quantPadrao = false; // the quantity shows the lookup's default, not a typed value
    // Pad of slips.
    Talao *m_talao = nullptr;
    void preencheTalao(); // the next slip's header, each field checked as keyed
    void mostraTalao();   // the pad's report: every number, recorded or missing

    bool m_closeConfirmed = false;
    bool m_redispatching = false;
    qint64 m_altF4At = -1;
};
