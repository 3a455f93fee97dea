#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class DataPacket;

// A dataset filter text: comparisons (=, <>, <, >, <=, >=) of fields and quoted or numeric
// literals, IS [NOT] NULL, NOT, AND, OR and parentheses. Keywords and field names are
// case-insensitive; text comparisons are case-sensitive.
//
// Values compare as text, or as numbers when both sides are numeric. An empty text counts as
// null, as in the packets written elsewhere, where an empty text and a null are one thing: so
// "X IS NULL" holds for both and "X <> 'S'" holds for a null X.
class FilterExpr
{
public:
    FilterExpr(); // empty: matches every row

    // Throws Exception on a bad text or a name that `column` does not resolve (it returns -1).
    static FilterExpr parse(const QString &text,
                            const std::function<int(const QString &)> &column);

    bool isEmpty() const;
    bool matches(const DataPacket &packet, int row) const;

    struct Node;

private:
    std::shared_ptr<const Node> m_root;
};
