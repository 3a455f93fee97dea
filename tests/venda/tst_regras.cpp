// The money rules without a screen: cents rounded on the decimal digits, whatever the double
// holds, so what is shown, paid and stored is one figure. And the entry rules the handlers
// call, at their boundaries: a value one step past a limit is refused with its own message.
#include "venda/cabecalho.h"
#include "venda/contexto.h"
#include "clientdataset.h"
#include "exception.h"
#include "venda/dinheiro.h"
#include "venda/gravacao.h"
#include "venda/itens.h"
#include "venda/pagamentos.h"
#include "venda/produtos.h"
#include "venda/indicecodigos.h"
#include "venda/regras.h"
#include "venda/talao.h"
#include "conversions.h"

#include <QLocale>
#include <QTest>

#include <limits>

namespace {

// The catalogue key of a refusal, empty for a value taken: the message the operator reads.
QString chaveDe(std::optional<Recusa> recusa)
{
    return recusa ? QString::fromLatin1(chave(*recusa)) : QString();
}

const char *const Colunas[] = {
    "CDFILIAL",     "IDESQUEMA",      "CDLOJA",          "CDCCUSCLIE",   "DTABERCAIX",
    "CDEMPRESA",    "CDCAIXA",        "IDPAISINTEGRA",   "NRSERIEECF",   "IDTIPOIMPFIS",
    "DSMODELOECFVE", "DSMARCAECFVE",  "ECFIMP",          "SGESTADOFILI", "DSDIRCAD",
    "STTOTCV",      "DSOBSCUPFIS",    "IDIMPBARRCUP",    "IDIMPSALDOCUPOM", "IdTpTelaVe",
    "DSMENSCPFCUP", "NRINSJUREMPR",   "CDINSCESTAEMPR",  "IDPARIMPRLIMVDC", "NRSERIEIMP"};

// A parameters file of one terminal, as text columns, without the column `falta`.
void parametros(ClientDataSet &ds, const QString &falta)
{
    QList<FieldDef> campos;
    QVariantList linha;
    for (const char *c : Colunas) {
        if (falta == QLatin1String(c))
            continue;
        campos << FieldDef{QString::fromLatin1(c)};
        const QLatin1String nome(c);
        linha << (nome == QLatin1String("IDTIPOIMPFIS")  ? QStringLiteral("2")
                  : nome == QLatin1String("DTABERCAIX") ? QStringLiteral("")
                                                         : QStringLiteral("v%1").arg(nome));
    }
    DataPacket packet(campos);
    packet.appendRow(linha);
    ds.setData(packet);
}

// A list of one money column with a line per amount; never opened when there is none.
void lista(ClientDataSet &ds, const char *coluna, const QList<qint64> &centavos)
{
    if (centavos.isEmpty())
        return;
    DataPacket packet({FieldDef{QString::fromLatin1(coluna), FieldType::Float}});
    for (const qint64 c : centavos)
        packet.appendRow({Dinheiro::emReais(c)});
    ds.setData(packet);
}

} // namespace

class TestRegras : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void centsOfAValue_data();
    void centsOfAValue();
    void paymentsAreWholeCents_data();
    void paymentsAreWholeCents();
    void documentFitsItsColumn_data();
    void documentFitsItsColumn();
    void issueDate_data();
    void issueDate();
    void tableNumber_data();
    void tableNumber();
    void productSearch_data();
    void productSearch();
    void quantity_data();
    void quantity();
    void paymentValue_data();
    void paymentValue();
    void recordingNeedsLinesThatAgree_data();
    void recordingNeedsLinesThatAgree();
    // The header is checked field by field in the order the operator keys it: the first field
    // amiss is named with its refusal (and the column it does not fit); a header taken has its
    // date and its table's room filled in.
    void headerNamesTheFirstFieldAmiss_data();
    void headerNamesTheFirstFieldAmiss();
    // The operating context from the terminal's parameters file: every column it carries must
    // be there, and a file that lacks one changes nothing of what the context held.
    void parametersFileIsReadWholeOrNotAtAll_data();
    void parametersFileIsReadWholeOrNotAtAll();
    // A pad's next slip: the order number one more, as wide as keyed; an order that is no
    // number leaves the next one to the operator.
    void nextSlipOfAPad_data();
    void nextSlipOfAPad();
    // The pad's numbers widen with each slip recorded; a slip of another series or sub-series
    // begins another pad, and an order that is no number is no number of the pad.
    void padCountsItsRecordedNumbers();
};

