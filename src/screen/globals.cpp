#include "globals.h"

TfrmRegVenMan *frmRegVenMan = nullptr;

QString stMsg;
QString stCdCliDeb;
QString stCdConsumidor;
QString stPrecoUn;
QString stQuant;
QString stDtEmissao;
QString stCdSala;
QString stSeqItVenda;
QString stOperadorLogin;
QString stNmOperador;
QString stCodProd;
QString stCdTipoRece;
QString DsDirCad;
QString stIdPaisIntegra;
QString Lum_NrSerie_CDS;
QString Lum_SgEstadoFili;
QString stDsObsCupFis;
QString stIdImpBarrCup;
int Lum_IdTipoImpFis = 0;
double doValorRece = 0;
double doTotal = 0;
bool boRecebimento = false;
bool boAddProd = false;
bool boRecebOk = false;
QString stTalaoNrOrdem;
QString stTalaoNrSerie;
QString stTalaoNrSubSerie;
QString stTalaoDtEmissao;
QString stTalaoNrMesa;
qint64 inTalaoDe = 0;
qint64 inTalaoAte = 0;

void releaseExportedStrings()
{
    for (QString *s : {&stMsg, &stCdCliDeb, &stCdConsumidor, &stPrecoUn, &stQuant, &stDtEmissao,
                       &stCdSala, &stSeqItVenda, &stOperadorLogin, &stNmOperador, &stCodProd,
                       &stCdTipoRece, &DsDirCad, &stIdPaisIntegra, &Lum_NrSerie_CDS,
                       &Lum_SgEstadoFili, &stDsObsCupFis, &stIdImpBarrCup, &stTalaoNrOrdem,
                       &stTalaoNrSerie, &stTalaoNrSubSerie, &stTalaoDtEmissao, &stTalaoNrMesa})
        *s = QString();
}
