// The screen as built: blocks, entry buttons and their tags, grids, and the message catalogue.
#include "blended.h"
#include "clientdataset.h"
#include "operador.h"
#include "screenfixture.h"
#include "testenv.h"

#include <QHeaderView>
#include <QLabel>
#include <QSet>
#include <QTableView>
#include <QTest>

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }

    // Every operator text comes from the catalogue by key; a wrong letter in a text or a key
    // shows the operator a wrong (or empty) message. The original 51 in stored order, then ours.
    void catalogueHoldsEveryTextInOrder();
    // Keys are case-sensitive: the mixed-case keys answer only as spelled.
    void catalogueKeysAreCaseSensitive();
    // Typing and validation find a field's value through the button whose Tag is the field
    // number: exactly one button may answer each of 1 to 9, and the payment frames carry 10.
    void entryButtonsAreFoundByTag();
    // The touch layout is fixed: an operator's finger lands where the design puts a control.
    void blocksAndControlsSitWhereDesigned();
    // The item grid shows seven columns with their titles and widths, the payment grid two
    // visible ones; the others are hidden or lie beyond the panel.
    void gridsShowTheirColumns();
    // The datasets the closing routine and the grids rely on are declared column for column:
    // a wrong type or size would be handed on or cut silently.
    void dataSetsDeclareTheirColumns();
};

void TestLayout::catalogueHoldsEveryTextInOrder()
{
    const QStringList keys{
        "NRORDEM",        "REG_MAN_VEN",   "ORD_DEV_INF",   "NRSUBSERIE",     "SUBSERIE_INF",
        "NRMESA",         "MES_DEV_INF",   "NRSERIE",       "SERIE_INF",      "DTEMISSAO",
        "DT_DEV_INF",     "Reg_Venda_Man", "QUANT",         "QUANT_DEV_INF",  "COD_RECE",
        "RECE_DEV_INF",   "VAL_RECE",      "VAL_DEV_INF",   "ALIQUOTA",       "BLOQ_NUM_MESA",
        "SAIR",           "NON_PROD_INF",  "DATA_MAIOR",    "TOTAL",          "CONFIRMAR_PROD",
        "QUANT_ZERO",     "MESA_NCAD",     "VALOR_MAIOR",   "DATA_INV",       "SEM_PROD",
        "NON_RECE_INF",   "COD_PROD_INV",  "COD_REC_INV",   "ZERO",           "VAL_DIF",
        "Preco_deve",     "TabePrec",      "VigenciaPar",   "VigenciaLoj",    "VigenciaCli",
        "Preco_Zero",     "Prod_bloqueado", "SEMPROD",      "SEMRECEB",       "DADOS_GRAV",
        "RECEBIMENTO_MAIOR", "CODIGO_INF", "PRECOUN_INF",   "CONFIRMAR_RECE", "ADD_RECE",
        "VR_RECEB_MAIOR"};
    // Our own texts follow the original ones; no key may be given twice (the first would win).
    const QStringList &items = TfrmRegVenMan::catalogo();
    QVERIFY(items.size() > 51);
    QSet<QString> seen;
    for (int i = 0; i < items.size(); ++i) {
        const QString key = items[i].section(u'|', 0, 0);
        if (i < keys.size())
            QCOMPARE(key, keys[i]);
        QVERIFY2(!seen.contains(key), qPrintable(key));
        seen.insert(key);
    }

    const QMap<QString, QString> samples{
        {"NRORDEM", "Nº de Ordem"},
        {"NRSUBSERIE", "Nr. de Sub-Série:"},
        {"TOTAL", "Total : "},
        {"SAIR", "Deseja realmente sair? Todos os dados digitados que não foram gravados serão "
                 "perdidos. Confirma?"},
        {"DTEMISSAO", "Data de Emissão"},
        {"BLOQ_NUM_MESA", "Operação bloqueada. Código da mesa não deve exceder 4 dígitos."},
        {"VALOR_MAIOR", "Tipo de recebimento não permite que seja emitido troco. Assumir valor "
                        "da venda?"},
        {"NON_RECE_INF", "Existem informações do recebimento em branco. Para que o recebimento "
                         "seja adicionado corretamente na lista todas as informações devem "
                         "estar corretas."},
        {"VigenciaCli", "Não há tabela de preço do cliente vigente."},
        {"Prod_bloqueado", "Operação bloqueada. Produto indisponível no momento."},
        {"DADOS_GRAV", "Dados gravados corretamente."},
        {"VR_RECEB_MAIOR", "Valor do recebimento ultrapassa valor da venda."},
    };
    for (auto it = samples.begin(); it != samples.end(); ++it)
        QCOMPARE(TfrmRegVenMan::MsgPadrao(qPrintable(it.key())), it.value());
    for (const QString &k : keys)
        QVERIFY2(!TfrmRegVenMan::MsgPadrao(qPrintable(k)).isEmpty(), qPrintable(k));
    // Every refusal of the sale's rules has its message.
    for (int r = 0; r <= int(Recusa::VendaFora); ++r)
        QVERIFY2(!TfrmRegVenMan::MsgPadrao(chave(Recusa(r))).isEmpty(), chave(Recusa(r)));
}