void TestRegras::centsOfAValue_data()
{
    QTest::addColumn<double>("preco");
    QTest::addColumn<double>("quantidade");
    QTest::addColumn<qint64>("centavos");
    QTest::addColumn<QString>("formatado");
    QTest::newRow("1,005 held as 1,00499...") << 1.005 << 1.0 << qint64(101) << "1,01";
    QTest::newRow("2,675 held below") << 2.675 << 1.0 << qint64(268) << "2,68";
    QTest::newRow("1,333 x 3") << 1.333 << 3.0 << qint64(400) << "4,00";
    QTest::newRow("1,333 x 7,5") << 1.333 << 7.5 << qint64(1000) << "10,00";
    QTest::newRow("negative, away from zero") << -1.005 << 1.0 << qint64(-101) << "-1,01";
    QTest::newRow("thousands") << 1234.5 << 1.0 << qint64(123450) << "1.234,50";
    QTest::newRow("infinity is only a bound")
        << std::numeric_limits<double>::infinity() << 1.0 << qint64(100000000000000000)
        << "1.000.000.000.000.000,00";
}

void TestRegras::centsOfAValue()
{
    QFETCH(double, preco);
    QFETCH(double, quantidade);
    QFETCH(qint64, centavos);
    QFETCH(QString, formatado);
    QCOMPARE(Dinheiro::totalDoItem(preco, quantidade), centavos);
    QCOMPARE(Dinheiro::formatado(centavos), formatado);
}

void TestRegras::paymentsAreWholeCents_data()
{
    QTest::addColumn<double>("valor");
    QTest::addColumn<bool>("exato");
    QTest::newRow("30,004") << 30.004 << false;
    QTest::newRow("30,01") << 30.01 << true;
    QTest::newRow("0,1 + 0,2 summed as doubles") << 0.1 + 0.2 << false;
    QTest::newRow("0,30") << 0.3 << true;
}

void TestRegras::paymentsAreWholeCents()
{
    QFETCH(double, valor);
    QFETCH(bool, exato);
    QCOMPARE(Dinheiro::centavosExatos(valor), exato);
}

void TestRegras::documentFitsItsColumn_data()
{
    QTest::addColumn<int>("largura");
    QTest::addColumn<int>("tamanho");
    QTest::addColumn<bool>("cabe");
    QTest::newRow("as wide as the column") << 20 << 20 << true;
    QTest::newRow("one past the column") << 20 << 21 << false;
    QTest::newRow("a column without a width") << 0 << 50 << true;
}

void TestRegras::documentFitsItsColumn()
{
    QFETCH(int, largura);
    QFETCH(int, tamanho);
    QFETCH(bool, cabe);
    QCOMPARE(Regras::cabeNaColuna(QString(tamanho, u'7'), largura), cabe);
}

void TestRegras::issueDate_data()
{
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QString>("recusa");
    QTest::newRow("today") << "10/03/2024" << "";
    QTest::newRow("tomorrow") << "11/03/2024" << "DATA_MAIOR";
    QTest::newRow("a digit short") << "1/03/2024" << "DATA_INV";
    QTest::newRow("no such day") << "30/02/2024" << "DATA_INV";
}

void TestRegras::issueDate()
{
    QFETCH(QString, texto);
    QFETCH(QString, recusa);
    const QDateTime hoje(QDate(2024, 3, 10), QTime(0, 0));
    QDateTime data;
    QCOMPARE(chaveDe(Regras::recusaData(texto, hoje, data)), recusa);
    if (recusa.isEmpty())
        QCOMPARE(data, hoje);
}

void TestRegras::tableNumber_data()
{
    QTest::addColumn<QString>("codigo");
    QTest::addColumn<QString>("recusa");
    QTest::addColumn<QString>("mesa");
    QTest::newRow("none") << "" << "" << "";
    QTest::newRow("all zeros") << "000" << "" << "";
    QTest::newRow("one digit") << "7" << "" << "0007";
    QTest::newRow("four digits") << "1234" << "" << "1234";
    QTest::newRow("five digits") << "12345" << "BLOQ_NUM_MESA" << "";
    QTest::newRow("five zeros") << "00000" << "BLOQ_NUM_MESA" << "";
}

void TestRegras::tableNumber()
{
    QFETCH(QString, codigo);
    QFETCH(QString, recusa);
    QFETCH(QString, mesa);
    QString dada;
    QCOMPARE(chaveDe(Regras::recusaMesa(codigo, dada)), recusa);
    if (recusa.isEmpty())
        QCOMPARE(dada, mesa);
}

