// The input spine: keys before the focused control, typing into the focused field, the focus
// cycle and its highlighting, the exit confirmation and the list-moving buttons.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "globals.h"
#include "screenservices.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QShortcut>
#include <QTableView>

namespace {

// Windows virtual-key codes the handlers work with.
enum VirtualKey { VK_RETURN = 13, VK_ESCAPE = 27, VK_DELETE = 46, VK_F1 = 112, VK_F4 = 115,
                  VK_F9 = 120 };

int virtualKey(int qtKey)
{
    static constexpr struct
    {
        int qt, vk;
    } keys[] = {{Qt::Key_Return, VK_RETURN}, {Qt::Key_Enter, VK_RETURN},
                {Qt::Key_Escape, VK_ESCAPE}, {Qt::Key_Delete, VK_DELETE},
                {Qt::Key_F1, VK_F1},         {Qt::Key_F4, VK_F4},
                {Qt::Key_F9, VK_F9}};
    for (const auto &k : keys)
        if (k.qt == qtKey)
            return k.vk;
    return 0;
}

// Per-field typing rules: longest caption before a character is refused.
int lengthLimit(int field)
{
    switch (field) {
    case TfrmRegVenMan::CampoOrdem:
    case TfrmRegVenMan::CampoSerie:
    case TfrmRegVenMan::CampoSubSerie:
        return 20;
    case TfrmRegVenMan::CampoData:
    case TfrmRegVenMan::CampoCodigo:
        return 10;
    case TfrmRegVenMan::CampoMesa:
    case TfrmRegVenMan::CampoQuant:
        return 4;
    case TfrmRegVenMan::CampoTipoRece:
        return 3;
    case TfrmRegVenMan::CampoValorRece:
        return 7;
    default:
        return 0;
    }
}

} // namespace

void TfrmRegVenMan::wireHandlers()
{
    const auto bind = [this](TBlendedButton *b, void (TfrmRegVenMan::*handler)()) {
        b->OnClick = [this, handler] { runHandler([this, handler] { (this->*handler)(); }); };
    };
    bind(bldNrOrdem, &TfrmRegVenMan::bldNrOrdemClick);
    bind(bldNrSerie, &TfrmRegVenMan::bldNrSerieClick);
    bind(bldNrSubSerie, &TfrmRegVenMan::bldNrSubSerieClick);
    bind(bldDtEmissao, &TfrmRegVenMan::bldDtEmissaoClick);
    bind(bldNrMesa, &TfrmRegVenMan::bldNrMesaClick);
    bind(bldCodigo, &TfrmRegVenMan::bldCodigoClick);
    bind(bldQuant, &TfrmRegVenMan::bldQuantClick);
    bind(bldCodRece, &TfrmRegVenMan::bldCodReceClick);
    bind(Borda8, &TfrmRegVenMan::bldCodReceClick);
    bind(Borda9, &TfrmRegVenMan::bldCodReceClick);
    bind(bldValorRece, &TfrmRegVenMan::bldValorReceClick);
    bind(bldAddProd, &TfrmRegVenMan::bldAddProdClick);
    bind(bldAcima, &TfrmRegVenMan::bldAcimaClick);
    bind(bldCancel, &TfrmRegVenMan::bldCancelClick);
    bind(bldAbaixo, &TfrmRegVenMan::bldAbaixoClick);
    bind(bldAddRece, &TfrmRegVenMan::bldAddReceClick);
    bind(bldRolarCima, &TfrmRegVenMan::bldRolarCimaClick);
    bind(bldCancelaRece, &TfrmRegVenMan::bldCancelaReceClick);
    bind(bldRolarBaixo, &TfrmRegVenMan::bldRolarBaixoClick);
    bind(bldGravar, &TfrmRegVenMan::bldGravarClick);
    bind(spdSair, &TfrmRegVenMan::spdSairClick);
    // A keyboard without a touch screen must be able to record too: Alt+G, as the other
    // action buttons have Alt+P and Alt+R.
    auto *gravar = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_G), this);
    connect(gravar, &QShortcut::activated, this, [this] { bldGravar->click(); });
    connect(&m_produtosLidos, &QFutureWatcherBase::finished, this,
            [this] { runHandler([this] { produtosProntos(); }); });
}

void TfrmRegVenMan::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    // Keys must reach the screen before the focused control.
    qApp->installEventFilter(this);
    // Under a bare X server a new window gets no keyboard focus until it is activated.
    activateWindow();
    runHandler([this] { FormShow(); });
}

