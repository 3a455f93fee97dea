#include "recusa.h"

#include <iterator>

namespace {

// In the order of the enum; one key each.
constexpr const char *Chaves[] = {
    "DATA_INV",      "DATA_MAIOR",    "BLOQ_NUM_MESA",    "MESA_NCAD",
    "QUANT_ZERO",    "QUANT_LIMITE",  "VAL_NEGATIVO",     "VAL_CENTAVOS",
    "ORD_DEV_INF",   "SERIE_INF",     "SUBSERIE_INF",     "DT_DEV_INF",
    "ORDEM_LARGURA", "SERIE_LARGURA", "SUBSERIE_LARGURA", "COD_PROD_INV",
    "CODIGO_INF",    "QUANT_DEV_INF", "SEM_PROD",         "RECEBIMENTO_MAIOR",
    "VR_RECEB_MAIOR", "COD_REC_INV",  "RECE_DEV_INF",     "VAL_DEV_INF",
    "ZERO",          "SEMPROD",       "SEMRECEB",         "VAL_DIF",
    "CTX_FILIAL",    "CTX_CAIXA",     "CTX_OPERADOR",     "VENDA_SEM_PASTA",
    "VENDA_FORA",
};
static_assert(std::size(Chaves) == int(Recusa::VendaFora) + 1, "one key per refusal");

} // namespace

const char *chave(Recusa recusa)
{
    return Chaves[int(recusa)];
}
