// The sale header: order number, series, sub-series, issue date and table number.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "venda/dinheiro.h"
#include "exception.h"
#include "globals.h"
#include "venda/regras.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"

#include <QLocale>

namespace {

// How long Enter on the document's fields waits for the store to say it holds the document.
constexpr int LimitePerguntaMs = 500;

} // namespace

QDateTime TfrmRegVenMan::hoje()
{
    return Sys::StrToDate(Sys::DateToStr(QDate::currentDate()));
}

void TfrmRegVenMan::bldNrOrdemClick()
{
    inCampoAtual = CampoOrdem;
    MudaCor();
    const bool ok = TecladoNumerico(stMsg, Msg("REG_MAN_VEN"), Msg("NRORDEM"), Msg("ORD_DEV_INF"),
                                    20, 0, 0, 0, 0, 0);
    bldNrOrdem->setCaption(ok ? stMsg : QString());
    documentoJaGravado();
}

void TfrmRegVenMan::bldNrSerieClick()
{
    inCampoAtual = CampoSerie;
    MudaCor();
    bldNrSerie->setCaption(TecladoAlfaNumerico(QString(), QString(), QString(), 0));
    documentoJaGravado();
}

void TfrmRegVenMan::bldNrSubSerieClick()
{
    inCampoAtual = CampoSubSerie;
    MudaCor();
    bldNrSubSerie->setCaption(TecladoAlfaNumerico(QString(), QString(), QString(), 0));
    documentoJaGravado();
}

void TfrmRegVenMan::bldDtEmissaoClick()
{
    inCampoAtual = CampoData;
    MudaCor();
    bldDtEmissao->setCaption(TouchCalendar(QString(), QString(), QString()));
    stDtEmissao = bldDtEmissao->Caption();
    QDateTime escolhida;
    try {
        escolhida = Sys::StrToDate(bldDtEmissao->Caption());
    } catch (const Exception &) {
        // A cancelled calendar (or any text that is not a date) leaves no date behind; only a
        // text that was offered as a date is worth a message.
        if (!bldDtEmissao->Caption().isEmpty())
            mensagemErro(Msg("DATA_INV"));
        bldDtEmissao->setCaption(QString());
        stDtEmissao = QString();
        return;
    }
    if (escolhida > hoje()) {
        mensagemErro(Msg("DATA_MAIOR"));
        bldDtEmissao->setCaption(QString());
        stDtEmissao = bldDtEmissao->Caption();
    }
}

void TfrmRegVenMan::vd_DataVenda(const QString &)
{
    const auto recusa = [this](Recusa motivo) {
        mensagemErro(Msg(motivo));
        bldDtEmissao->setCaption(QString());
        // Enter, which checked the date, moves the focus on: back onto the date.
        inCampoAtual = CampoSubSerie;
        MudaCor();
    };
    QDateTime data;
    const std::optional<Recusa> recusada =
        Regras::recusaData(bldDtEmissao->Caption(), hoje(), data);
    // A date that is not one leaves the last date taken; a later date clears it.
    if (recusada == Recusa::DataInvalida) {
        recusa(*recusada);
        return;
    }
    if (recusada)
        recusa(*recusada);
    stDtEmissao = bldDtEmissao->Caption();
}

void TfrmRegVenMan::bldNrMesaClick()
{
    inCampoAtual = CampoMesa;
    MudaCor();
    TecladoNumerico(stMsg, Msg("REG_MAN_VEN"), Msg("NRMESA"), Msg("MES_DEV_INF"), 20, 0, 0, 0, 0,
                    0);
    vd_mesa(stMsg);
}

std::optional<Recusa> TfrmRegVenMan::procuraMesa(const QString &code, QString &mesa, QString &sala)
{
    mesa.clear();
    sala.clear();
    QString padded;
    if (const std::optional<Recusa> recusa = Regras::recusaMesa(code, padded))
        return recusa;
    if (padded.isEmpty())
        return std::nullopt;
    if (!cdsAmbientes->Active() || !cdsAmbientes->Locate(QStringLiteral("NRMESA"), padded))
        return Recusa::MesaNaoCadastrada;
    mesa = padded;
    sala = cdsAmbientes->FieldByName(QStringLiteral("CDSALA")).AsString();
    return std::nullopt;
}