void TfrmRegVenMan::hideEvent(QHideEvent *e)
{
    qApp->removeEventFilter(this);
    QDialog::hideEvent(e);
}

void TfrmRegVenMan::FormShow()
{
    inCampoAtual = CampoOrdem;
    MudaCor();
    if (m_talao)
        preencheTalao();
}

bool TfrmRegVenMan::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || m_redispatching)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return false;
    return dispatchKey(widget, static_cast<QKeyEvent *>(event));
}

// The screen's handlers see the key first; unless they discard it, a copy then goes to the
// control that was to receive it (and on to its parents), exactly once.
bool TfrmRegVenMan::dispatchKey(QWidget *receiver, QKeyEvent *event)
{
    int key = virtualKey(event->key());
    if (key)
        runHandler([&] { FormKeyDown(key, event->modifiers()); });
    if (virtualKey(event->key()) == VK_F4 && key == 0)
        return true; // discarded (Alt+F4)
    if (!event->text().isEmpty()) {
        QChar ch = event->text().at(0);
        runHandler([&] { FormKeyPress(ch); });
    }
    if (!isVisible())
        return true; // the screen closed while handling the key

    m_redispatching = true;
    QKeyEvent forwarded(event->type(), event->key(), event->modifiers(), event->text(),
                        event->isAutoRepeat(), ushort(event->count()));
    QCoreApplication::sendEvent(receiver, &forwarded);
    m_redispatching = false;
    return true;
}

