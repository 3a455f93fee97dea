#pragma once

#include "datapacket.h"

#include <QStringList>
#include <QStringView>

#include <vector>

// Where each code of a product list is first found, one table per searched column, so that a
// lookup costs the same at 200,000 products as at 2,000 and a miss costs no more than a hit.
// Built once per list read, off the screen's thread; it answers only for the very rows it was
// built over (a copy that shares them), and only for text columns: the others are left to
// ClientDataSet::Locate.
class IndiceCodigos
{
public:
    IndiceCodigos() = default;
    IndiceCodigos(const DataPacket &packet, const QStringList &columns);

    // Built over these rows (no copy of them has been written since).
    bool cobre(const DataPacket &packet) const;
    // The i-th column of the constructor has a table.
    bool indexada(int i) const;
    // The first row whose i-th column holds exactly `code` (as Locate compares it), -1 when
    // none does. Only for an indexed column.
    int linha(int i, QStringView code) const;

private:
    struct Tabela
    {
        int coluna = -1;      // in the packet; -1 when not indexed
        int largura = 0;      // fixed-length text: compared without trailing blanks
        std::vector<qint32> posicoes; // open addressing: row + 1, 0 empty
        size_t mascara = 0;
    };
    QStringView chave(const Tabela &t, QStringView text) const;

    DataPacket m_packet;
    std::vector<Tabela> m_tabelas;
};
