// The operating context read from the terminal's parameters file: every column it carries
// must be there, and a file that lacks one changes nothing of what the context held.
#include "venda/contexto.h"
#include "clientdataset.h"
#include "exception.h"

#include <QTest>

namespace {

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

} // namespace

class TestContexto : public QObject
{
    Q_OBJECT

private slots:
    void parametersFileIsReadWholeOrNotAtAll_data()
    {
        QTest::addColumn<QString>("falta");
        QTest::newRow("complete") << QString();
        for (const char *c : {"CDFILIAL", "STTOTCV", "NRSERIEIMP"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void parametersFileIsReadWholeOrNotAtAll()
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
};

QTEST_GUILESS_MAIN(TestContexto)
#include "tst_contexto.moc"
