#include "cabecalho.h"

#include "regras.h"

std::optional<Cabecalho::RecusaDoCampo> Cabecalho::confere(const QDateTime &hoje,
                                                           const Larguras &larguras,
                                                           const ProcuraMesa &procuraMesa)
{
    const struct
    {
        const QString &valor;
        Campo campo;
        Recusa vazio, longo;
        int largura;
    } documento[] = {
        {ordem, Campo::Ordem, Recusa::OrdemVazia, Recusa::OrdemLonga, larguras.ordem},
        {serie, Campo::Serie, Recusa::SerieVazia, Recusa::SerieLonga, larguras.serie},
        {subSerie, Campo::SubSerie, Recusa::SubSerieVazia, Recusa::SubSerieLonga,
         larguras.subSerie}};
    for (const auto &d : documento) {
        if (d.valor.isEmpty())
            return RecusaDoCampo{d.campo, d.vazio};
        if (!Regras::cabeNaColuna(d.valor, d.largura))
            return RecusaDoCampo{d.campo, d.longo, d.largura};
    }
    if (data.isEmpty())
        return RecusaDoCampo{Campo::Data, Recusa::DataVazia};
    if (const std::optional<Recusa> recusa = Regras::recusaData(data, hoje, emissao))
        return RecusaDoCampo{Campo::Data, *recusa};
    const QString codigo = mesa;
    if (const std::optional<Recusa> recusa = procuraMesa(codigo, mesa, sala))
        return RecusaDoCampo{Campo::Mesa, *recusa};
    return std::nullopt;
}