void TestRegras::productSearch_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("product");
    for (const bool indexed : {false, true}) {
        const char *how = indexed ? "index" : "rows";
        QTest::addRow("bar code of two products, %s", how) << "7891000000013" << "0000000202";
        QTest::addRow("keyboard code of two products, %s", how) << "55" << "0000000203";
        QTest::addRow("fixed-length code, %s", how) << "I204" << "0000000204";
        QTest::addRow("fixed-length code with blanks, %s", how) << "I204  " << "0000000204";
        QTest::addRow("prefix of a bar code, %s", how) << "789100000001" << "";
        QTest::addRow("empty code, %s", how) << "" << "";
    }
}

// The first product holding the code, by the codes in their order, with the index or row by
// row alike; a fixed-length code matches with or without its blanks.
void TestRegras::productSearch()
{
    QFETCH(QString, code);
    QFETCH(QString, product);
    QList<FieldDef> fields;
    for (const QString &c : Produtos::codigos())
        fields << FieldDef{c, FieldType::String, 20, c == QLatin1String("CDPRODINTE")};
    DataPacket packet(fields);
    const char *const produtos[][4] = {{"0000000201", "7891000000099", "I201", "51"},
                                       {"0000000202", "7891000000013", "I202", "52"},
                                       {"0000000203", "7891000000013", "I203", "55"},
                                       {"0000000204", "7891000000020", "I204", "55"}};
    for (const auto &p : produtos) // code, tree code, bar code, internal, keyboard
        packet.appendRow({p[0], p[0], p[1], p[2], p[3]});
    ClientDataSet lista(QStringLiteral("cdsValidaProd"));
    lista.setData(packet);
    const IndiceCodigos indice(lista.Data(), Produtos::codigos());
    const bool indexed = QByteArray(QTest::currentDataTag()).endsWith("index");
    const bool found = Produtos::localiza(lista, indexed ? &indice : nullptr, code, false);
    QCOMPARE(found ? lista.FieldByName(QStringLiteral("CDPRODUTO")).AsString() : QString(),
             product);
}

void TestRegras::quantity_data()
{
    QTest::addColumn<double>("quantidade");
    QTest::addColumn<double>("preco");
    QTest::addColumn<qint64>("totalVenda");
    QTest::addColumn<QString>("recusa");
    QTest::newRow("zero") << 0.0 << 1.0 << qint64(0) << "QUANT_ZERO";
    QTest::newRow("below zero") << -0.001 << 1.0 << qint64(0) << "QUANT_ZERO";
    QTest::newRow("the smallest quantity") << 0.001 << 1.0 << qint64(0) << "";
    QTest::newRow("an item of the largest amount") << 1.0 << Sys::MaxAmount << qint64(0) << "";
    QTest::newRow("an item past it") << 2.0 << Sys::MaxAmount << qint64(0) << "QUANT_LIMITE";
    QTest::newRow("a sale past it by a cent")
        << 1.0 << Sys::MaxAmount << qint64(1) << "QUANT_LIMITE";
}

void TestRegras::quantity()
{
    QFETCH(double, quantidade);
    QFETCH(double, preco);
    QFETCH(qint64, totalVenda);
    QFETCH(QString, recusa);
    QCOMPARE(chaveDe(Regras::recusaQuantidade(quantidade, preco, totalVenda)), recusa);
}

// A payment against a sale of 10,00 of which 4,00 is paid: what is refused outright, what is
// taken as keyed and what makes the screen offer the remainder instead.
void TestRegras::paymentValue_data()
{
    QTest::addColumn<double>("valor");
    QTest::addColumn<QString>("recusa");
    QTest::addColumn<qint64>("centavos"); // taken; the remainder offered when it is past it
    QTest::addColumn<bool>("acima");
    QTest::newRow("a cent below zero") << -0.01 << "VAL_NEGATIVO" << 0LL << false;
    QTest::newRow("a fraction of a cent") << 5.004 << "VAL_CENTAVOS" << 0LL << false;
    QTest::newRow("exactly the remainder") << 6.0 << "" << 600LL << false;
    QTest::newRow("a cent past the remainder") << 6.01 << "" << 600LL << true;
    QTest::newRow("past any amount") << Sys::MaxAmount * 10 << "" << 600LL << true;
}

