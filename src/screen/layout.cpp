// The screen's controls: blocks, entry fields with their frames and hints, buttons and grids,
// at the positions of the 800 by 600 design.
#include "frmregvenman.h"

#include "blended.h"
#include "datasetmodel.h"
#include "images.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableView>

namespace {

const QColor Fundo(0xD6, 0xD6, 0xD6);      // screen background
const QColor Moldura(0xCC, 0x5B, 0x2C);    // frame line and grid titles
const QColor TituloBloco(0xEE, 0x3E, 0x11); // block titles
const QColor Prata(0xC0, 0xC0, 0xC0);       // entry buttons
const QColor Cinza(0x80, 0x80, 0x80);       // action buttons
const QColor Verde(0x22, 0xDD, 0x64);       // "Gravar Venda"

QFont arial(int px, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

QFont sansSerif(int px, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

QLabel *label(QWidget *parent, const QString &text, int x, int y, const QFont &font,
              const QColor &colour = Qt::black)
{
    auto *l = new QLabel(text, parent);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->move(x, y);
    l->adjustSize();
    return l;
}

TBlendedShape *shape(QWidget *parent, const QRect &r, const QColor &brush, int radius = 8)
{
    auto *s = new TBlendedShape(parent);
    s->setGeometry(r);
    s->setBrushColor(brush);
    s->setRadius(radius);
    return s;
}

TBlendedShape *frame(QWidget *parent, int x, int y, int w = 208, int h = 27)
{
    return shape(parent, QRect(x, y, w, h), Qt::white, 4);
}

TBlendedButton *entry(QWidget *parent, int tag, const QRect &r)
{
    auto *b = new TBlendedButton(parent);
    b->setGeometry(r);
    b->setTag(tag);
    b->setBrushColor(Prata);
    b->setFont(arial(13, true));
    b->setRadius(4);
    return b;
}

TBlendedButton *action(QWidget *parent, const QString &caption, const QRect &r)
{
    auto *b = new TBlendedButton(parent);
    b->setGeometry(r);
    b->setCaption(caption);
    b->setBrushColor(Cinza);
    b->setTextColor(Qt::white);
    b->setFont(arial(13, true));
    return b;
}

TBlendedBitBtn *imageButton(QWidget *parent, const QIcon &icon, const QRect &r, bool round)
{
    auto *b = new TBlendedBitBtn(parent);
    b->setGeometry(r);
    b->setImage(icon);
    b->setBrushColor(Qt::white);
    b->setRadius(round ? std::min(r.width(), r.height()) / 2 : 8);
    return b;
}

QTableView *grid(QWidget *panel)
{
    auto *g = new QTableView(panel);
    g->setGeometry(panel->rect());
    g->verticalHeader()->hide(); // no row indicator
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setFont(arial(11, false));
    g->horizontalHeader()->setFont(arial(11, true));
    g->horizontalHeader()->setHighlightSections(false);
    g->verticalHeader()->setDefaultSectionSize(20);
    g->setStyleSheet(QStringLiteral(
        "QTableView { background: white; gridline-color: #C0C0C0; }"
        "QHeaderView::section { background: #CC5B2C; color: white; font-weight: bold;"
        " border: 1px solid #B04A20; padding: 1px 3px; }"));
    return g;
}

} // namespace

void TfrmRegVenMan::buildLayout()
{
    setWindowTitle(QStringLiteral("Registro Manual de Vendas"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Fundo);
    setPalette(pal);
    setAutoFillBackground(true);
    setFont(sansSerif(11, false));
    resize(803, 606); // designed client area; the initialisation brings it to 800 by 600

    // Title strip.
    bdsTitulo = shape(this, QRect(3, 2, 794, 30), Qt::white);
    lblMenu = label(this, QStringLiteral("Registro de Vendas Manuais"), 0, 0, arial(15, true));
    lblMenu->setAlignment(Qt::AlignCenter);
    lblMenu->setGeometry(3, 2, 794, 30);
    spdSair = imageButton(this, ScreenImages::sair(), QRect(758, 5, 37, 30), false);

    // "Dados da Venda".
    bdsDadosVnd = shape(this, QRect(3, 35, 794, 126), Qt::white);
    lblDadosVnd = label(this, QStringLiteral("Dados da Venda"), 10, 37, sansSerif(13, true),
                        TituloBloco);
    const QFont fieldFont = arial(13, true);
    lblNrOrdem = label(this, QStringLiteral("Nº de Ordem"), 15, 61, fieldFont);
    borda1 = frame(this, 134, 56);
    bldNrOrdem = entry(this, CampoOrdem, QRect(135, 57, 205, 25));
    lblF9_2 = label(this, QStringLiteral("(F9)"), 342, 62, arial(11, false));
    lblNrSerie = label(this, QStringLiteral("Nº de Série"), 382, 61, fieldFont);
    Borda2 = frame(this, 525, 56);
    bldNrSerie = entry(this, CampoSerie, QRect(526, 57, 205, 25));
    lblF9_1 = label(this, QStringLiteral("(F9)"), 742, 62, arial(11, false));
    lblNrSubSerie = label(this, QStringLiteral("Nº de Sub-Série"), 15, 99, fieldFont);
    Borda3 = frame(this, 134, 94);
    bldNrSubSerie = entry(this, CampoSubSerie, QRect(135, 95, 205, 25));
    lblF9_3 = label(this, QStringLiteral("(F9)"), 342, 100, arial(11, false));
    lblDtEmissao = label(this, QStringLiteral("Data de Emisão"), 382, 99, fieldFont);
    Borda4 = frame(this, 525, 94);
    bldDtEmissao = entry(this, CampoData, QRect(526, 95, 205, 25));
    lblF9_5 = label(this, QStringLiteral("(F9)"), 742, 100, arial(11, false));
    lblNrMesa = label(this, QStringLiteral("Nº Mesa"), 15, 133, fieldFont);
    Borda5 = frame(this, 132, 128);
    bldNrMesa = entry(this, CampoMesa, QRect(133, 129, 206, 25));
    lblF9_4 = label(this, QStringLiteral("(F9)"), 342, 134, arial(11, false));

    // "Dados dos Produtos".
    bdsProdVnd = shape(this, QRect(2, 166, 794, 257), Qt::white);
    lblProdVnd = label(this, QStringLiteral("Dados dos Produtos"), 10, 168, sansSerif(13, true),
                       TituloBloco);
    lblCodigo = label(this, QStringLiteral("Código"), 15, 192, fieldFont);
    Borda6 = frame(this, 134, 187);
    bldCodigo = entry(this, CampoCodigo, QRect(135, 188, 205, 25));
    lblF9_6 = label(this, QStringLiteral("(F9)"), 342, 193, arial(11, false));
    lblPrecoUn = label(this, QStringLiteral("Preço Unitário"), 14, 225, fieldFont);
    Borda = frame(this, 133, 220);
    bldPrecoUn = entry(this, 0, QRect(134, 221, 205, 25));
    lblProd = label(this, QStringLiteral("lblProd"), 375, 192, fieldFont);
    lblImpAliq = label(this, QStringLiteral("lblImpAliq"), 376, 221, fieldFont);
    lblQuant = label(this, QStringLiteral("Quantidade"), 15, 258, fieldFont);
    Borda7 = frame(this, 134, 253);
    bldQuant = entry(this, CampoQuant, QRect(135, 254, 205, 25));
    lblF9_7 = label(this, QStringLiteral("(F9)"), 342, 259, arial(11, false));
    bldAddProd = action(this, QStringLiteral("Adicionar &Produto"), QRect(621, 245, 162, 35));
    panProd = new QWidget(this);
    panProd->setGeometry(13, 284, 716, 121);
    dbgProd = grid(panProd);
    bldAcima = imageButton(this, ScreenImages::acima(), QRect(741, 280, 49, 46), true);
    bldCancel = imageButton(this, ScreenImages::cancelar(), QRect(745, 325, 38, 42), false);
    bldAbaixo = imageButton(this, ScreenImages::abaixo(), QRect(740, 367, 49, 46), true);
    lblTot = label(this, QStringLiteral("Total : "), 591, 405, arial(16, true));
    lblTot->setAlignment(Qt::AlignCenter);
    lblTotal = label(this, QStringLiteral("lblTotal"), 680, 405, arial(16, true));
    lblTotal->setAlignment(Qt::AlignCenter);

    // "Dados do Recebimento".
    bdsDadosReceb = shape(this, QRect(3, 428, 794, 170), Qt::white);
    lblDadosReceb = label(this, QStringLiteral("Dados do Recebimento"), 10, 430,
                          sansSerif(13, true), TituloBloco);
    lblCodRece = label(this, QStringLiteral("Código"), 15, 470, fieldFont);
    Borda8 = new TBlendedButton(this);
    Borda8->setGeometry(88, 464, 193, 29);
    Borda9 = new TBlendedButton(this);
    Borda9->setGeometry(88, 504, 193, 28);
    for (TBlendedButton *rim : {Borda8, Borda9}) {
        rim->setTag(10);
        rim->setBrushColor(Qt::white); // clWindow
        rim->setRadius(4);
    }
    bldCodRece = entry(this, CampoTipoRece, QRect(90, 466, 190, 25));
    lblF9_8 = label(this, QStringLiteral("(F9)"), 288, 471, arial(11, false));
    lblValorRece = label(this, QStringLiteral("Valor"), 15, 510, fieldFont);
    bldValorRece = entry(this, CampoValorRece, QRect(90, 506, 190, 25));
    lblF9_9 = label(this, QStringLiteral("(F9)"), 288, 511, arial(11, false));
    bldAddRece = action(this, QStringLiteral("Adicionar &Recebimento"), QRect(621, 433, 161, 31));
    panRece = new QWidget(this);
    panRece->setGeometry(325, 467, 403, 117);
    dbgRece = grid(panRece);
    bldRolarCima = imageButton(this, ScreenImages::acima(), QRect(740, 462, 49, 46), true);
    bldCancelaRece = imageButton(this, ScreenImages::cancelar(), QRect(744, 505, 39, 42), false);
    bldRolarBaixo = imageButton(this, ScreenImages::abaixo(), QRect(739, 544, 49, 46), true);
    bldGravar = imageButton(this, ScreenImages::gravar(), QRect(16, 536, 132, 60), false);
    bldGravar->setCaption(QStringLiteral("Gravar Venda"));
    bldGravar->setBrushColor(Verde);
    bldGravar->setFont(arial(13, true));

    lblCodTela = label(this, QStringLiteral("F1 - Menu Fiscal - Lum00071"), 631, 589,
                       arial(11, false), QColor(0x80, 0x80, 0x80));

    // Every part is named as the system names it, for the accessibility tree and its readers.
#define NOME(parte) std::pair<QObject *, const char *>(parte, #parte)
    for (const auto &[parte, nome] : {
        NOME(bdsTitulo), NOME(lblMenu), NOME(spdSair), NOME(bdsDadosVnd), NOME(lblDadosVnd),
        NOME(lblNrOrdem), NOME(borda1), NOME(bldNrOrdem), NOME(lblF9_2), NOME(lblNrSerie),
        NOME(Borda2), NOME(bldNrSerie), NOME(lblF9_1), NOME(lblNrSubSerie), NOME(Borda3),
        NOME(bldNrSubSerie), NOME(lblF9_3), NOME(lblDtEmissao), NOME(Borda4), NOME(bldDtEmissao),
        NOME(lblF9_5), NOME(lblNrMesa), NOME(Borda5), NOME(bldNrMesa), NOME(lblF9_4),
        NOME(bdsProdVnd), NOME(lblProdVnd), NOME(lblCodigo), NOME(Borda6), NOME(bldCodigo),
        NOME(lblF9_6), NOME(lblPrecoUn), NOME(Borda), NOME(bldPrecoUn), NOME(lblProd),
        NOME(lblImpAliq), NOME(lblQuant), NOME(Borda7), NOME(bldQuant), NOME(lblF9_7),
        NOME(bldAddProd), NOME(panProd), NOME(dbgProd), NOME(bldAcima), NOME(bldCancel),
        NOME(bldAbaixo), NOME(lblTot), NOME(lblTotal), NOME(bdsDadosReceb), NOME(lblDadosReceb),
        NOME(lblCodRece), NOME(Borda8), NOME(Borda9), NOME(bldCodRece), NOME(lblF9_8),
        NOME(lblValorRece), NOME(bldValorRece), NOME(lblF9_9), NOME(bldAddRece), NOME(panRece),
        NOME(dbgRece), NOME(bldRolarCima), NOME(bldCancelaRece), NOME(bldRolarBaixo),
        NOME(bldGravar), NOME(lblCodTela),
    }) {
        parte->setObjectName(QLatin1String(nome));
    }
#undef NOME
}

TBlendedButton *TfrmRegVenMan::entryButton(int field) const
{
    for (QObject *child : children()) {
        if (auto *b = qobject_cast<TBlendedButton *>(child); b && b->Tag() == field)
            return b;
    }
    return nullptr;
}

void TfrmRegVenMan::paintEvent(QPaintEvent *e)
{
    QDialog::paintEvent(e);
    // The frame line along the edge of the whole client area.
    QPainter p(this);
    p.setPen(QPen(Moldura, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

// The grids declare their own columns over the item and payment lists.
void TfrmRegVenMan::bindGrids()
{
    dtsProdutos = new DataSetModel(this);
    dtsProdutos->setDataSet(cdsProdutos);
    const auto col = [](const char *field, const char *title, int width, bool currency = false,
                        Qt::Alignment align = {}) {
        GridColumn c;
        c.field = QString::fromLatin1(field);
        c.title = QString::fromUtf8(title);
        c.width = width;
        c.currency = currency;
        c.alignment = align;
        return c;
    };
    dtsProdutos->setColumns({col("CDPRODUTO", "Código", 70), col("NMPRODUTO", "Produto", 205),
                             col("QTPRODVEND", "Quantidade", 87),
                             col("VRUNITVEND", "Valor Unitário", 103, true),
                             col("VRTOTVEND", "Valor Total", 84, true),
                             col("NMIMPOSTO", "Imposto", 99), col("VRPEALIMPFIS", "Alíquota", 71)});
    dtsReceb = new DataSetModel(this);
    dtsReceb->setDataSet(cdsReceb);
    dtsReceb->setColumns({col("NMTIPORECE", "", 252), col("VRTIPORECE", "Valor", 153, true,
                                                          Qt::AlignCenter),
                          col("CDTIPORECE", "", 0), col("CDFILIAL", "", 0)});
    attachGrid(dbgProd, dtsProdutos);
    attachGrid(dbgRece, dtsReceb);
}

void TfrmRegVenMan::attachGrid(QTableView *grid, DataSetModel *source)
{
    grid->setModel(source);
    if (!source)
        return;
    source->setSelectionModel(grid->selectionModel());
    const QList<GridColumn> columns = source->columns();
    for (int c = 0; c < columns.size(); ++c) {
        if (columns[c].width > 0)
            grid->setColumnWidth(c, columns[c].width);
    }
}
