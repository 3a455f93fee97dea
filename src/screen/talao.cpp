// A pad of slips keyed one after another: the next slip's header filled in, and the pad's
// report when the operator leaves it.
#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
#include "exception.h"
#include "globals.h"
#include "screenservices.h"
#include "server/rdmregvendamanual.h"
#include "venda/regras.h"

void TfrmRegVenMan::preencheTalao()
{
    bldNrOrdem->setCaption(m_talao->ordem);
    bldNrSerie->setCaption(m_talao->serie);
    bldNrSubSerie->setCaption(m_talao->subSerie);
    bldDtEmissao->setCaption(m_talao->data);
    // The date and the table are taken as the operator's Enter takes them: a refused one is
    // told, left empty and framed red for the operator to key.
    if (!m_talao->data.isEmpty()) {
        QDateTime data;
        if (const std::optional<Recusa> recusa = Regras::recusaData(m_talao->data, hoje(), data)) {
            bldDtEmissao->setCaption(QString());
            recusaCampo(CampoData, Msg(*recusa));
            return;
        }
        stDtEmissao = m_talao->data;
    }
    QString mesa, sala;
    if (const std::optional<Recusa> recusa = procuraMesa(m_talao->mesa, mesa, sala)) {
        recusaCampo(CampoMesa, Msg(*recusa));
        return;
    }
    bldNrMesa->setCaption(mesa);
    if (!mesa.isEmpty())
        stCdSala = sala;
    if (documentoJaGravado())
        return;
    // The first field still to key; with the whole header there, the product code.
    inCampoAtual = m_talao->ordem.isEmpty()      ? CampoOrdem
                   : m_talao->serie.isEmpty()    ? CampoSerie
                   : m_talao->subSerie.isEmpty() ? CampoSubSerie
                   : m_talao->data.isEmpty()     ? CampoData
                                                 : CampoCodigo;
    MudaCor();
}

void TfrmRegVenMan::mostraTalao()
{
    // The operator is leaving: a report the store cannot give is told, and the way out stays.
    try {
        const QVariant resposta = getTalao(contexto.stCdFilial, contexto.stCdLoja,
                                           m_talao->serie, m_talao->subSerie, m_talao->de,
                                           m_talao->ate);
        if (resposta.typeId() == QMetaType::QString) {
            const QString recusa = recusaDaLoja(recusaDaUltimaChamada(), resposta.toString());
            mensagemErro(recusa.isEmpty() ? resposta.toString() : recusa);
            return;
        }
        // Every number of the pad, recorded or missing, with the recorded sale's particulars.
        using namespace Decl;
        ClientDataSet talao(QStringLiteral("cdsTalao"));
        talao.setFieldDecls(
            {field("NUMERO", FieldType::LargeInt, 6).label(Msg("TALAO_NUMERO")),
             text("SITUACAO", 7).label(Msg("TALAO_SITUACAO")),
             // Wide enough for the date and the time.
             field("DTHRGRAVACAO", FieldType::DateTime, 18).label(Msg("TALAO_GRAVADA_EM")),
             text("CDCAIXA", 3).label(Msg("TALAO_CAIXA")),
             text("CDOPERADOR", 8).label(Msg("TALAO_OPERADOR")),
             field("VRTOTVENDA", FieldType::Float, 9).label(Msg("TALAO_TOTAL")).currency()});
        talao.setData(pacoteDoServidor(resposta, "getTalao"));
        int faltam = 0;
        for (talao.First(); !talao.Eof(); talao.Next())
            faltam += talao.FieldByName(QStringLiteral("SITUACAO")).AsString()
                      == QLatin1String("falta");
        talao.First();
        const qint64 numeros = m_talao->ate - m_talao->de + 1;
        Pesquisa(&talao,
                 Msg("TALAO_REL").arg(m_talao->serie, m_talao->subSerie,
                                      QString::number(m_talao->de), QString::number(m_talao->ate),
                                      QString::number(numeros - faltam), QString::number(faltam)),
                 QString(), 0, 0, 0, 0, 0);
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
    }
}