// A sale of 10,00 with 4,00 paid: what a new payment value becomes.
void TestRegras::paymentValue()
{
    QFETCH(double, valor);
    QFETCH(QString, recusa);
    QFETCH(qint64, centavos);
    QFETCH(bool, acima);
    ClientDataSet receb(QStringLiteral("cdsReceb"));
    lista(receb, "VRTIPORECE", {400});
    const Pagamentos::Avaliacao a = Pagamentos(receb).avalia(valor, 1000);
    QCOMPARE(chaveDe(a.recusa), recusa);
    QCOMPARE(a.centavos, centavos);
    QCOMPARE(a.acimaDoRestante, acima);
}

void TestRegras::recordingNeedsLinesThatAgree_data()
{
    QTest::addColumn<QList<qint64>>("itens");
    QTest::addColumn<QList<qint64>>("pagamentos");
    QTest::addColumn<QString>("operador");
    QTest::addColumn<QString>("recusa");
    const QList<qint64> dez{999, 1}, nada;
    QTest::newRow("no item") << nada << dez << "op" << "SEMPROD";
    QTest::newRow("no payment") << dez << nada << "op" << "SEMRECEB";
    QTest::newRow("a cent short") << dez << QList<qint64>{999} << "op" << "VAL_DIF";
    QTest::newRow("a cent over") << dez << QList<qint64>{1001} << "op" << "VAL_DIF";
    QTest::newRow("operator only blanks") << dez << QList<qint64>{1000} << "  " << "CTX_OPERADOR";
    QTest::newRow("taken") << dez << QList<qint64>{500, 500} << "op" << "";
}

// Items and payments to the cent, then the branch, register and operator to store them under.
void TestRegras::recordingNeedsLinesThatAgree()
{
    QFETCH(QList<qint64>, itens);
    QFETCH(QList<qint64>, pagamentos);
    QFETCH(QString, operador);
    QFETCH(QString, recusa);
    ClientDataSet produtos(QStringLiteral("cdsProdutos")), receb(QStringLiteral("cdsReceb"));
    lista(produtos, "VRTOTVEND", itens);
    lista(receb, "VRTIPORECE", pagamentos);
    Contexto contexto;
    contexto.stCdFilial = QStringLiteral("0001");
    contexto.stCdCaixa = QStringLiteral("001");
    std::optional<Recusa> r = Gravacao::confere(Itens(produtos), Pagamentos(receb));
    if (!r)
        r = Gravacao::confereIdentificacao(contexto, operador);
    QCOMPARE(chaveDe(r), recusa);
}

void TestRegras::headerNamesTheFirstFieldAmiss_data()
{
    QTest::addColumn<QStringList>("campos"); // order, series, sub-series, date, table
    QTest::addColumn<int>("campo");          // Cabecalho::Campo refused, -1 for none
    QTest::addColumn<QString>("recusa");
    QTest::addColumn<int>("largura");
    const QString hoje = QStringLiteral("10/03/2024");
    QTest::newRow("taken, with its table") << QStringList{"4711", "1", "2", hoje, "7"} << -1
                                           << "" << 0;
    QTest::newRow("taken, without a table") << QStringList{"4711", "1", "2", hoje, ""} << -1
                                            << "" << 0;
    QTest::newRow("no order, nothing else either") << QStringList{"", "", "", "", ""} << 0
                                                   << "ORD_DEV_INF" << 0;
    QTest::newRow("series one past its column") << QStringList{"4711", "123456", "2", hoje, ""}
                                                << 1 << "SERIE_LARGURA" << 5;
    QTest::newRow("no sub-series") << QStringList{"4711", "1", "", hoje, ""} << 2
                                   << "SUBSERIE_INF" << 0;
    QTest::newRow("no date") << QStringList{"4711", "1", "2", "", "7"} << 3 << "DT_DEV_INF" << 0;
    QTest::newRow("tomorrow") << QStringList{"4711", "1", "2", "11/03/2024", "7"} << 3
                              << "DATA_MAIOR" << 0;
    QTest::newRow("a table not open") << QStringList{"4711", "1", "2", hoje, "9"} << 4
                                      << "MESA_NCAD" << 0;
}

