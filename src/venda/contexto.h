#pragma once

#include <QDateTime>
#include <QString>

class ClientDataSet;

// The terminal's operating context: branch, store, register, operator, business date and the
// fiscal printer, as the terminal's cache files give it. The screen holds one for a launch and
// hands the exported variables their part of it; each file fills its own part, and the part
// of a file that is not there stays as it was.
struct Contexto
{
    // The parameters file.
    QString stCdFilial;
    QString stIdEsquema; // the scheme of every message the screen shows
    QString stCdLoja;
    QString stCdCCusClie;
    QDateTime dtAberCaix;
    QString stCdEmpresa;
    QString stCdCaixa;
    QString idPaisIntegra;
    QString nrSerieEcf;
    int idTipoImpFis = 0;
    QString stDsModeloEcf;
    QString stDsMarcaEcf;
    QString stDsEcfImp;
    QString sgEstadoFili;
    QString dsDirCad;
    QString dsObsCupFis;
    QString idImpBarrCup;
    QString stCdCliente; // no file fills it: the sale's client columns stay empty

    // The access-control file.
    QString cdOperador;
    QString nmOperador;

    // The business-date file.
    QDateTime dtMovimento;

    // From the current record of each file. Every column the terminal's files carry must be
    // there and read as what it is: otherwise Exception, and nothing of the part changes.
    void lerParametros(ClientDataSet &parametros);
    void lerOperador(ClientDataSet &acesso);
    void lerMovimento(ClientDataSet &movimento);
};