void TestLayout::catalogueKeysAreCaseSensitive()
{
    const auto msg = &TfrmRegVenMan::MsgPadrao;
    QCOMPARE(msg("Preco_deve"), QString("Preço do produto deve ser cadastrado."));
    QVERIFY(msg("PRECO_DEVE").isEmpty());
    QVERIFY(msg("preco_deve").isEmpty());
    QVERIFY(msg("nrordem").isEmpty());
    QCOMPARE(msg("Reg_Venda_Man"), QString("Reg. Venda Manual"));
}

void TestLayout::entryButtonsAreFoundByTag()
{
    TfrmRegVenMan screen;
    const Operador op(&screen);
    // Which button answers which number, blocksAndControlsSitWhereDesigned tells by place.
    QMap<int, int> perTag;
    for (TBlendedButton *b : screen.findChildren<TBlendedButton *>())
        ++perTag[b->Tag()];
    for (int field = 1; field <= 9; ++field)
        QCOMPARE(perTag.value(field), 1);
    QCOMPARE(perTag.value(10), 2);
    for (int field : {TfrmRegVenMan::CampoTipoRece, TfrmRegVenMan::CampoValorRece})
        QCOMPARE(qobject_cast<TBlendedButton *>(op.contorno(field))->Tag(), 10);
    QCOMPARE(op.botao(Operador::Gravar)->Tag(), 0);
    for (TBlendedButton *b : screen.findChildren<TBlendedButton *>())
        QVERIFY(b->Caption().isEmpty() || b->Tag() == 0);
}

void TestLayout::blocksAndControlsSitWhereDesigned()
{
    TfrmRegVenMan screen;
    const Operador op(&screen);
    QCOMPARE(screen.windowTitle(), QString("Registro Manual de Vendas"));
    QVERIFY(screen.windowFlags() & Qt::FramelessWindowHint);
    QList<QRect> blocks;
    for (const TBlendedShape *s : screen.findChildren<TBlendedShape *>())
        blocks << s->geometry();
    for (const QRect &block : {QRect(3, 35, 794, 126), QRect(2, 166, 794, 257),
                               QRect(3, 428, 794, 170)})
        QVERIFY2(blocks.contains(block), qPrintable(QStringLiteral("%1").arg(block.y())));
    QCOMPARE(op.botao(Operador::Sair)->geometry(), QRect(758, 5, 37, 30));

    const auto field = [&](int tag) { return op.campo(tag)->geometry(); };
    const QRect fields[] = {{135, 57, 205, 25}, {526, 57, 0, 0},    {135, 95, 0, 0},
                            {526, 95, 0, 0},    {133, 129, 206, 25}, {135, 188, 0, 0},
                            {135, 254, 0, 0},   {90, 466, 190, 25},  {90, 506, 190, 25}};
    for (int tag = 1; tag <= 9; ++tag) // an empty rect: only the place is designed
        QCOMPARE(fields[tag - 1].isEmpty() ? QRect(field(tag).topLeft(), QSize(0, 0)) : field(tag),
                 fields[tag - 1]);
    for (const auto &[tag, size] : {std::pair(1, QSize(208, 27)), {7, QSize(208, 27)},
                                    {8, QSize(193, 29)}, {9, QSize(193, 28)}})
        QCOMPARE(op.contorno(tag)->size(), size);
    // Each frame sits one pixel outside its button.
    for (int tag : {1, 6})
        QCOMPARE(op.contorno(tag)->pos(), field(tag).topLeft() - QPoint(1, 1));

    QCOMPARE(op.botao(Operador::AdicionarProduto)->geometry(), QRect(621, 245, 162, 35));
    QCOMPARE(op.botao(Operador::AdicionarProduto)->Caption(), QString("Adicionar &Produto"));
    QCOMPARE(op.tabela(Operador::Itens)->parentWidget()->geometry(), QRect(13, 284, 716, 121));
    QCOMPARE(op.botao(Operador::AdicionarRecebimento)->geometry(), QRect(621, 433, 161, 31));
    QCOMPARE(op.botao(Operador::AdicionarRecebimento)->Caption(),
             QString("Adicionar &Recebimento"));
    QCOMPARE(op.tabela(Operador::Pagamentos)->parentWidget()->geometry(),
             QRect(325, 467, 403, 117));
    QCOMPARE(op.botao(Operador::Gravar)->geometry(), QRect(16, 536, 132, 60));
    QCOMPARE(op.botao(Operador::Gravar)->Caption(), QString("Gravar Venda"));
    QCOMPARE(op.botao(Operador::Gravar)->brushColor(), QColor(0x22, 0xDD, 0x64));
    for (const char *text : {"Data de Emisão", "F1 - Menu Fiscal - Lum00071", "Dados da Venda",
                             "Dados dos Produtos", "Dados do Recebimento"})
        QVERIFY2(op.textos().contains(QString::fromUtf8(text)), text);
}

