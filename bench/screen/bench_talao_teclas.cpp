// A pad of hand-written slips keyed through the real screen, twice: one launch per slip with the
// whole header keyed each time (the single launch), and the host's pad mode, where every slip
// after the first opens with the header filled in. Each slip holds two items and one payment.
// Reports keystrokes per slip (every key the operator presses: characters, Enter, Alt+letter,
// the key that dismisses "Dados gravados corretamente.", and in pad mode the Escape, the
// confirmation and the key that closes the pad's report), the screen's own time per slip, and
// the time per slip at a fixed typing pace (keystrokes times the pace, plus the screen's time).
//   build-dir/bench/screen/bench_talao_teclas [--slips 20] [--runs 5] [--pace-ms 300]
// Every run is a new process on a SQLite demo store built by this program, its caches beside
// a copy of this executable (the screen reads them there); each run keys a series of its own.

#include "dbconnection.h"
#include "dialogosrecusados.h"
#include "exception.h"
#include "operador.h"
#include "scriptedpresenter.h"
#include "screenservices.h"
#include "store.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdlib>

extern "C" void CriaRegVendaManual();
extern "C" bool CriaRegVendaManualTalao();

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

qint64 preco(QSqlDatabase db, const char *produto)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT VRPRECO FROM ITTABPRECO WHERE CDTABPRECO = 'LJ0001001' AND "
                          "CDPRODUTO = '%1'")
               .arg(QLatin1String(produto)));
    if (!q.next())
        throw Exception(QStringLiteral("produto %1 sem preço").arg(QLatin1String(produto)));
    return std::llround(q.value(0).toDouble() * 100);
}

// One run: `slips` slips of series `serie`, numbered from 0001, keyed in this process; prints
// "keys <total> ms <screen time>".
int runChild(bool talao, int slips, const QString &serie)
{
    DialogosRecusados::instala(); // the pad's report among them: one key closes it
    ScriptedPresenter boxes;                 // every question answered yes
    const auto store = Store::connect(qEnvironmentVariable("QEL_CONEXAO"));
    VendaDigitada nota{QString(), serie, QStringLiteral("1"), QStringLiteral("7"), {}, {}};
    nota.itens = {{QStringLiteral("10"), QStringLiteral("000010"), QStringLiteral("2"),
                   preco(store->database(), "000010")},
                  {QStringLiteral("25"), QStringLiteral("000025"), QStringLiteral("1"),
                   preco(store->database(), "000025")}};
    nota.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), nota.total()}};

    QStringList falhas;
    int teclas = 0;
    QElapsedTimer relogio;
    relogio.start();
    for (int i = 0; i <= slips; ++i) {
        const bool sai = i == slips; // the pad is left at the slip after the last
        if (sai && !talao)
            break;
        nota.ordem = QString::number(i + 1).rightJustified(4, u'0');
        naTela([&] { talao ? void(CriaRegVendaManualTalao()) : CriaRegVendaManual(); },
               [&](QWidget *tela) {
                   Operador op(tela);
                   if (sai) {
                       op.sai();
                       teclas += op.teclas + 2; // the confirmation, and closing the report
                       return;
                   }
                   const bool cabecalho = talao && i > 0
                                              ? op.legenda(1) == nota.ordem && op.foco() == 6
                                              : op.cabecalho(nota);
                   if (!cabecalho)
                       op.falhas << QStringLiteral("nota %1: cabeçalho").arg(nota.ordem);
                   else if (op.itens(nota) && op.pagamentos(nota) && !op.grava())
                       op.falhas << QStringLiteral("nota %1 não gravada").arg(nota.ordem);
                   teclas += op.teclas + 1; // and the key that dismisses "Dados gravados"
                   falhas += op.falhas;
                   op.sai();
               },
               falhas);
        if (!falhas.isEmpty())
            break;
    }
    const double ms = relogio.nsecsElapsed() / 1e6;
    QSqlQuery q(store->database());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM VENDA WHERE NRSERIEVND = '%1'").arg(serie));
    if (falhas.isEmpty() && (!q.next() || q.value(0).toInt() != slips))
        falhas << QStringLiteral("a série %1 não tem %2 vendas no banco").arg(serie).arg(slips);
    if (!falhas.isEmpty()) {
        QTextStream(stderr) << "bench_talao_teclas: " << falhas.join(QStringLiteral("; "))
                            << "\n";
        return 1;
    }
    QTextStream(stdout) << "keys " << teclas << " ms " << ms << Qt::endl;
    return 0;
}

