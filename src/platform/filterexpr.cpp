#include "filterexpr.h"

#include "conversions.h"
#include "datapacket.h"
#include "exception.h"

#include <QDateTime>

#include <cmath>

struct FilterExpr::Node
{
    enum Kind { And, Or, Not, Compare, IsNull, IsNotNull, Field, Literal, Null } kind;
    explicit Node(Kind k) : kind(k) {}
    enum Op { Eq, Ne, Lt, Gt, Le, Ge } op = Eq;
    std::shared_ptr<const Node> a, b;
    int column = -1;
    QString text;       // literal
    bool numeric = false;
    double number = 0;
};

namespace {

using NodeP = std::shared_ptr<const FilterExpr::Node>;
using Node = FilterExpr::Node;

struct Token
{
    enum Kind { End, Name, String, Number, Op, LParen, RParen } kind = End;
    QString text;
    qsizetype pos = 0;
};

class Parser
{
public:
    Parser(const QString &text, const std::function<int(const QString &)> &column)
        : m_text(text), m_column(column)
    {
        advance();
    }

    NodeP parseAll()
    {
        NodeP n = parseOr();
        if (m_tok.kind != Token::End)
            error(QStringLiteral("'%1' inesperado").arg(m_tok.text));
        return n;
    }

private:
    [[noreturn]] void error(const QString &what) const
    {
        throw Exception(QStringLiteral("Filtro inválido \"%1\": %2 (posição %3)")
                            .arg(m_text, what).arg(m_tok.pos + 1));
    }

    bool isKeyword(const char *kw) const
    {
        return m_tok.kind == Token::Name
               && m_tok.text.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0;
    }

    void advance()
    {
        const QString &s = m_text;
        qsizetype i = m_pos;
        while (i < s.size() && s[i].isSpace())
            ++i;
        m_tok = Token();
        m_tok.pos = i;
        if (i >= s.size()) {
            m_pos = i;
            return;
        }
        const QChar c = s[i];
        if (c.isLetter() || c == u'_') {
            qsizetype j = i;
            while (j < s.size() && (s[j].isLetterOrNumber() || s[j] == u'_'))
                ++j;
            m_tok.kind = Token::Name;
            m_tok.text = s.mid(i, j - i);
            m_pos = j;
        } else if (c == u'[') {
            const qsizetype j = s.indexOf(u']', i + 1);
            if (j < 0)
                error(QStringLiteral("nome de campo sem ']'"));
            m_tok.kind = Token::Name;
            m_tok.text = s.mid(i + 1, j - i - 1);
            m_pos = j + 1;
        } else if (c == u'\'') {
            QString lit;
            qsizetype j = i + 1;
            for (;;) {
                if (j >= s.size())
                    error(QStringLiteral("texto sem aspas de fechamento"));
                if (s[j] == u'\'') {
                    if (j + 1 < s.size() && s[j + 1] == u'\'') {
                        lit.append(u'\'');
                        j += 2;
                        continue;
                    }
                    break;
                }
                lit.append(s[j++]);
            }
            m_tok.kind = Token::String;
            m_tok.text = lit;
            m_pos = j + 1;
        } else if (c.isDigit() || ((c == u'-' || c == u'.') && i + 1 < s.size()
                                   && s[i + 1].isDigit())) {
            qsizetype j = i + 1;
            while (j < s.size() && (s[j].isDigit() || s[j] == u'.'))
                ++j;
            m_tok.kind = Token::Number;
            m_tok.text = s.mid(i, j - i);
            m_pos = j;
        } else if (c == u'(' || c == u')') {
            m_tok.kind = c == u'(' ? Token::LParen : Token::RParen;
            m_tok.text = c;
            m_pos = i + 1;
        } else if (c == u'=' || c == u'<' || c == u'>' || c == u'!') {
            qsizetype j = i + 1;
            if (j < s.size() && (s[j] == u'=' || (c == u'<' && s[j] == u'>')))
                ++j;
            m_tok.kind = Token::Op;
            m_tok.text = s.mid(i, j - i);
            if (m_tok.text == u"!")
                error(QStringLiteral("'!' inesperado"));
            m_pos = j;
        } else {
            m_tok.text = c;
            error(QStringLiteral("caractere '%1' inesperado").arg(c));
        }
    }

    static NodeP make(Node n) { return std::make_shared<const Node>(std::move(n)); }

    NodeP parseOr()
    {
        NodeP left = parseAnd();
        while (isKeyword("OR")) {
            advance();
            Node n(Node::Or);
            n.a = left;
            n.b = parseAnd();
            left = make(std::move(n));
        }
        return left;
    }

    NodeP parseAnd()
    {
        NodeP left = parseNot();
        while (isKeyword("AND")) {
            advance();
            Node n(Node::And);
            n.a = left;
            n.b = parseNot();
            left = make(std::move(n));
        }
        return left;
    }

    NodeP parseNot()
    {
        // Bounded nesting: a hostile text must not exhaust the stack.
        if (++m_depth > 200)
            error(QStringLiteral("expressão aninhada demais"));
        struct Leave { int &d; ~Leave() { --d; } } leave{m_depth};
        if (isKeyword("NOT")) {
            advance();
            Node n(Node::Not);
            n.a = parseNot();
            return make(std::move(n));
        }
        return parsePredicate();
    }

