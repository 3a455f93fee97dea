#include "globals.h"

TfrmRegVenMan *frmRegVenMan = nullptr;

QString stMsg;
QString stCdCliDeb;
QString stCdConsumidor;
QString stPrecoUn;
QString stQuant;
QString stDtEmissao;
QString stCdSala;
QString stOperadorLogin;
QString stNmOperador;
QString stCodProd;
QString stCdTipoRece;
QString DsDirCad;
QString stIdPaisIntegra;
QString Lum_NrSerie_CDS;
QString Lum_SgEstadoFili;
int Lum_IdTipoImpFis = 0;
double doValorRece = 0;
double doTotal = 0;
bool boRecebimento = false;
bool boAddProd = false;
bool boRecebOk = false;

void releaseExportedStrings()
{
    for (QString *s : {&stMsg, &stCdCliDeb, &stCdConsumidor, &stPrecoUn, &stQuant, &stDtEmissao,
                       &stCdSala, &stOperadorLogin, &stNmOperador, &stCodProd, &stCdTipoRece,
                       &DsDirCad, &stIdPaisIntegra, &Lum_NrSerie_CDS, &Lum_SgEstadoFili})
        *s = QString();
}

void limpaContexto()
{
    for (QString *s : {&stMsg, &stPrecoUn, &stQuant, &stDtEmissao, &stCdSala, &stOperadorLogin,
                       &stNmOperador, &stCodProd, &stCdTipoRece, &DsDirCad, &stIdPaisIntegra,
                       &Lum_NrSerie_CDS, &Lum_SgEstadoFili})
        s->clear();
    Lum_IdTipoImpFis = 0;
    doValorRece = 0;
    doTotal = 0;
    boRecebimento = false;
    boAddProd = false;
    boRecebOk = false;
}