void TfrmRegVenMan::keyPressEvent(QKeyEvent *e)
{
    // Qt's dialog would reject on Escape and click a default button on Enter; the screen's
    // own handlers already ran for both.
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->accept();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void TfrmRegVenMan::FormKeyDown(int &key, Qt::KeyboardModifiers shift)
{
    if (key == VK_F4 && shift == Qt::AltModifier) {
        key = 0;
        m_altF4At = QDateTime::currentMSecsSinceEpoch();
    }
    if (key == VK_ESCAPE)
        spdSairClick();
    if (key == VK_F1 && RelFiscais)
        RelFiscais();
    if (key == VK_RETURN) {
        const QString caption = entryButton(inCampoAtual) ? entryButton(inCampoAtual)->Caption()
                                                          : QString();
        switch (inCampoAtual) {
        case CampoOrdem:
        case CampoSerie:
        case CampoSubSerie:
            if (documentoJaGravado())
                return; // the focus is on the order, for the operator to correct it
            break;
        case CampoData:
            if (!caption.isEmpty())
                vd_DataVenda(caption);
            break;
        case CampoMesa:
            vd_mesa(caption);
            break;
        case CampoCodigo:
            if (!caption.isEmpty()) {
                stCodProd = caption;
                vd_produto(stCodProd);
            }
            break;
        case CampoTipoRece:
            if (!caption.isEmpty() && caption.size() <= 3) {
                stCdTipoRece = caption;
                vd_tiporece(stCdTipoRece);
            }
            break;
        case CampoValorRece:
            if (!caption.isEmpty() && !boRecebimento)
                vd_valrece(caption);
            break;
        default:
            break;
        }
        inCampoAtual = inCampoAtual == CampoValorRece ? CampoOrdem : inCampoAtual + 1;
        MudaCor();
    }
    if (key == VK_DELETE) {
        if (dbgProd->hasFocus())
            bldCancelClick();
        else
            bldCancelaReceClick();
    }
    if (key == VK_F9) {
        switch (inCampoAtual) {
        case CampoOrdem: bldNrOrdemClick(); break;
        case CampoSerie: bldNrSerieClick(); break;
        case CampoSubSerie: bldNrSubSerieClick(); break;
        case CampoData: bldDtEmissaoClick(); break;
        case CampoMesa: bldNrMesaClick(); break;
        case CampoCodigo: bldCodigoClick(); break;
        case CampoQuant: bldQuantClick(); break;
        case CampoTipoRece: bldCodReceClick(); break;
        case CampoValorRece: bldValorReceClick(); break;
        default: break;
        }
    }
}

void TfrmRegVenMan::FormKeyPress(QChar &key)
{
    if (key == QChar(8))
        postaTexto(inCampoAtual, QString(), true);
    else if (key >= u'0' && key <= u'9')
        postaTexto(inCampoAtual, QString(key), false);
    if (inCampoAtual == CampoValorRece && key == u',')
        postaTexto(CampoValorRece, QStringLiteral(","), false);
}

void TfrmRegVenMan::postaTexto(int field, const QString &text, bool erase)
{
    for (QObject *child : children()) {
        auto *button = qobject_cast<TBlendedButton *>(child);
        if (!button || button->Tag() != field)
            continue;
        QString caption = button->Caption();
        if (erase) {
            caption.chop(1);
            setFieldText(button, caption);
            continue;
        }
        if (text == QLatin1String(",") && caption.isEmpty()) {
            setFieldText(button, QStringLiteral("0,"));
            return;
        }
        // The quantity the lookup proposes ("1") is a default: the first digit typed over it
        // replaces it, so typing 2 sells two, not twelve.
        if (button == bldQuant && m_quantPadrao && caption == QLatin1String("1"))
            caption.clear();
        if (caption.size() >= lengthLimit(field))
            return;
        QString added = text;
        if (field == CampoValorRece
            && !(added.startsWith(u',') || (!added.isEmpty() && added[0].isDigit())))
            return;
        if (field == CampoData && (caption.size() == 2 || caption.size() == 5))
            added.prepend(u'/');
        setFieldText(button, caption + added);
    }
}

// A value the operator edits is no longer the one that passed the check against the remaining
// amount: it must be checked again before it becomes a payment line.
void TfrmRegVenMan::setFieldText(TBlendedButton *button, const QString &text)
{
    if (button == bldQuant)
        m_quantPadrao = false;
    if (button->Caption() == text)
        return;
    button->setCaption(text);
    if (button == bldValorRece)
        boRecebimento = false;
}

void TfrmRegVenMan::MudaCor(int field, const QColor &colour)
{
    switch (field) {
    case CampoOrdem: borda1->setBrushColor(colour); break;
    case CampoSerie: Borda2->setBrushColor(colour); break;
    case CampoSubSerie: Borda3->setBrushColor(colour); break;
    case CampoData: Borda4->setBrushColor(colour); break;
    case CampoMesa: Borda5->setBrushColor(colour); break;
    case CampoCodigo: Borda6->setBrushColor(colour); break;
    case CampoQuant: Borda7->setBrushColor(colour); break;
    case CampoTipoRece: Borda8->setBrushColor(colour); break;
    case CampoValorRece: Borda9->setBrushColor(colour); break;
    default: break;
    }
}

void TfrmRegVenMan::VoltaCor()
{
    for (int field = CampoOrdem; field <= CampoValorRece; ++field)
        MudaCor(field, Qt::white);
}

void TfrmRegVenMan::MudaCor()
{
    VoltaCor();
    MudaCor(inCampoAtual, Qt::black);
}

void TfrmRegVenMan::spdSairClick()
{
    if (!pergunta(Msg("SAIR")))
        return;
    if (m_talao && !m_talao->vazio())
        mostraTalao();
    closeConfirmed();
}

void TfrmRegVenMan::closeConfirmed()
{
    m_closeConfirmed = true;
    done(QDialog::Accepted);
}

void TfrmRegVenMan::reject()
{
    // Qt's own ways out (Escape in a child, a close request) never end the screen by
    // themselves: the exit confirmation decides.
    runHandler([this] { spdSairClick(); });
}

void TfrmRegVenMan::closeEvent(QCloseEvent *e)
{
    if (m_closeConfirmed) {
        QDialog::closeEvent(e);
        return;
    }
    e->ignore();
    // Alt+F4 does nothing: a close request that follows it at once is its echo from the
    // window manager.
    if (m_altF4At >= 0 && QDateTime::currentMSecsSinceEpoch() - m_altF4At < 1000)
        return;
    runHandler([this] { spdSairClick(); });
}

namespace {

void moveCursor(ClientDataSet *ds, bool forward)
{
    if (!ds->Active() || ds->IsEmpty())
        return;
    if (forward)
        ds->Next();
    else
        ds->Prior();
}

} // namespace

void TfrmRegVenMan::bldAcimaClick() { moveCursor(cdsProdutos, false); }
void TfrmRegVenMan::bldAbaixoClick() { moveCursor(cdsProdutos, true); }
void TfrmRegVenMan::bldRolarCimaClick() { moveCursor(cdsReceb, false); }
void TfrmRegVenMan::bldRolarBaixoClick() { moveCursor(cdsReceb, true); }
