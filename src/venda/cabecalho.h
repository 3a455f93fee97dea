#pragma once

#include "recusa.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// The sale's header as keyed: the hand-written document (order, series, sub-series), its issue
// date and the table it was served at, with the table's room.
struct Cabecalho
{
    QString ordem, serie, subSerie;
    QString data;       // dd/mm/yyyy, as keyed
    QDateTime emissao;  // that date at midnight, once checked
    QString mesa, sala; // the table as keyed; once checked, as the store lists it, and its room

    enum class Campo { Ordem, Serie, SubSerie, Data, Mesa };
    struct RecusaDoCampo
    {
        Campo campo;
        Recusa recusa;
        int largura = 0; // of the column a document field does not fit
    };
    // The widths of the document's columns in the stored sale (0: no limit).
    struct Larguras
    {
        int ordem = 0, serie = 0, subSerie = 0;
    };
    // The open table a code names (padded) and its room, both empty for no table; the refusal
    // when the code names no open table.
    using ProcuraMesa =
        std::function<std::optional<Recusa>(const QString &code, QString &mesa, QString &sala)>;

    // Every field checked as Enter checks it, in the order the operator keys them: the first
    // field refused and why; otherwise the date and the table's room are filled in.
    std::optional<RecusaDoCampo> confere(const QDateTime &hoje, const Larguras &larguras,
                                         const ProcuraMesa &procuraMesa);
};
