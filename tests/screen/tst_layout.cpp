// The screen as built: blocks, entry buttons and their tags, grids, and the message catalogue.
#include "blended.h"
#include "clientdataset.h"
#include "screen/frmregvenman.h"
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
    TfrmRegVenMan screen;
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
    QVERIFY(screen.msgPadrao.Items.size() > 51);
    QSet<QString> seen;
    for (int i = 0; i < screen.msgPadrao.Items.size(); ++i) {
        const QString key = screen.msgPadrao.Items[i].section(u'|', 0, 0);
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
        QCOMPARE(screen.msgPadrao.Msg(it.key()), it.value());
    for (const QString &k : keys)
        QVERIFY2(!screen.msgPadrao.Msg(k).isEmpty(), qPrintable(k));
    // Every refusal of the sale's rules has its message.
    for (int r = 0; r <= int(Recusa::VendaFora); ++r)
        QVERIFY2(!screen.Msg(Recusa(r)).isEmpty(), chave(Recusa(r)));
}

void TestLayout::catalogueKeysAreCaseSensitive()
{
    TfrmRegVenMan screen;
    QCOMPARE(screen.msgPadrao.Msg("Preco_deve"), QString("Preço do produto deve ser cadastrado."));
    QVERIFY(screen.msgPadrao.Msg("PRECO_DEVE").isEmpty());
    QVERIFY(screen.msgPadrao.Msg("preco_deve").isEmpty());
    QVERIFY(screen.msgPadrao.Msg("nrordem").isEmpty());
    QCOMPARE(screen.msgPadrao.Msg("Reg_Venda_Man"), QString("Reg. Venda Manual"));
}

void TestLayout::entryButtonsAreFoundByTag()
{
    TfrmRegVenMan screen;
    const QList<TBlendedButton *> expected{screen.bldNrOrdem, screen.bldNrSerie,
                                           screen.bldNrSubSerie, screen.bldDtEmissao,
                                           screen.bldNrMesa,  screen.bldCodigo,
                                           screen.bldQuant,   screen.bldCodRece,
                                           screen.bldValorRece};
    for (int field = 1; field <= 9; ++field)
        QCOMPARE(screen.entryButton(field), expected[field - 1]);

    QMap<int, int> perTag;
    for (TBlendedButton *b : screen.findChildren<TBlendedButton *>())
        ++perTag[b->Tag()];
    for (int field = 1; field <= 9; ++field)
        QCOMPARE(perTag.value(field), 1);
    QCOMPARE(perTag.value(10), 2);
    QCOMPARE(screen.Borda8->Tag(), 10);
    QCOMPARE(screen.Borda9->Tag(), 10);
    QCOMPARE(screen.bldPrecoUn->Tag(), 0);
    QCOMPARE(screen.bldGravar->Tag(), 0);
    for (TBlendedButton *b : screen.findChildren<TBlendedButton *>())
        QVERIFY(b->Caption().isEmpty() || b->Tag() == 0);
}

