#pragma once

// The package's exported variables: the operating context and the working values of the
// screen. They keep their values from one launch to the next.

#include <QString>

class TfrmRegVenMan;

extern TfrmRegVenMan *frmRegVenMan; // the running screen; null when no launch is in progress

extern QString stMsg;
extern QString stCdCliDeb;
extern QString stCdConsumidor;
extern QString stPrecoUn;
extern QString stQuant;
extern QString stDtEmissao;
extern QString stCdSala;
extern QString stOperadorLogin;
extern QString stNmOperador;
extern QString stCodProd;
extern QString stCdTipoRece;
extern QString DsDirCad;
extern QString stIdPaisIntegra;
extern QString Lum_NrSerie_CDS;
extern QString Lum_SgEstadoFili;
extern int Lum_IdTipoImpFis;
extern double doValorRece;
extern double doTotal;
extern bool boRecebimento;
extern bool boAddProd;
extern bool boRecebOk;

// Unit finalisation of the screen: releases the exported strings.
void releaseExportedStrings();

// A new launch starts from nothing: the context the cache files fill and the values of the
// sale being keyed are emptied, so nothing of an earlier launch stands in for this one. The
// host's own values (stCdCliDeb, stCdConsumidor) are kept.
void limpaContexto();
