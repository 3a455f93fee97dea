// The sale header: order number, series, sub-series, issue date and table number.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "exception.h"
#include "globals.h"
#include "screenservices.h"

namespace {

// Today as the screen compares dates: the current date at midnight.
QDateTime hoje()
{
    return Sys::StrToDate(Sys::DateToStr(QDate::currentDate()));
}

} // namespace

void TfrmRegVenMan::bldNrOrdemClick()
{
    inCampoAtual = 1;
    MudaCor();
    const bool ok = TecladoNumerico(stMsg, Msg("REG_MAN_VEN"), Msg("NRORDEM"), Msg("ORD_DEV_INF"),
                                    20, 0, 0, 0, 0, 0);
    bldNrOrdem->setCaption(ok ? stMsg : QString());
}

void TfrmRegVenMan::bldNrSerieClick()
{
    inCampoAtual = 2;
    MudaCor();
    bldNrSerie->setCaption(TecladoAlfaNumerico(QString(), QString(), QString(), 0));
}

void TfrmRegVenMan::bldNrSubSerieClick()
{
    inCampoAtual = 3;
    MudaCor();
    bldNrSubSerie->setCaption(TecladoAlfaNumerico(QString(), QString(), QString(), 0));
}

void TfrmRegVenMan::bldDtEmissaoClick()
{
    inCampoAtual = 4;
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
    const auto recusa = [this](const char *key) {
        mensagemErro(Msg(key));
        bldDtEmissao->setCaption(QString());
        inCampoAtual = 3;
        MudaCor();
    };
    if (bldDtEmissao->Caption().size() != 10) {
        recusa("DATA_INV");
        return;
    }
    try {
        const QDateTime today = hoje();
        if (Sys::StrToDate(bldDtEmissao->Caption()) > today)
            recusa("DATA_MAIOR");
        stDtEmissao = bldDtEmissao->Caption();
    } catch (const Exception &) {
        recusa("DATA_INV");
    }
}

void TfrmRegVenMan::bldNrMesaClick()
{
    inCampoAtual = 5;
    MudaCor();
    TecladoNumerico(stMsg, Msg("REG_MAN_VEN"), Msg("NRMESA"), Msg("MES_DEV_INF"), 20, 0, 0, 0, 0,
                    0);
    vd_mesa(stMsg);
}

void TfrmRegVenMan::vd_mesa(const QString &code)
{
    if (code.isEmpty())
        return;
    const QString padded = Ajusta(code, 4);
    const auto recusa = [this](const char *key) {
        mensagemErro(Msg(key));
        bldNrMesa->setCaption(QString());
        inCampoAtual = 4;
        MudaCor();
    };
    if (padded == QLatin1String("0000")) {
        bldNrMesa->setCaption(QString());
    } else if (code.size() > 4) {
        recusa("BLOQ_NUM_MESA");
    } else if (cdsAmbientes->Active() && cdsAmbientes->Locate(QStringLiteral("NRMESA"), padded)) {
        stCdSala = cdsAmbientes->FieldByName(QStringLiteral("CDSALA")).AsString();
        bldNrMesa->setCaption(padded);
    } else {
        recusa("MESA_NCAD");
    }
}
