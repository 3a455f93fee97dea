// qelterminal: one terminal of a store keying in manual sales through the real screen, for the
// tests of several terminals on one store. It runs from a directory of its own (its copy of
// the executable beside the terminal's cache files) and reaches the store by QEL_CONEXAO.
//
//   qelterminal --caixa CODE --vendas N --ordem BASE [--serie S] [--subserie U]
//
// Sale i (from 0) is document BASE+i; each is a separate launch of the screen: header, one to
// three items, one or two payments, Alt+G. Message boxes are answered by a scripted presenter
// and touch dialogs refused, so nothing ever waits for a person. Output: "PRONTO" before the
// first launch (the package is loaded, the store not yet reached by it), then one line per sale:
//   GRAVANDO <ordem>                                   right before Alt+G
//   VENDA <ordem> <serie> <subserie> <mesa> <itens> <centavos> <pagamentos>
//   FALHA <ordem>: <what went wrong>
// then "FIM <recorded>/<N>". Exit code 0 only when every sale was recorded.
#include "keyedsale.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include "clientdataset.h"
#include "dbconnection.h"
#include "exception.h"
#include "store.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

struct Contexto
{
    QString filial, loja, caixa;
};

// The terminal this directory belongs to, from its parameters file.
Contexto leParametros()
{
    ClientDataSet p(QStringLiteral("cdsParametros"));
    p.LoadFromFile(TestEnv::exeDir() + QStringLiteral("/PARAMETROSQEL.CDS"));
    return {p.FieldByName(QStringLiteral("CDFILIAL")).AsString(),
            p.FieldByName(QStringLiteral("CDLOJA")).AsString(),
            p.FieldByName(QStringLiteral("CDCAIXA")).AsString()};
}

// Products the store's own price table sells at a plain price: no weighed, blocked or
// variable-price product, no discount or surcharge, none on promotion.
QList<VendaDigitada::Item> produtosComPreco(const Contexto &c)
{
    QList<VendaDigitada::Item> produtos;
    const auto store = Store::connect(qEnvironmentVariable("QEL_CONEXAO"));
    {
        QSqlQuery q(store->database());
        q.prepare(QStringLiteral(
            "SELECT I.CDPRODUTO, I.VRPRECO FROM ITTABPRECO I "
            "JOIN TABPRECO T ON T.CDTABPRECO = I.CDTABPRECO "
            "JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO "
            "WHERE T.IDTIPOTABPRECO = 'L' AND T.CDFILIAL = :F AND T.CDLOJA = :L "
            "AND I.VRPRECO > 0 AND COALESCE(I.VRDESCONTO, 0) = 0 "
            "AND COALESCE(I.VRACRESCIMO, 0) = 0 AND COALESCE(I.IDPRECVARIA, 'N') <> 'S' "
            "AND COALESCE(P.IDPESAPROD, 'N') <> 'S' AND COALESCE(P.IDBLOQPROD, 'N') <> 'S' "
            "AND P.DTINIVGPROMOC IS NULL AND I.CDPRODUTO < '000300' ORDER BY I.CDPRODUTO"));
        q.bindValue(QStringLiteral(":F"), c.filial);
        q.bindValue(QStringLiteral(":L"), c.loja);
        if (!q.exec())
            throw Exception(q.lastError().text());
        while (q.next())
            produtos.append({q.value(0).toString(), q.value(0).toString(), QString(),
                             std::llround(q.value(1).toDouble() * 100)});
    }
    return produtos;
}