void TestRegras::headerNamesTheFirstFieldAmiss()
{
    QFETCH(QStringList, campos);
    QFETCH(int, campo);
    QFETCH(QString, recusa);
    QFETCH(int, largura);
    Cabecalho c{campos[0], campos[1], campos[2], campos[3], {}, campos[4], {}};
    // The store's one open table: 0007 in room SAL01.
    const auto procura = [](const QString &code, QString &mesa, QString &sala) {
        mesa = code.isEmpty() ? QString() : code.rightJustified(4, u'0');
        sala = mesa == QLatin1String("0007") ? QStringLiteral("SAL01") : QString();
        return mesa.isEmpty() || !sala.isEmpty() ? std::nullopt
                                                 : std::optional(Recusa::MesaNaoCadastrada);
    };
    const auto r = c.confere(QDateTime(QDate(2024, 3, 10), QTime(0, 0)), {20, 5, 5}, procura);
    QCOMPARE(r ? int(r->campo) : -1, campo);
    QCOMPARE(r ? QString::fromLatin1(chave(r->recusa)) : QString(), recusa);
    QCOMPARE(r ? r->largura : 0, largura);
    if (!r) {
        QCOMPARE(c.emissao, QDateTime(QDate(2024, 3, 10), QTime(0, 0)));
        QCOMPARE(c.sala, campos[4].isEmpty() ? QString() : QStringLiteral("SAL01"));
    }
}

void TestRegras::parametersFileIsReadWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("falta");
    QTest::newRow("complete") << QString();
    for (const char *c : {"CDFILIAL", "STTOTCV", "NRSERIEIMP"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

void TestRegras::parametersFileIsReadWholeOrNotAtAll()
{
    QFETCH(QString, falta);
    ClientDataSet ds(QStringLiteral("cdsParametrosQel"));
    parametros(ds, falta);
    Contexto contexto;
    contexto.stCdFilial = QStringLiteral("anterior");
    if (!falta.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(Exception, contexto.lerParametros(ds));
        QCOMPARE(contexto.stCdFilial, QStringLiteral("anterior"));
        QVERIFY(contexto.stCdCaixa.isEmpty());
        return;
    }
    contexto.lerParametros(ds);
    QCOMPARE(contexto.stCdFilial, QStringLiteral("vCDFILIAL"));
    QCOMPARE(contexto.nrSerieEcf, QStringLiteral("vNRSERIEECF"));
    QCOMPARE(contexto.idTipoImpFis, 2);
    QCOMPARE(contexto.idImpBarrCup, QStringLiteral("vIDIMPBARRCUP"));
    QVERIFY(!contexto.dtAberCaix.isValid());
    QVERIFY(contexto.stCdCliente.isEmpty());
}

void TestRegras::nextSlipOfAPad_data()
{
    QTest::addColumn<QString>("ordem");
    QTest::addColumn<QString>("proxima");
    QTest::newRow("leading zeros kept") << "0301" << "0302";
    QTest::newRow("carried over") << "0299" << "0300";
    QTest::newRow("one digit more") << "999" << "1000";
    QTest::newRow("zero") << "0" << "1";
    QTest::newRow("past 64 bits") << "99999999999999999999" << "100000000000000000000";
    QTest::newRow("letter") << "30A" << "";
    QTest::newRow("blank inside") << "3 1" << "";
    QTest::newRow("sign") << "-5" << "";
    QTest::newRow("empty") << "" << "";
}

void TestRegras::nextSlipOfAPad()
{
    QFETCH(QString, ordem);
    QFETCH(QString, proxima);
    QCOMPARE(Talao::proximaOrdem(ordem), proxima);
}

void TestRegras::padCountsItsRecordedNumbers()
{
    const auto nota = [](const char *ordem, const char *serie) {
        return Cabecalho{QString::fromLatin1(ordem), QString::fromLatin1(serie),
                         QStringLiteral("1"), QStringLiteral("09/12/2026"), {},
                         QStringLiteral("0007"), QStringLiteral("1")};
    };
    Talao talao;
    QVERIFY(talao.vazio());
    talao.registra(nota("0305", "2"));
    talao.registra(nota("0301", "2")); // keyed out of order
    talao.registra(nota("0303", "2"));
    QCOMPARE(std::pair(talao.de, talao.ate), std::pair(qint64(301), qint64(305)));
    QCOMPARE(talao.ordem, QStringLiteral("0304"));
    QCOMPARE(QStringList({talao.serie, talao.subSerie, talao.data, talao.mesa}),
             QStringList({"2", "1", "09/12/2026", "0007"}));
    QVERIFY(talao.gravada);
    talao.registra(nota("X9", "2"));
    QCOMPARE(std::pair(talao.de, talao.ate), std::pair(qint64(301), qint64(305)));
    QVERIFY(talao.ordem.isEmpty());
    talao.registra(nota("0050", "3"));
    QCOMPARE(std::pair(talao.de, talao.ate), std::pair(qint64(50), qint64(50)));
    QCOMPARE(talao.serie, QStringLiteral("3"));
}

QTEST_GUILESS_MAIN(TestRegras)
#include "tst_regras.moc"
