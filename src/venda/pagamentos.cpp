#include "pagamentos.h"

#include "clientdataset.h"
#include "regras.h"

bool Pagamentos::vazia() const
{
    return !m_lista.Active() || m_lista.IsEmpty();
}

Dinheiro::Centavos Pagamentos::total() const
{
    return Dinheiro::somaDaColuna(m_lista.Data(), QStringLiteral("VRTIPORECE"));
}

Dinheiro::Centavos Pagamentos::restante(Dinheiro::Centavos totalVenda) const
{
    return Regras::restante(totalVenda, total());
}

Pagamentos::Avaliacao Pagamentos::avalia(double valor, Dinheiro::Centavos totalVenda) const
{
    // A negative payment would lower the sum paid and let a larger one through, and a fraction
    // of a cent would be paid and stored as no cash register can count it.
    if (const std::optional<Recusa> recusa = Regras::recusaValor(valor))
        return {recusa, false, 0};
    const Dinheiro::Centavos resta = restante(totalVenda);
    if (Regras::cabeNoRestante(valor, resta))
        return {std::nullopt, false, Dinheiro::emCentavos(valor)};
    return {std::nullopt, true, resta};
}

void Pagamentos::adiciona(const QString &filial, ClientDataSet &tipos,
                          Dinheiro::Centavos centavos)
{
    if (!m_lista.Active())
        m_lista.CreateDataSet();
    else
        m_lista.Next();
    NewRow linha(m_lista, NewRow::AheadOfCurrent);
    linha["CDFILIAL"].setAsString(filial);
    for (const char *column : {"CDTIPORECE", "NMTIPORECE", "IDTIPORECE", "CDTIPOTROCO",
                               "NRORDTROCO", "DSIMPFISCAL"})
        linha[column].setAsString(tipos.FieldByName(QString::fromLatin1(column)).AsString());
    linha["VRTIPORECE"].setAsFloat(Dinheiro::emReais(centavos));
    linha.post();
}

bool Pagamentos::atualCancelavel() const
{
    return !vazia() && !m_lista.FieldByName(QStringLiteral("CDTIPORECE")).AsString().isEmpty();
}

void Pagamentos::cancelaAtual()
{
    m_lista.Delete();
    if (m_lista.IsEmpty())
        m_lista.Close();
}
