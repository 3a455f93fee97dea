#pragma once

#include "cabecalho.h"

#include <QString>

// A pad of numbered paper slips keyed one after another: the header the next slip opens with,
// and the numbers of the pad recorded so far.
struct Talao
{
    // The next slip's header, as the operator would key it; an empty field is keyed as usual.
    QString ordem, serie, subSerie, data, mesa;
    // The lowest and highest order number recorded in this pad; 0 while none is.
    qint64 de = 0, ate = 0;
    bool gravada = false; // the last slip was recorded

    // The slip after `gravado`, which was just recorded: the same series, sub-series, date and
    // table, the order number one more; the pad's numbers widened to take it in.
    void registra(const Cabecalho &gravado);
    bool vazio() const { return ate == 0; }

    // The order number after `ordem`, as wide as it was keyed ("0299" gives "0300", "999"
    // gives "1000"); empty for an order that is not all digits, which the operator keys anew.
    static QString proximaOrdem(const QString &ordem);
};