void TestLayout::blocksAndControlsSitWhereDesigned()
{
    TfrmRegVenMan screen;
    QCOMPARE(screen.windowTitle(), QString("Registro Manual de Vendas"));
    QVERIFY(screen.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(screen.bdsDadosVnd->geometry(), QRect(3, 35, 794, 126));
    QCOMPARE(screen.bdsProdVnd->geometry(), QRect(2, 166, 794, 257));
    QCOMPARE(screen.bdsDadosReceb->geometry(), QRect(3, 428, 794, 170));
    QCOMPARE(screen.spdSair->geometry(), QRect(758, 5, 37, 30));

    QCOMPARE(screen.bldNrOrdem->geometry(), QRect(135, 57, 205, 25));
    QCOMPARE(screen.bldNrSerie->pos(), QPoint(526, 57));
    QCOMPARE(screen.bldNrSubSerie->pos(), QPoint(135, 95));
    QCOMPARE(screen.bldDtEmissao->pos(), QPoint(526, 95));
    QCOMPARE(screen.bldNrMesa->geometry(), QRect(133, 129, 206, 25));
    QCOMPARE(screen.bldCodigo->pos(), QPoint(135, 188));
    QCOMPARE(screen.bldQuant->pos(), QPoint(135, 254));
    QCOMPARE(screen.bldCodRece->geometry(), QRect(90, 466, 190, 25));
    QCOMPARE(screen.bldValorRece->geometry(), QRect(90, 506, 190, 25));
    QCOMPARE(screen.borda1->size(), QSize(208, 27));
    QCOMPARE(screen.Borda7->size(), QSize(208, 27));
    QCOMPARE(screen.Borda8->size(), QSize(193, 29));
    QCOMPARE(screen.Borda9->size(), QSize(193, 28));
    // Each frame sits one pixel outside its button.
    QCOMPARE(screen.borda1->pos(), screen.bldNrOrdem->pos() - QPoint(1, 1));
    QCOMPARE(screen.Borda6->pos(), screen.bldCodigo->pos() - QPoint(1, 1));

    QCOMPARE(screen.bldAddProd->geometry(), QRect(621, 245, 162, 35));
    QCOMPARE(screen.bldAddProd->Caption(), QString("Adicionar &Produto"));
    QCOMPARE(screen.panProd->geometry(), QRect(13, 284, 716, 121));
    QCOMPARE(screen.bldAddRece->geometry(), QRect(621, 433, 161, 31));
    QCOMPARE(screen.bldAddRece->Caption(), QString("Adicionar &Recebimento"));
    QCOMPARE(screen.panRece->geometry(), QRect(325, 467, 403, 117));
    QCOMPARE(screen.bldGravar->geometry(), QRect(16, 536, 132, 60));
    QCOMPARE(screen.bldGravar->Caption(), QString("Gravar Venda"));
    QCOMPARE(screen.bldGravar->brushColor(), QColor(0x22, 0xDD, 0x64));
    QCOMPARE(screen.lblDtEmissao->text(), QString("Data de Emisão"));
    QCOMPARE(screen.lblCodTela->text(), QString("F1 - Menu Fiscal - Lum00071"));
    QCOMPARE(screen.lblDadosVnd->text(), QString("Dados da Venda"));
    QCOMPARE(screen.lblProdVnd->text(), QString("Dados dos Produtos"));
    QCOMPARE(screen.lblDadosReceb->text(), QString("Dados do Recebimento"));
}

void TestLayout::gridsShowTheirColumns()
{
    TfrmRegVenMan screen;
    // The titles show before the first item or payment, too.
    QCOMPARE(screen.dbgProd->model()->columnCount(), 7);
    QVERIFY(!screen.dbgProd->horizontalHeader()->isHidden());
    QCOMPARE(screen.dbgProd->horizontalHeader()->sectionSize(1), 205);
    screen.show();
    QVERIFY(screen.dbgProd->horizontalHeader()->height() > 10);
    QCOMPARE(screen.dbgProd->horizontalHeader()->height(),
             screen.dbgRece->horizontalHeader()->height());
    screen.cdsProdutos->CreateDataSet();
    screen.cdsReceb->CreateDataSet();
    QAbstractItemModel *items = screen.dbgProd->model();
    QVERIFY(items);
    const QStringList titles{"Código",      "Produto", "Quantidade", "Valor Unitário",
                             "Valor Total", "Imposto", "Alíquota"};
    const QList<int> widths{70, 205, 87, 103, 84, 99, 71};
    QCOMPARE(items->columnCount(), titles.size());
    for (int c = 0; c < titles.size(); ++c) {
        QCOMPARE(items->headerData(c, Qt::Horizontal).toString(), titles[c]);
        QCOMPARE(screen.dbgProd->columnWidth(c), widths[c]);
    }
    QVERIFY(screen.dbgProd->verticalHeader()->isHidden());

    QAbstractItemModel *payments = screen.dbgRece->model();
    QVERIFY(payments);
    QCOMPARE(payments->columnCount(), 4);
    QCOMPARE(payments->headerData(0, Qt::Horizontal).toString(), QString("Nome"));
    QCOMPARE(payments->headerData(1, Qt::Horizontal).toString(), QString("Valor"));
    QCOMPARE(screen.dbgRece->columnWidth(0), 252);
    QCOMPARE(screen.dbgRece->columnWidth(1), 153);
    // The code and branch columns lie beyond the panel's width.
    QVERIFY(screen.dbgRece->columnViewportPosition(2) >= 403 - 2
            || screen.dbgRece->columnViewportPosition(2) < 0);
}

void TestLayout::dataSetsDeclareTheirColumns()
{
    TfrmRegVenMan screen;
    const auto decls = [](ClientDataSet *ds) { return ds->fieldDecls(); };
    const QList<FieldDecl> items = decls(screen.cdsProdutos);
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
    QCOMPARE(std::count_if(items.begin(), items.end(), [](const FieldDecl &f) { return f.visible; }),
             1);

    QCOMPARE(decls(screen.cdsValidaProd).size(), 14);
    QCOMPARE(decls(screen.cdsCarregaProduto).size(), 11);
    QCOMPARE(decls(screen.cdsRetornaPreco).size(), 8);
    QCOMPARE(decls(screen.cdsAliquota).size(), 3);
    QCOMPARE(decls(screen.cdsImposto).size(), 5);
    QCOMPARE(decls(screen.cdsReceb).size(), 8);
    QCOMPARE(decls(screen.cdsAmbientes).size(), 4);
    QCOMPARE(decls(screen.cdsRecebAux).size(), 35);
    QCOMPARE(decls(screen.cdsMovCaixa).size(), 37);
    QCOMPARE(decls(screen.cdsFamiliaSaldo).size(), 2);
    QCOMPARE(decls(screen.cdsItPromoComb).size(), 17);
    QVERIFY(decls(screen.cdsEmprestimoFam).isEmpty());
    QVERIFY(decls(screen.cdsVazio).isEmpty());

    const QList<FieldDecl> cancelled = decls(screen.cdsVendaCancelada);
    QCOMPARE(cancelled.size(), 42);
    QCOMPARE(cancelled[30].name, QString("VRPEALIMPFIS"));
    QCOMPARE(cancelled[30].type, FieldType::String); // text here, a number elsewhere
    QCOMPARE(cancelled[30].size, 100);
    QVERIFY(cancelled[21].fixed && cancelled[26].fixed);
    const QList<FieldDecl> movs = decls(screen.cdsMovCaixa);
    QCOMPARE(movs[15].name, QString("DTMOVIMCAIXA"));
    QCOMPARE(movs[15].type, FieldType::Date);
    QCOMPARE(movs[10].displayFormat, QString("#,##0.00"));
    QCOMPARE(movs[11].displayLabel, QString("Recebimento"));
    QStringList shown;
    for (const FieldDecl &f : decls(screen.cdsRecebAux))
        if (f.visible)
            shown << f.name;
    QCOMPARE(shown, QStringList({"CDTIPORECE", "DSBUTTON"}));
    QCOMPARE(screen.cdsProdutos->Name(), QString("cdsProdutos"));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
