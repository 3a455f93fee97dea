#include "contexto.h"

#include "clientdataset.h"

namespace {

QString texto(ClientDataSet &ds, const char *column)
{
    return ds.FieldByName(QString::fromLatin1(column)).AsString();
}

} // namespace

void Contexto::lerParametros(ClientDataSet &p)
{
    Contexto c = *this;
    c.stCdFilial = texto(p, "CDFILIAL");
    c.stIdEsquema = texto(p, "IDESQUEMA");
    c.stCdLoja = texto(p, "CDLOJA");
    c.stCdCCusClie = texto(p, "CDCCUSCLIE");
    c.dtAberCaix = p.FieldByName(QStringLiteral("DTABERCAIX")).AsDateTime();
    c.stCdEmpresa = texto(p, "CDEMPRESA");
    c.stCdCaixa = texto(p, "CDCAIXA");
    c.idPaisIntegra = texto(p, "IDPAISINTEGRA");
    c.nrSerieEcf = texto(p, "NRSERIEECF");
    c.idTipoImpFis = p.FieldByName(QStringLiteral("IDTIPOIMPFIS")).AsInteger();
    c.stDsModeloEcf = texto(p, "DSMODELOECFVE");
    c.stDsMarcaEcf = texto(p, "DSMARCAECFVE");
    c.stDsEcfImp = texto(p, "ECFIMP");
    c.sgEstadoFili = texto(p, "SGESTADOFILI");
    c.dsDirCad = texto(p, "DSDIRCAD");
    texto(p, "STTOTCV"); // read for the check only
    c.dsObsCupFis = texto(p, "DSOBSCUPFIS");
    c.idImpBarrCup = texto(p, "IDIMPBARRCUP");
    // Read for the check only: nothing of the system uses them.
    for (const char *unused : {"IDIMPSALDOCUPOM", "IdTpTelaVe", "DSMENSCPFCUP", "NRINSJUREMPR",
                               "CDINSCESTAEMPR", "IDPARIMPRLIMVDC", "NRSERIEIMP"})
        texto(p, unused);
    *this = c;
}

void Contexto::lerOperador(ClientDataSet &acesso)
{
    const QString codigo = texto(acesso, "CDOPERADOR");
    nmOperador = texto(acesso, "NMOPERADOR");
    cdOperador = codigo;
}

void Contexto::lerMovimento(ClientDataSet &movimento)
{
    dtMovimento = movimento.FieldByName(QStringLiteral("DATAMOVIMENTO")).AsDateTime();
}
