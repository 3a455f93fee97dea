// The whole road of a manual sale: the package loaded as the host loads it, a sale keyed in
// with the keyboard alone, recorded, and read back from the store.
#include "scriptedpresenter.h"
#include "testenv.h"

#include "blended.h"
#include "dbconnection.h"
#include "screenservices.h"
#include "store.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cmath>

namespace {

// The road is keyboard only: any touch dialog is a failure, and answering at once keeps a
// wrong turn from blocking the run.
QStringList dialogos;
bool semTecladoNumerico(QString &, const QString &, const QString &, const QString &, int, int,
                        int, int, int, int)
{
    dialogos << QStringLiteral("TecladoNumerico");
    return false;
}
QString semTecladoAlfa(const QString &, const QString &, const QString &, int)
{
    dialogos << QStringLiteral("TecladoAlfaNumerico");
    return QString();
}
QString semCalendario(const QString &, const QString &, const QString &)
{
    dialogos << QStringLiteral("TouchCalendar");
    return QString();
}
bool semPesquisa(ClientDataSet *, const QString &, const QString &, int, int, int, int, int)
{
    dialogos << QStringLiteral("Pesquisa");
    return false;
}
void semRelFiscais()
{
    dialogos << QStringLiteral("RelFiscais");
}

struct Item
{
    QString digitado;   // what the operator types in the product field
    QString produto;    // the product code the screen shows after the lookup
    QString quantidade;
    double preco = 0;
};
struct Pagamento
{
    QString digitado;
    QString tipo;
    QString valor; // typed, with the decimal comma
};

// Keys in one sale on the open screen, as an operator with a keyboard would, noting every
// step that did not show what it should.
class Estrada
{
public:
    QString ordem = QStringLiteral("90817");
    QString serie = QStringLiteral("3");
    QString subSerie = QStringLiteral("12");
    QString mesa = QStringLiteral("7");
    QList<Item> itens;
    QList<Pagamento> pagamentos;
    QStringList falhas;
    bool gravou = false;

    void percorre(QDialog *tela)
    {
        m_tela = tela;
        const QString hoje = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
        if (!(digita(ordem) && enter() && confere(1, ordem) && digita(serie) && enter()
              && confere(2, serie) && digita(subSerie) && enter() && confere(3, subSerie)
              && digita(QString(hoje).remove(u'/')) && confere(4, hoje) && enter()
              && digita(mesa) && enter() && confere(5, QStringLiteral("0007"))))
            return sai();
        for (int i = 0; i < itens.size(); ++i) {
            const Item &it = itens[i];
            if (!(digita(it.digitado) && enter() && confere(6, it.produto)
                  && digita(it.quantidade) && confere(7, it.quantidade)
                  && tecla(Qt::Key_P, Qt::AltModifier) && linhas(i + 1) && confere(6, QString())))
                return sai();
        }
        // From the product field to the payment type: past the empty product and quantity.
        if (!(enter() && enter()))
            return sai();
        for (int j = 0; j < pagamentos.size(); ++j) {
            const Pagamento &p = pagamentos[j];
            if (!(digita(p.digitado) && enter()
                  && comeca(8, p.tipo + QStringLiteral(" - ")) && digita(p.valor) && enter()
                  && comeca(9, QLocale().currencySymbol()) && tecla(Qt::Key_R, Qt::AltModifier)
                  && linhas(itens.size() + j + 1) && confere(8, QString())))
                return sai();
        }
        if (!tecla(Qt::Key_G, Qt::AltModifier))
            return sai();
        gravou = !m_tela->isVisible();
        if (!gravou) {
            falhas << QStringLiteral("Alt+G não fechou a tela");
            sai();
        }
    }

private:
    QWidget *alvo() const
    {
        // Keys go where the keyboard would send them: the focused control of the screen.
        QWidget *w = QApplication::focusWidget();
        return w && w->window() == m_tela ? w : m_tela;
    }
    bool tecla(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(alvo(), k, m);
        return true;
    }
    bool enter() { return tecla(Qt::Key_Return); }
    bool digita(const QString &texto)
    {
        for (QChar c : texto)
            QTest::keyClick(alvo(), c.toLatin1());
        return true;
    }
    TBlendedButton *campo(int tag) const
    {
        for (TBlendedButton *b : m_tela->findChildren<TBlendedButton *>())
            if (b->Tag() == tag)
                return b;
        return nullptr;
    }
    bool confere(int tag, const QString &esperado)
    {
        const TBlendedButton *b = campo(tag);
        if (b && b->Caption() == esperado)
            return true;
        falhas << QStringLiteral("campo %1 mostra \"%2\", esperado \"%3\"")
                      .arg(tag)
                      .arg(b ? b->Caption() : QStringLiteral("(não há)"), esperado);
        return false;
    }
    bool comeca(int tag, const QString &inicio)
    {
        const TBlendedButton *b = campo(tag);
        if (b && b->Caption().startsWith(inicio))
            return true;
        falhas << QStringLiteral("campo %1 mostra \"%2\", esperado começar com \"%3\"")
                      .arg(tag)
                      .arg(b ? b->Caption() : QStringLiteral("(não há)"), inicio);
        return false;
    }
    // Rows of the item and payment grids together.
    bool linhas(int esperadas)
    {
        int total = 0;
        for (QTableView *g : m_tela->findChildren<QTableView *>())
            total += g->model() ? g->model()->rowCount() : 0;
        if (total == esperadas)
            return true;
        falhas << QStringLiteral("as grades têm %1 linhas, esperadas %2").arg(total).arg(esperadas);
        return false;
    }
    void sai()
    {
        // Leave through the exit question (the presenter answers yes), so the creator returns.
        if (m_tela->isVisible())
            QTest::keyClick(alvo(), Qt::Key_Escape);
        if (m_tela->isVisible())
            m_tela->done(QDialog::Rejected);
    }