// Sale i of this terminal, the same on every run.
VendaDigitada venda(int i, int semente, qint64 base, const QList<VendaDigitada::Item> &produtos)
{
    VendaDigitada v;
    v.ordem = QString::number(base + i);
    v.mesa = QString::number(i % 40 + 1); // the free tables of the demo's main hall
    const int nItens = 1 + (i + semente) % 3;
    for (int k = 0; k < nItens; ++k) {
        VendaDigitada::Item it = produtos[(i * 7 + k * 13 + semente * 5) % produtos.size()];
        it.quantidade = QString::number(1 + (i + k) % 3);
        v.itens.append(it);
    }
    if ((i + semente) % 2 == 0) {
        v.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), v.total()}};
    } else {
        const qint64 dinheiro = v.total() / 3;
        v.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), dinheiro},
                        {QStringLiteral("2"), QStringLiteral("002"), v.total() - dinheiro}};
    }
    return v;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnv::usePtBr();

    QCommandLineParser parser;
    const auto option = [&parser](const char *name, const char *what, const char *value,
                                  const char *standard = nullptr) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(what),
                          QString::fromLatin1(value), QString::fromLatin1(standard)});
    };
    option("caixa", "register code", "code");
    option("vendas", "sales to record", "n", "1");
    option("ordem", "order number of the first sale", "n");
    option("serie", "series", "s", "2");
    option("subserie", "sub-series", "s", "1");
    parser.process(app);
    bool ok1 = false, ok2 = false;
    const int n = parser.value(QStringLiteral("vendas")).toInt(&ok1);
    const qint64 base = parser.value(QStringLiteral("ordem")).toLongLong(&ok2);
    if (!ok1 || !ok2 || n < 1 || base < 1 || parser.value(QStringLiteral("caixa")).isEmpty()) {
        out() << "uso: qelterminal --caixa CODIGO --vendas N --ordem BASE\n";
        return 2;
    }

    QList<VendaDigitada::Item> produtos;
    Contexto contexto;
    try {
        contexto = leParametros();
        // A directory prepared for another register would record under the wrong code.
        if (contexto.caixa != parser.value(QStringLiteral("caixa"))) {
            out() << "FALHA: os parâmetros deste diretório são do caixa " << contexto.caixa
                  << Qt::endl;
            return 2;
        }
        produtos = produtosComPreco(contexto);
    } catch (const std::exception &e) {
        out() << "FALHA: " << exceptionMessage(e) << Qt::endl;
        return 2;
    }
    if (produtos.isEmpty()) {
        out() << "FALHA: a tabela de preços da loja não tem produtos" << Qt::endl;
        return 2;
    }

    QString erro;
    const Criador cria = carregaPacote(QStringLiteral(QEL_BIN_DIR), &erro);
    if (!cria) {
        out() << "FALHA: " << erro << Qt::endl;
        return 2;
    }

    out() << "PRONTO" << Qt::endl;
    ScriptedPresenter presenter;
    const QStringList gravada{QStringLiteral("Dados gravados corretamente.")};
    const int semente = contexto.caixa.toInt();
    int gravadas = 0;
    for (int i = 0; i < n; ++i) {
        Estrada e;
        e.venda = venda(i, semente, base, produtos);
        e.venda.serie = parser.value(QStringLiteral("serie"));
        e.venda.subSerie = parser.value(QStringLiteral("subserie"));
        const VendaDigitada &v = e.venda;
        e.antesDeGravar = [&v] { out() << "GRAVANDO " << v.ordem << Qt::endl; };
        presenter.clear();
        dialogosAbertos().clear();
        conduzVenda(e, cria);
        if (e.gravou && e.falhas.isEmpty() && dialogosAbertos().isEmpty()
            && presenter.texts() == gravada) {
            ++gravadas;
            out() << "VENDA " << v.ordem << ' ' << v.serie << ' ' << v.subSerie << ' ' << v.mesa
                  << ' ' << v.itens.size() << ' ' << v.total() << ' ' << v.pagamentos.size()
                  << Qt::endl;
        } else {
            QStringList motivo = e.falhas;
            if (!e.gravou)
                motivo << QStringLiteral("a tela não gravou");
            if (!dialogosAbertos().isEmpty())
                motivo << QStringLiteral("diálogos: ") + dialogosAbertos().join(u',');
            motivo << QStringLiteral("mensagens: ") + presenter.texts().join(QStringLiteral(" | "));
            out() << "FALHA " << v.ordem << ": " << motivo.join(QStringLiteral("; ")) << Qt::endl;
        }
    }
    out() << "FIM " << gravadas << '/' << n << Qt::endl;
    return gravadas == n ? 0 : 1;
}