struct Fluxo
{
    const char *nome;
    bool talao;
    QList<double> teclas, ms;
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QCommandLineParser parser;
    parser.setApplicationDescription("Keystrokes and time per slip of a pad keyed through the "
                                     "screen, one launch per slip and in pad mode.");
    parser.addHelpOption();
    const QCommandLineOption slipsOption("slips", "slips in the pad", "n", "20");
    const QCommandLineOption runsOption("runs", "new processes per way of keying", "n", "5");
    const QCommandLineOption paceOption("pace-ms", "typing pace, ms per keystroke", "ms", "300");
    const QCommandLineOption child("child", "internal: key one pad here", "talao:serie");
    parser.addOptions({slipsOption, runsOption, paceOption, child});
    parser.process(app);
    const int slips = qMax(1, parser.value(slipsOption).toInt());
    const int runs = qMax(1, parser.value(runsOption).toInt());
    const double pace = parser.value(paceOption).toDouble();
    try {
        if (parser.isSet(child)) {
            const QStringList c = parser.value(child).split(u':');
            return runChild(c.value(0) == QLatin1String("1"), slips, c.value(1));
        }
        QTemporaryDir dir;
        const QString loja = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("loja.db"));
        {
            const auto store = Store::connect(loja, true);
            Store::generateDemo(store->database(), Store::DemoOptions());
            Store::exportCaches(store->database(), dir.path());
        }
        const QString exe = dir.filePath(QStringLiteral("bench_talao_teclas"));
        if (!QFile::copy(QCoreApplication::applicationFilePath(), exe))
            throw Exception(QStringLiteral("não foi possível copiar para ") + dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QEL_CONEXAO"), loja);

        Fluxo fluxos[] = {{"one launch per slip, whole header keyed", false, {}, {}},
                          {"pad mode (qelpos --talao)", true, {}, {}}};
        for (int run = 0; run < runs; ++run) {
            for (int f = 0; f < 2; ++f) {
                QProcess p;
                p.setProcessEnvironment(env);
                const QString serie = QString::number(50 + 2 * run + f);
                p.start(exe, {QStringLiteral("--slips"), QString::number(slips),
                              QStringLiteral("--child"),
                              QStringLiteral("%1:%2").arg(int(fluxos[f].talao)).arg(serie)});
                const bool ok = p.waitForFinished(10 * 60 * 1000) && p.exitCode() == 0;
                const QStringList out =
                    QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(u' ');
                if (!ok || out.size() != 4)
                    throw Exception(QString::fromUtf8(p.readAllStandardError()).trimmed());
                fluxos[f].teclas << out[1].toDouble() / slips;
                fluxos[f].ms << out[3].toDouble() / slips;
            }
        }

        QTextStream out(stdout);
        out << "pad of " << slips << " slips (2 items, 1 payment each), " << runs
            << " new processes per way, medians; typing pace " << pace << " ms per key\n\n"
            << "| Keying | Keystrokes per slip | Screen time per slip (ms) | Time per slip at "
               "the pace (s) |\n|---|---|---|---|\n";
        for (const Fluxo &f : fluxos) {
            const double teclas = median(f.teclas), ms = median(f.ms);
            out << "| " << f.nome << " | " << QString::number(teclas, 'f', 2) << " | "
                << QString::number(ms, 'f', 1) << " | "
                << QString::number((teclas * pace + ms) / 1000, 'f', 1) << " |\n";
        }
        out << "\npad mode / one launch per slip, keystrokes: "
            << QString::number(median(fluxos[1].teclas) / median(fluxos[0].teclas), 'f', 2)
            << " (goal: at most 0.67)\n";
        return 0;
    } catch (const std::exception &e) {
        QTextStream(stderr) << "bench_talao_teclas: " << exceptionMessage(e) << "\n";
        return 1;
    }
}