void TfrmRegVenMan::vd_mesa(const QString &code)
{
    if (code.isEmpty())
        return;
    QString mesa, sala;
    if (const std::optional<Recusa> recusada = procuraMesa(code, mesa, sala)) {
        mensagemErro(Msg(*recusada));
        bldNrMesa->setCaption(QString());
        inCampoAtual = CampoData;
        MudaCor();
        return;
    }
    if (!mesa.isEmpty())
        stCdSala = sala;
    bldNrMesa->setCaption(mesa);
}

std::optional<Cabecalho> TfrmRegVenMan::cabecalhoAtual()
{
    const auto largura = [this](const char *column) {
        for (const FieldDecl &f : cdsProdutos->fieldDecls())
            if (f.name == QLatin1String(column))
                return f.size;
        return 0;
    };
    Cabecalho c{bldNrOrdem->Caption(), bldNrSerie->Caption(), bldNrSubSerie->Caption(),
                bldDtEmissao->Caption(), {}, bldNrMesa->Caption(), {}};
    const auto recusada = c.confere(
        hoje(), {largura("NRORDEMVND"), largura("NRSERIEVND"), largura("NRSUBSERIEVND")},
        [this](const QString &code, QString &mesa, QString &sala) {
            return procuraMesa(code, mesa, sala);
        });
    if (recusada) {
        static const Campo campos[] = {CampoOrdem, CampoSerie, CampoSubSerie, CampoData,
                                       CampoMesa};
        const QString texto = Msg(recusada->recusa);
        recusaCampo(campos[int(recusada->campo)],
                    recusada->largura ? texto.arg(recusada->largura) : texto);
        return std::nullopt;
    }
    // What is stored is what the screen shows: the table in the form the list holds it.
    bldNrMesa->setCaption(c.mesa);
    stDtEmissao = c.data;
    stCdSala = c.sala;
    return c;
}

bool TfrmRegVenMan::documentoJaGravado()
{
    const QString ordem = bldNrOrdem->Caption();
    const QString serie = bldNrSerie->Caption();
    const QString subSerie = bldNrSubSerie->Caption();
    if (ordem.isEmpty() || serie.isEmpty() || subSerie.isEmpty())
        return false;
    // An early warning only: the closing routine refuses a second sale of a document in any
    // case, so a store that does not answer within the limit does not hold the header up.
    const QVariant resposta =
        getVendaGravadaAte(LimitePerguntaMs, contexto.stCdFilial, contexto.stCdLoja, ordem, serie,
                           subSerie);
    if (resposta.typeId() != qMetaTypeId<DataPacket>())
        return false;
    const DataPacket venda = resposta.value<DataPacket>();
    if (venda.rowCount() == 0)
        return false;
    const auto campo = [&venda](const char *nome) {
        const int coluna = venda.indexOf(QLatin1String(nome));
        return coluna < 0 ? QVariant() : venda.value(0, coluna);
    };
    const QLocale local;
    const QDateTime quando = campo("DTHRGRAVACAO").toDateTime();
    const QString total = local.currencySymbol() + QLatin1Char(' ')
                          + Dinheiro::formatado(Dinheiro::emCentavos(campo("VRTOTVENDA").toDouble()));
    mensagem(Msg("VENDA_GRAVADA")
                 .arg(local.toString(quando.date(), QLocale::ShortFormat) + QLatin1Char(' ')
                          + local.toString(quando.time(), QStringLiteral("HH:mm")),
                      campo("CDCAIXA").toString(), campo("CDOPERADOR").toString(), total),
             tmAdvertencia);
    inCampoAtual = CampoOrdem;
    VoltaCor();
    for (int field : {CampoOrdem, CampoSerie, CampoSubSerie})
        MudaCor(field, Vermelho);
    return true;
}
