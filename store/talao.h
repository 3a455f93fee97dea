#pragma once

// The pad report of qelstore talao, written from getTalao's packet: CSV for a spreadsheet or a
// script, a PDF page for the manager to print. Part of qelstore only (Qt Gui for the PDF).

#include "datapacket.h"

#include <QByteArray>
#include <QString>

namespace Talao {

// The pad asked for, as the page names it.
struct Pedido
{
    QString cdFilial;
    QString cdLoja;
    QString nrSerie;
    QString nrSubSerie;
    qint64 de = 0;
    qint64 ate = 0;
};

// numero,situacao,gravada_em,caixa,operador,total: one line per number, the date-time as
// yyyy-MM-dd HH:mm:ss and the total with a point and two decimals, empty for a missing number.
QByteArray textoCsv(const DataPacket &relatorio);

// How many numbers of the report are missing.
int faltas(const DataPacket &relatorio);

// One A4 page: the pad, its missing numbers and every number in columns, drawn smaller when a
// long range would not fit. Needs a QGuiApplication. Throws Exception when the file cannot be
// written.
void gravaPdf(const DataPacket &relatorio, const Pedido &pedido, const QString &arquivo);

} // namespace Talao