    QDialog *m_tela = nullptr;
};

QString virgula(qint64 centavos)
{
    return QStringLiteral("%1,%2").arg(centavos / 100).arg(centavos % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

class TestHostRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saleKeyedInAndStored();

private:
    QSqlDatabase db() const { return m_store->database(); }
    QVariant value(const QString &sql);

    std::unique_ptr<DbConnection> m_store;
};

void TestHostRoad::initTestCase()
{
    TestEnv::usePtBr();
    // The store where the host finds it by default, beside the executable, named explicitly
    // so a connection string of the machine cannot divert the run.
    const QString arquivo = TestEnv::exeDir() + QStringLiteral("/Dados/loja.db");
    QFile::remove(arquivo);
    m_store = Store::connect(QStringLiteral("sqlite:") + arquivo, true);
    Store::DemoOptions options;
    options.products = 400;
    Store::generateDemo(db(), options);
    TestEnv::removeCaches();
    Store::exportCaches(db(), TestEnv::exeDir());
    qputenv("QEL_CONEXAO", (QStringLiteral("sqlite:") + arquivo).toUtf8());
}

QVariant TestHostRoad::value(const QString &sql)
{
    QSqlQuery q(db());
    if (!q.exec(sql) || !q.next()) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return QVariant();
    }
    return q.value(0);
}

void TestHostRoad::saleKeyedInAndStored()
{
    // The host's launch of the package, keyed in end to end with the keyboard (header, three
    // items by product, keyboard and internal code, two payment types, Alt+G), proves the
    // parts meet: the sale, its items, movements and cash shift are in the store afterwards.
    ScriptedPresenter presenter;
    const QString bin = QStringLiteral(QEL_BIN_DIR);

    QLibrary servicos(bin + QStringLiteral("/libscreenservices"));
    servicos.setLoadHints(QLibrary::ExportExternalSymbolsHint);
    QVERIFY2(servicos.load(), qPrintable(servicos.errorString()));
    const auto troca = [&servicos](const char *nome, auto funcao) {
        auto *ponteiro = reinterpret_cast<decltype(funcao) *>(servicos.resolve(nome));
        if (ponteiro)
            *ponteiro = funcao;
        return ponteiro != nullptr;
    };
    QVERIFY(troca("TecladoNumerico", &semTecladoNumerico));
    QVERIFY(troca("TecladoAlfaNumerico", &semTecladoAlfa));
    QVERIFY(troca("TouchCalendar", &semCalendario));
    QVERIFY(troca("Pesquisa", &semPesquisa));
    QVERIFY(troca("RelFiscais", &semRelFiscais));

    QLibrary pacote(bin + QStringLiteral("/libLum00071"));
    pacote.setLoadHints(QLibrary::ExportExternalSymbolsHint);
    QVERIFY2(pacote.load(), qPrintable(pacote.errorString()));
    using Creator = void (*)();
    const auto cria = reinterpret_cast<Creator>(pacote.resolve("CriaRegVendaManual"));
    QVERIFY(cria);

    // Three products of store 0001/001 named by code, keyboard code and internal code.
    Estrada estrada;
    const QList<std::array<QString, 3>> escolha = {
        {QStringLiteral("000010"), QStringLiteral("000010"), QStringLiteral("2")},
        {QStringLiteral("25"), QStringLiteral("000025"), QStringLiteral("1")},
        {QStringLiteral("1000040"), QStringLiteral("000040"), QStringLiteral("3")}};
    qint64 centavos = 0;
    for (const auto &[digitado, produto, quantidade] : escolha) {
        const double preco = value(QStringLiteral("SELECT VRPRECO FROM ITTABPRECO WHERE "
                                                  "CDTABPRECO = 'LJ0001001' AND CDPRODUTO = '%1'")
                                       .arg(produto))
                                 .toDouble();
        QVERIFY(preco > 0);
        estrada.itens.append({digitado, produto, quantidade, preco});
        centavos += std::llround(preco * 100) * quantidade.toInt();
    }
    const qint64 dinheiro = centavos / 3;
    estrada.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), virgula(dinheiro)},
                          {QStringLiteral("2"), QStringLiteral("002"),
                           virgula(centavos - dinheiro)}};
    const int turnosAntes = value(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA")).toInt();

    // Inside the modal loop: wait for the screen to be shown and active, then key in.
    QElapsedTimer relogio;
    relogio.start();
    QTimer condutor;
    condutor.setInterval(10);
    connect(&condutor, &QTimer::timeout, this, [&] {
        auto *tela = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        const bool pronta = tela && tela->isVisible() && QApplication::activeWindow() == tela;
        if (pronta || (tela && relogio.elapsed() > 5000)) {
            condutor.stop();
            if (!pronta)
                estrada.falhas << QStringLiteral("a tela não ficou ativa");
            estrada.percorre(tela);
        } else if (relogio.elapsed() > 30000) {
            condutor.stop();
            estrada.falhas << QStringLiteral("a tela não apareceu");
        }
    });
    condutor.start();
    cria();
    condutor.stop();

    QVERIFY2(estrada.falhas.isEmpty(), qPrintable(estrada.falhas.join(QStringLiteral("; "))));
    QVERIFY(estrada.gravou);
    QVERIFY2(dialogos.isEmpty(), qPrintable(dialogos.join(u',')));
    QCOMPARE(presenter.texts(), QStringList{QStringLiteral("Dados gravados corretamente.")});
    QCOMPARE(presenter.calls.first(),
             messageCall(QStringLiteral("Dados gravados corretamente."), 0, QStringLiteral("001")));

    // Read back through the test's own connection.
    QSqlQuery v(db());
    QVERIFY(v.exec(QStringLiteral(
        "SELECT NRSEQVENDA, CDFILIAL, CDLOJA, CDCAIXA, NRORDEMVND, NRSERIEVND, NRSUBSERIEVND, "
        "NRMESA, DTVENDA, IDORIGEMVENDA, VRTOTVENDA, VRTOTRECEB, QTITENS, DTABERCAIX, "
        "DTMOVIMENTO FROM VENDA")));
    QVERIFY(v.next());
    const QString venda = v.value(0).toString();
    QCOMPARE(v.value(1).toString(), QStringLiteral("0001"));
    QCOMPARE(v.value(2).toString(), QStringLiteral("001"));
    QCOMPARE(v.value(3).toString(), QStringLiteral("001"));
    QCOMPARE(v.value(4).toString(), estrada.ordem);
    QCOMPARE(v.value(5).toString(), estrada.serie);
    QCOMPARE(v.value(6).toString(), estrada.subSerie);
    QCOMPARE(v.value(7).toString(), QStringLiteral("0007"));
    QCOMPARE(v.value(8).toDateTime().date(), QDate::currentDate());
    QCOMPARE(v.value(9).toString(), QStringLiteral("QEL_MAN"));
    QCOMPARE(std::llround(v.value(10).toDouble() * 100), centavos);
    QCOMPARE(std::llround(v.value(11).toDouble() * 100), centavos);
    QCOMPARE(v.value(12).toInt(), 3);
    const QVariant abertura = v.value(13);
    QCOMPARE(v.value(14).toDateTime().date(), QDate::currentDate());
    QVERIFY(!v.next());

    QSqlQuery i(db());
    QVERIFY(i.exec(QStringLiteral("SELECT CDPRODUTO, QTPRODVEND, VRUNITVEND, NRSEQVENDA "
                                  "FROM ITVENDA ORDER BY NRSEQUITVENDA")));
    for (const Item &it : estrada.itens) {
        QVERIFY(i.next());
        QCOMPARE(i.value(0).toString(), it.produto);
        QCOMPARE(i.value(1).toDouble(), it.quantidade.toDouble());
        QCOMPARE(i.value(2).toDouble(), it.preco);
        QCOMPARE(i.value(3).toString(), venda);
    }
    QVERIFY(!i.next());

    QSqlQuery m(db());
    // The payment list puts a new line ahead of the last one: compare by type, not by order.
    QVERIFY(m.exec(QStringLiteral("SELECT CDTIPORECE, IDTIPOMOVIVE, VRMOVIVEND FROM MOVCAIXA "
                                  "ORDER BY CDTIPORECE")));
    QVERIFY(m.next());
    QCOMPARE(m.value(0).toString(), QStringLiteral("001"));
    QCOMPARE(m.value(1).toString(), QStringLiteral("T"));
    QCOMPARE(std::llround(m.value(2).toDouble() * 100), dinheiro);
    QVERIFY(m.next());
    QCOMPARE(m.value(0).toString(), QStringLiteral("002"));
    QCOMPARE(m.value(1).toString(), QStringLiteral("E"));
    QCOMPARE(std::llround(m.value(2).toDouble() * 100), centavos - dinheiro);
    QVERIFY(!m.next());

    // One cash-shift record, the one whose opening time the sale carries.
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA")).toInt(), turnosAntes + 1);
    QSqlQuery t(db());
    QVERIFY(t.prepare(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA WHERE CDFILIAL = '0001' "
                                     "AND CDCAIXA = '001' AND DTABERCAIX = ?")));
    t.addBindValue(abertura);
    QVERIFY(t.exec() && t.next());
    QCOMPARE(t.value(0).toInt(), 1);
}

QTEST_MAIN(TestHostRoad)
#include "tst_hostroad.moc"