    NodeP parsePredicate()
    {
        if (m_tok.kind == Token::LParen) {
            advance();
            NodeP inner = parseOr();
            if (m_tok.kind != Token::RParen)
                error(QStringLiteral("falta ')'"));
            advance();
            return inner;
        }
        NodeP left = parseOperand();
        if (isKeyword("IS")) {
            advance();
            bool negate = false;
            if (isKeyword("NOT")) {
                negate = true;
                advance();
            }
            if (!isKeyword("NULL"))
                error(QStringLiteral("esperado NULL após IS"));
            advance();
            Node n(negate ? Node::IsNotNull : Node::IsNull);
            n.a = left;
            return make(std::move(n));
        }
        if (m_tok.kind != Token::Op)
            error(QStringLiteral("esperado um operador de comparação"));
        Node n(Node::Compare);
        const QString op = m_tok.text;
        if (op == u"=")
            n.op = Node::Eq;
        else if (op == u"<>" || op == u"!=")
            n.op = Node::Ne;
        else if (op == u"<")
            n.op = Node::Lt;
        else if (op == u">")
            n.op = Node::Gt;
        else if (op == u"<=")
            n.op = Node::Le;
        else if (op == u">=")
            n.op = Node::Ge;
        else
            error(QStringLiteral("operador '%1' desconhecido").arg(op));
        advance();
        n.a = left;
        n.b = parseOperand();
        return make(std::move(n));
    }

    NodeP parseOperand()
    {
        Node n(Node::Literal);
        switch (m_tok.kind) {
        case Token::String:
            n.text = m_tok.text;
            n.number = n.text.toDouble(&n.numeric);
            break;
        case Token::Number:
            n.text = m_tok.text;
            n.number = n.text.toDouble(&n.numeric);
            if (!n.numeric)
                error(QStringLiteral("número '%1' inválido").arg(n.text));
            break;
        case Token::Name:
            if (isKeyword("NULL")) {
                n.kind = Node::Null;
                break;
            }
            if (isKeyword("AND") || isKeyword("OR") || isKeyword("NOT") || isKeyword("IS"))
                error(QStringLiteral("'%1' fora de lugar").arg(m_tok.text));
            n.kind = Node::Field;
            n.column = m_column(m_tok.text);
            if (n.column < 0)
                error(QStringLiteral("campo '%1' não encontrado").arg(m_tok.text));
            break;
        default:
            error(m_tok.kind == Token::End ? QStringLiteral("fim inesperado")
                                           : QStringLiteral("'%1' inesperado").arg(m_tok.text));
        }
        advance();
        return make(std::move(n));
    }

    const QString &m_text;
    std::function<int(const QString &)> m_column;
    qsizetype m_pos = 0;
    int m_depth = 0;
    Token m_tok;
};

struct Value
{
    bool null = true;
    QString text;
    bool numeric = false;
    double number = 0;
};

Value evalOperand(const Node &n, const DataPacket &p, int row)
{
    Value v;
    if (n.kind == Node::Literal) {
        v.text = n.text;
        v.null = v.text.isEmpty();
        v.numeric = n.numeric;
        v.number = n.number;
    } else if (n.kind == Node::Field && !p.isNull(row, n.column)) {
        const FieldDef &f = p.fields()[n.column];
        switch (f.type) {
        case FieldType::String:
        case FieldType::WideString:
        case FieldType::Memo:
            // Fixed-length padding is storage, not value.
            v.text = f.fixed ? p.textAt(row, n.column).trimmed().toString()
                             : p.textAt(row, n.column).toString();
            break;
        case FieldType::Date:
            v.text = Sys::DateToStr(p.value(row, n.column).toDate());
            break;
        case FieldType::DateTime:
            v.text = Sys::DateTimeToStr(p.value(row, n.column).toDateTime());
            break;
        case FieldType::Time:
            v.text = Sys::TimeToStr(p.value(row, n.column).toTime());
            break;
        case FieldType::Boolean:
            v.text = p.value(row, n.column).toBool() ? QStringLiteral("True")
                                                     : QStringLiteral("False");
            break;
        default:
            v.number = p.value(row, n.column).toDouble();
            v.numeric = true;
            v.text = QString::number(v.number, 'g', QLocale::FloatingPointShortest);
        }
        v.null = v.text.isEmpty();
    }
    return v;
}

bool eval(const Node &n, const DataPacket &p, int row)
{
    switch (n.kind) {
    case Node::And:
        return eval(*n.a, p, row) && eval(*n.b, p, row);
    case Node::Or:
        return eval(*n.a, p, row) || eval(*n.b, p, row);
    case Node::Not:
        return !eval(*n.a, p, row);
    case Node::IsNull:
        return evalOperand(*n.a, p, row).null;
    case Node::IsNotNull:
        return !evalOperand(*n.a, p, row).null;
    case Node::Compare: {
        const Value a = evalOperand(*n.a, p, row);
        const Value b = evalOperand(*n.b, p, row);
        int cmp = 0;
        if (a.numeric && b.numeric)
            cmp = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        else
            cmp = a.text.compare(b.text, Qt::CaseSensitive);
        switch (n.op) {
        case Node::Eq: return cmp == 0;
        case Node::Ne: return cmp != 0;
        case Node::Lt: return cmp < 0;
        case Node::Gt: return cmp > 0;
        case Node::Le: return cmp <= 0;
        case Node::Ge: return cmp >= 0;
        }
        return false;
    }
    case Node::Field:
    case Node::Literal:
    case Node::Null:
        break;
    }
    return false; // a bare operand is not a condition; the parser never yields one
}

} // namespace

FilterExpr::FilterExpr() = default;

FilterExpr FilterExpr::parse(const QString &text,
                             const std::function<int(const QString &)> &column)
{
    FilterExpr e;
    if (text.trimmed().isEmpty())
        return e;
    Parser parser(text, column);
    e.m_root = parser.parseAll();
    return e;
}

bool FilterExpr::isEmpty() const
{
    return !m_root;
}

bool FilterExpr::matches(const DataPacket &packet, int row) const
{
    return !m_root || eval(*m_root, packet, row);
}