void TestLayout::gridsShowTheirColumns()
{
    TfrmRegVenMan screen;
    QTableView *const dbgProd = Operador(&screen).tabela(Operador::Itens);
    QTableView *const dbgRece = Operador(&screen).tabela(Operador::Pagamentos);
    // The titles show before the first item or payment, too.
    QCOMPARE(dbgProd->model()->columnCount(), 7);
    QVERIFY(!dbgProd->horizontalHeader()->isHidden());
    QCOMPARE(dbgProd->horizontalHeader()->sectionSize(1), 205);
    screen.show();
    QVERIFY(dbgProd->horizontalHeader()->height() > 10);
    QCOMPARE(dbgProd->horizontalHeader()->height(),
             dbgRece->horizontalHeader()->height());
    for (const char *lista : {"cdsProdutos", "cdsReceb"}) // open, as the first line opens them
        ScreenFixture::dataset(&screen, lista)->CreateDataSet();
    QAbstractItemModel *items = dbgProd->model();
    QVERIFY(items);
    const QStringList titles{"Código",      "Produto", "Quantidade", "Valor Unitário",
                             "Valor Total", "Imposto", "Alíquota"};
    const QList<int> widths{70, 205, 87, 103, 84, 99, 71};
    QCOMPARE(items->columnCount(), titles.size());
    for (int c = 0; c < titles.size(); ++c) {
        QCOMPARE(items->headerData(c, Qt::Horizontal).toString(), titles[c]);
        QCOMPARE(dbgProd->columnWidth(c), widths[c]);
    }
    QVERIFY(dbgProd->verticalHeader()->isHidden());

    QAbstractItemModel *payments = dbgRece->model();
    QVERIFY(payments);
    QCOMPARE(payments->columnCount(), 4);
    QCOMPARE(payments->headerData(0, Qt::Horizontal).toString(), QString("Nome"));
    QCOMPARE(payments->headerData(1, Qt::Horizontal).toString(), QString("Valor"));
    QCOMPARE(dbgRece->columnWidth(0), 252);
    QCOMPARE(dbgRece->columnWidth(1), 153);
    // The code and branch columns lie beyond the panel's width.
    QVERIFY(dbgRece->columnViewportPosition(2) >= 403 - 2
            || dbgRece->columnViewportPosition(2) < 0);
}

void TestLayout::dataSetsDeclareTheirColumns()
{
    TfrmRegVenMan screen;
    // Declarations are what no operator sees: every list read by its name.
    const auto decls = [&](const char *name) {
        return ScreenFixture::dataset(&screen, name)->fieldDecls();
    };
    const QList<FieldDecl> items = decls("cdsProdutos");
    QCOMPARE(items.size(), 69);
    QCOMPARE(items.first().name, QString("NMCONSVEND"));
    QCOMPARE(items.last().name, QString("DTABERCAIX"));
    QCOMPARE(items.last().type, FieldType::DateTime);
    QCOMPARE(items[21].name, QString("TXOBSVENDA"));
    QCOMPARE(items[21].size, 2000);
    QCOMPARE(items[27].name, QString("VRTOTVEND"));
    QVERIFY(items[27].currency && !items[27].visible);
    QCOMPARE(items[1].displayLabel, QString("Nome"));
    QVERIFY(items[1].visible);
    const auto visible = [](const FieldDecl &f) { return f.visible; };
    QCOMPARE(std::count_if(items.begin(), items.end(), visible), 1);

    const std::pair<const char *, int> sizes[] = {
        {"cdsValidaProd", 14},  {"cdsCarregaProduto", 11}, {"cdsRetornaPreco", 8},
        {"cdsAliquota", 3},     {"cdsImposto", 5},         {"cdsReceb", 8},
        {"cdsAmbientes", 4},    {"cdsRecebAux", 35},       {"cdsMovCaixa", 37},
        {"cdsFamiliaSaldo", 2}, {"cdsItPromoComb", 17},    {"cdsEmprestimoFam", 0},
        {"cdsVazio", 0}};
    for (const auto &[name, size] : sizes)
        QVERIFY2(decls(name).size() == size, name);

    const QList<FieldDecl> cancelled = decls("cdsVendaCancelada");
    QCOMPARE(cancelled.size(), 42);
    QCOMPARE(cancelled[30].name, QString("VRPEALIMPFIS"));
    QCOMPARE(cancelled[30].type, FieldType::String); // text here, a number elsewhere
    QCOMPARE(cancelled[30].size, 100);
    QVERIFY(cancelled[21].fixed && cancelled[26].fixed);
    const QList<FieldDecl> movs = decls("cdsMovCaixa");
    QCOMPARE(movs[15].name, QString("DTMOVIMCAIXA"));
    QCOMPARE(movs[15].type, FieldType::Date);
    QCOMPARE(movs[10].displayFormat, QString("#,##0.00"));
    QCOMPARE(movs[11].displayLabel, QString("Recebimento"));
    QStringList shown;
    for (const FieldDecl &f : decls("cdsRecebAux"))
        if (f.visible)
            shown << f.name;
    QCOMPARE(shown, QStringList({"CDTIPORECE", "DSBUTTON"}));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
