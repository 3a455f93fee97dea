#pragma once

// The package's exported variables: the operating context and the working values of the
// screen. The host reads and writes them between launches, so they keep their values from one
// launch to the next: only the screen's own assignments change them, never a blanket reset.

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
extern QString stSeqItVenda;
extern QString stOperadorLogin;
extern QString stNmOperador;
extern QString stCodProd;
extern QString stCdTipoRece;
extern QString DsDirCad;
extern QString stIdPaisIntegra;
extern QString Lum_NrSerie_CDS;
extern QString Lum_SgEstadoFili;
extern QString stDsObsCupFis;
extern QString stIdImpBarrCup;
extern int Lum_IdTipoImpFis;
extern double doValorRece;
extern double doTotal;
extern bool boRecebimento;
extern bool boAddProd;
extern bool boRecebOk;

// A pad of slips, beyond the single launch: what CriaRegVendaManualTalao opens the next slip
// with (an empty field is keyed as usual) and the lowest and highest order number the pad has
// recorded (0: none). Only the pad's launch writes them; the host may set them to begin a pad
// at a given slip, and clears nothing.
extern QString stTalaoNrOrdem;
extern QString stTalaoNrSerie;
extern QString stTalaoNrSubSerie;
extern QString stTalaoDtEmissao;
extern QString stTalaoNrMesa;
extern qint64 inTalaoDe;
extern qint64 inTalaoAte;

// Unit finalisation of the screen: releases the exported strings.
void releaseExportedStrings();
