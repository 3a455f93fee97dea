#include "indicecodigos.h"

#include <QHashFunctions>

namespace {

size_t hashOf(QStringView key)
{
    return qHash(key, 0);
}

} // namespace

QStringView IndiceCodigos::chave(const Tabela &t, QStringView text) const
{
    if (t.largura == 0)
        return text;
    // Fixed-length text matches once both sides are padded: trailing blanks do not count.
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

IndiceCodigos::IndiceCodigos(const DataPacket &packet, const QStringList &columns)
    : m_packet(packet)
{
    const int rows = packet.rowCount();
    size_t capacidade = 16;
    while (capacidade < size_t(rows) * 2)
        capacidade *= 2;
    for (const QString &name : columns) {
        Tabela t;
        const int col = packet.indexOf(name);
        if (col >= 0 && isText(packet.fields().at(col).type)) {
            const FieldDef &f = packet.fields().at(col);
            t.coluna = col;
            t.largura = f.fixed && f.size > 0 ? f.size : 0;
            t.posicoes.assign(capacidade, 0);
            t.mascara = capacidade - 1;
            for (int r = 0; r < rows; ++r) {
                if (packet.isNull(r, col))
                    continue; // a null value matches no code
                const QStringView key = chave(t, packet.textAt(r, col));
                size_t slot = hashOf(key) & t.mascara;
                // The first row keeps a code: a later equal one is not entered.
                while (t.posicoes[slot] != 0
                       && chave(t, packet.textAt(t.posicoes[slot] - 1, col)) != key)
                    slot = (slot + 1) & t.mascara;
                if (t.posicoes[slot] == 0)
                    t.posicoes[slot] = r + 1;
            }
        }
        m_tabelas.push_back(std::move(t));
    }
}

bool IndiceCodigos::cobre(const DataPacket &packet) const
{
    return !m_tabelas.empty() && m_packet.sharesRowsWith(packet);
}

bool IndiceCodigos::indexada(int i) const
{
    return i >= 0 && size_t(i) < m_tabelas.size() && m_tabelas[size_t(i)].coluna >= 0;
}

int IndiceCodigos::linha(int i, QStringView code) const
{
    const Tabela &t = m_tabelas.at(size_t(i));
    // A code longer than a fixed column matches no padded value.
    if (t.largura > 0 && code.size() > t.largura)
        return -1;
    const QStringView key = chave(t, code);
    for (size_t slot = hashOf(key) & t.mascara; t.posicoes[slot] != 0;
         slot = (slot + 1) & t.mascara) {
        const int row = t.posicoes[slot] - 1;
        if (chave(t, m_packet.textAt(row, t.coluna)) == key)
            return row;
    }
    return -1;
}
