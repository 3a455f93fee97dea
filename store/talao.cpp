#include "talao.h"

#include "exception.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace Talao {

namespace {

// The report's columns, as getTalao names them.
struct Colunas
{
    int numero, situacao, gravada, caixa, operador, total;

    explicit Colunas(const DataPacket &p)
        : numero(p.indexOf(QStringLiteral("NUMERO"))),
          situacao(p.indexOf(QStringLiteral("SITUACAO"))),
          gravada(p.indexOf(QStringLiteral("DTHRGRAVACAO"))),
          caixa(p.indexOf(QStringLiteral("CDCAIXA"))),
          operador(p.indexOf(QStringLiteral("CDOPERADOR"))),
          total(p.indexOf(QStringLiteral("VRTOTVENDA")))
    {
        if (numero < 0 || situacao < 0 || gravada < 0 || caixa < 0 || operador < 0 || total < 0)
            throw Exception(QStringLiteral("O relatório do talão veio sem as suas colunas"));
    }
};

bool falta(const DataPacket &p, const Colunas &c, int linha)
{
    return p.textAt(linha, c.situacao) == QLatin1String("falta");
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
QByteArray campoCsv(const QString &texto)
{
    QByteArray bytes = texto.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace("\"", "\"\"") + '"';
    return bytes;
}

// The missing numbers, consecutive ones as a range: "312, 331 a 335, 347".
QString listaDeFaltas(const DataPacket &p, const Colunas &c)
{
    QStringList partes;
    qint64 inicio = -1, fim = -1;
    const auto fecha = [&] {
        if (inicio < 0) return;
        partes << (inicio == fim ? QString::number(inicio)
                                 : QStringLiteral("%1 a %2").arg(inicio).arg(fim));
    };
    for (int r = 0; r < p.rowCount(); ++r) {
        if (!falta(p, c, r)) continue;
        const qint64 n = p.value(r, c.numero).toLongLong();
        if (inicio >= 0 && n == fim + 1) {
            fim = n;
            continue;
        }
        fecha();
        inicio = fim = n;
    }
    fecha();
    return partes.join(QStringLiteral(", "));
}

// The page as HTML, its numbers in `grupos` side-by-side groups of columns, top to bottom.
QString html(const DataPacket &p, const Colunas &c, const Pedido &pedido, int grupos)
{
    const QLocale locale;
    const int faltam = faltas(p);
    QString h = QStringLiteral("<h2>Talão de vendas manuais</h2><p>Filial %1 &middot; Loja %2 "
                               "&middot; Série %3 &middot; Subsérie %4 &middot; números %5 a "
                               "%6</p><p><b>%7 números: %8 gravados, %9 em falta.</b>")
                    .arg(pedido.cdFilial.toHtmlEscaped(), pedido.cdLoja.toHtmlEscaped(),
                         pedido.nrSerie.toHtmlEscaped(), pedido.nrSubSerie.toHtmlEscaped(),
                         QString::number(pedido.de), QString::number(pedido.ate),
                         locale.toString(p.rowCount()), locale.toString(p.rowCount() - faltam),
                         locale.toString(faltam));
    if (faltam > 0) h += QStringLiteral("<br>Em falta: ") + listaDeFaltas(p, c);
    h += QStringLiteral("</p><table width=\"100%\" border=\"1\" cellspacing=\"0\" "
                        "cellpadding=\"2\" style=\"border-collapse: collapse\"><tr>");
    for (int g = 0; g < grupos; ++g)
        h += QStringLiteral("<th>Número</th><th>Situação</th><th>Gravada em</th><th>Caixa</th>"
                            "<th>Operador</th><th>Total</th>");
    h += QStringLiteral("</tr>");
    const int linhas = (p.rowCount() + grupos - 1) / grupos;
    for (int l = 0; l < linhas; ++l) {
        h += QStringLiteral("<tr>");
        for (int g = 0; g < grupos; ++g) {
            const int r = g * linhas + l;
            if (r >= p.rowCount()) {
                h += QStringLiteral("<td></td>").repeated(6);
                continue;
            }
            const bool emFalta = falta(p, c, r);
            h += QStringLiteral("<td align=\"right\">%1</td><td>%2</td>")
                     .arg(p.value(r, c.numero).toLongLong())
                     .arg(emFalta ? QStringLiteral("<b>falta</b>") : QStringLiteral("gravada"));
            if (emFalta) {
                h += QStringLiteral("<td></td>").repeated(4);
                continue;
            }
            h += QStringLiteral("<td>%1</td><td>%2</td><td>%3</td><td align=\"right\">%4</td>")
                     .arg(locale.toString(p.value(r, c.gravada).toDateTime(),
                                          QLocale::ShortFormat),
                          p.textAt(r, c.caixa).toString().toHtmlEscaped(),
                          p.textAt(r, c.operador).toString().toHtmlEscaped(),
                          p.isNull(r, c.total)
                              ? QString()
                              : locale.toString(p.value(r, c.total).toDouble(), 'f', 2));
        }
        h += QStringLiteral("</tr>");
    }
    h += QStringLiteral("</table><p><small>Emitido em %1 por qelstore.</small></p>")
             .arg(locale.toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    return h;
}

} // namespace

int faltas(const DataPacket &relatorio)
{
    const Colunas c(relatorio);
    int n = 0;
    for (int r = 0; r < relatorio.rowCount(); ++r)
        n += falta(relatorio, c, r) ? 1 : 0;
    return n;
}

QByteArray textoCsv(const DataPacket &relatorio)
{
    const Colunas c(relatorio);
    QByteArray csv("numero,situacao,gravada_em,caixa,operador,total\n");
    for (int r = 0; r < relatorio.rowCount(); ++r) {
        csv += QByteArray::number(relatorio.value(r, c.numero).toLongLong()) + ',';
        if (falta(relatorio, c, r)) {
            csv += "falta,,,,\n";
            continue;
        }
        csv += "gravada,"
               + relatorio.value(r, c.gravada)
                     .toDateTime()
                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     .toLatin1()
               + ',' + campoCsv(relatorio.textAt(r, c.caixa).toString()) + ','
               + campoCsv(relatorio.textAt(r, c.operador).toString()) + ','
               + (relatorio.isNull(r, c.total)
                      ? QByteArray()
                      : QByteArray::number(relatorio.value(r, c.total).toDouble(), 'f', 2))
               + '\n';
    }
    return csv;
}

void gravaPdf(const DataPacket &relatorio, const Pedido &pedido, const QString &arquivo)
{
    const Colunas c(relatorio);
    QPdfWriter writer(arquivo);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("qelstore"));
    writer.setTitle(QStringLiteral("Talão %1 a %2").arg(pedido.de).arg(pedido.ate));
    QPainter painter;
    if (!painter.begin(&writer))
        throw Exception(QStringLiteral("Não foi possível escrever o PDF em %1").arg(arquivo));
    const QSizeF pagina = writer.pageLayout().paintRectPixels(writer.resolution()).size();

    // The page is the pad: as many groups of columns as make the print largest, and a range
    // too long for the page at full size drawn smaller (laid out wider by as much, so the
    // smaller print still spans the page and can only get shorter).
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    const auto escala = [&](int grupos) {
        doc.setHtml(html(relatorio, c, pedido, grupos));
        doc.setTextWidth(pagina.width());
        const qreal altura = doc.size().height();
        if (altura <= pagina.height()) return qreal(1);
        const qreal s = pagina.height() / altura;
        doc.setTextWidth(pagina.width() / s);
        return s;
    };
    int melhor = 1;
    qreal maior = escala(1);
    for (int grupos = 2; grupos <= 4 && maior < 1; ++grupos) {
        const qreal s = escala(grupos);
        if (s > maior * 1.05) {
            maior = s;
            melhor = grupos;
        }
    }
    const qreal s = escala(melhor);
    painter.scale(s, s);
    doc.drawContents(&painter);
    if (!painter.end())
        throw Exception(QStringLiteral("Não foi possível escrever o PDF em %1").arg(arquivo));
}

} // namespace Talao
