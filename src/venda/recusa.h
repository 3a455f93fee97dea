#pragma once

// Why the sale does not take a value the operator keyed. Each refusal has one message in the
// screen's catalogue, under the key chave() gives; the screen shows it and puts the focus
// where the operator corrects the value.
enum class Recusa {
    DataInvalida,      // not a date
    DataMaior,         // an issue date later than today
    MesaBloqueada,     // a table number of more than four digits
    MesaNaoCadastrada, // no open table of that number
    QuantidadeZero,    // zero or below
    QuantidadeLimite,  // an item, or the sale with it, past any amount
    ValorNegativo,     // a payment below zero
    ValorCentavos,     // a payment with a fraction of a cent
    OrdemVazia,        // a document field left empty
    SerieVazia,
    SubSerieVazia,
    DataVazia,         // no issue date
    OrdemLonga,        // a document field wider than its column
    SerieLonga,
    SubSerieLonga,
    ProdutoInvalido,   // a product code the product list does not hold
    CodigoVazio,       // no product code
    QuantidadeVazia,   // no quantity
    SemProduto,        // a payment keyed before any item
    TipoComVendaPaga,  // a payment type chosen for a sale already paid in full
    ValorComVendaPaga, // a payment value keyed for a sale already paid in full
    TipoInvalido,      // a payment type the list does not hold
    TipoVazio,         // no payment type
    ValorVazio,        // no payment value
    ValorZero,         // a payment of nothing
    SemItens,          // a sale recorded without items
    SemPagamentos,     // ... or without payments
    ValoresDiferentes, // payments that do not add up to the items
    SemFilial,         // no branch, register or operator to store the sale under
    SemCaixa,
    SemOperador,
    VendaSemPasta,     // the sales file's folder does not exist
    VendaFora,         // the sales file's folder lies outside the install
};

// The catalogue key of the refusal's message.
const char *chave(Recusa recusa);
