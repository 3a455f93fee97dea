#include "recusa.h"

#include <iterator>

namespace {

// In the order of the enum; one key each.
constexpr const char *Chaves[] = {
    "DATA_INV",      "DATA_MAIOR",    "BLOQ_NUM_MESA",    "MESA_NCAD",
    "QUANT_ZERO",    "QUANT_LIMITE",  "VAL_NEGATIVO",     "VAL_CENTAVOS",
    "ORD_DEV_INF",   "SERIE_INF",     "SUBSERIE_INF",     "DT_DEV_INF",
    "ORDEM_LARGURA", "SERIE_LARGURA", "SUBSERIE_LARGURA", "VENDA_SEM_PASTA",
    "VENDA_FORA",
};
static_assert(std::size(Chaves) == int(Recusa::VendaFora) + 1, "one key per refusal");

} // namespace

const char *chave(Recusa recusa)
{
    return Chaves[int(recusa)];
}
