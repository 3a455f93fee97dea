#include "keyedsale.h"

#include "blended.h"
#include "screenservices.h"

#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QElapsedTimer>
#include <QLibrary>
#include <QLocale>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

bool semTecladoNumerico(QString &, const QString &, const QString &, const QString &, int, int,
                        int, int, int, int)
{
    dialogosAbertos() << QStringLiteral("TecladoNumerico");
    return false;
}
QString semTecladoAlfa(const QString &, const QString &, const QString &, int)
{
    dialogosAbertos() << QStringLiteral("TecladoAlfaNumerico");
    return QString();
}
QString semCalendario(const QString &, const QString &, const QString &)
{
    dialogosAbertos() << QStringLiteral("TouchCalendar");
    return QString();
}
bool semPesquisa(ClientDataSet *, const QString &, const QString &, int, int, int, int, int)
{
    dialogosAbertos() << QStringLiteral("Pesquisa");
    return false;
}
void semRelFiscais()
{
    dialogosAbertos() << QStringLiteral("RelFiscais");
}

} // namespace

QStringList &dialogosAbertos()
{
    static QStringList nomes;
    return nomes;
}

Criador carregaPacote(const QString &binDir, QString *erro)
{
    // Never unloaded: the package lives with the process, as in the host.
    static QLibrary servicos, pacote;
    servicos.setFileName(binDir + QStringLiteral("/libscreenservices"));
    servicos.setLoadHints(QLibrary::ExportExternalSymbolsHint);
    if (!servicos.load()) {
        *erro = servicos.errorString();
        return nullptr;
    }
    const auto troca = [](const char *nome, auto funcao) {
        auto *ponteiro = reinterpret_cast<decltype(funcao) *>(servicos.resolve(nome));
        if (ponteiro)
            *ponteiro = funcao;
        return ponteiro != nullptr;
    };
    if (!(troca("TecladoNumerico", &semTecladoNumerico)
          && troca("TecladoAlfaNumerico", &semTecladoAlfa)
          && troca("TouchCalendar", &semCalendario) && troca("Pesquisa", &semPesquisa)
          && troca("RelFiscais", &semRelFiscais))) {
        *erro = QStringLiteral("os diálogos dos serviços de tela não foram encontrados");
        return nullptr;
    }
    pacote.setFileName(binDir + QStringLiteral("/libLum00071"));
    pacote.setLoadHints(QLibrary::ExportExternalSymbolsHint);
    if (!pacote.load()) {
        *erro = pacote.errorString();
        return nullptr;
    }
    const auto cria = reinterpret_cast<Criador>(pacote.resolve("CriaRegVendaManual"));
    if (!cria)
        *erro = QStringLiteral("CriaRegVendaManual não encontrado");
    return cria;
}

void conduzVenda(Estrada &estrada, Criador cria)
{
    // Inside the modal loop: wait for the screen to be shown and active, then key in.
    QElapsedTimer relogio;
    relogio.start();
    QTimer condutor;
    condutor.setInterval(10);
    QObject::connect(&condutor, &QTimer::timeout, &condutor, [&] {
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
}

QString virgula(qint64 centavos)
{
    return QStringLiteral("%1,%2").arg(centavos / 100).arg(centavos % 100, 2, 10, QLatin1Char('0'));
}

void Estrada::percorre(QDialog *tela)
{
    m_tela = tela;
    const QString hoje = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    // The table field shows the number brought to four digits.
    const QString mesaMostrada = QStringLiteral("%1").arg(mesa, 4, QLatin1Char('0'));
    if (!(digita(ordem) && enter() && confere(1, ordem) && digita(serie) && enter()
          && confere(2, serie) && digita(subSerie) && enter() && confere(3, subSerie)
          && digita(QString(hoje).remove(u'/')) && confere(4, hoje) && enter() && digita(mesa)
          && enter() && confere(5, mesaMostrada)))
        return sai();
    for (int i = 0; i < itens.size(); ++i) {
        const Item &it = itens[i];
        if (!(digita(it.digitado) && enter() && confere(6, it.produto) && digita(it.quantidade)
              && confere(7, it.quantidade) && tecla(Qt::Key_P, Qt::AltModifier)
              && linhas(i + 1) && confere(6, QString())))
            return sai();
    }
    // From the product field to the payment type: past the empty product and quantity.
    if (!(enter() && enter()))
        return sai();
    for (int j = 0; j < pagamentos.size(); ++j) {
        const Pagamento &p = pagamentos[j];
        if (!(digita(p.digitado) && enter() && comeca(8, p.tipo + QStringLiteral(" - "))
              && digita(p.valor) && enter() && comeca(9, QLocale().currencySymbol())
              && tecla(Qt::Key_R, Qt::AltModifier) && linhas(itens.size() + j + 1)
              && confere(8, QString())))
            return sai();
    }
    if (antesDeGravar)
        antesDeGravar();
    if (!tecla(Qt::Key_G, Qt::AltModifier))
        return sai();
    gravou = !m_tela->isVisible();
    if (!gravou) {
        falhas << QStringLiteral("Alt+G não fechou a tela");
        sai();
    }
}

QWidget *Estrada::alvo() const
{
    // Keys go where the keyboard would send them: the focused control of the screen.
    QWidget *w = QApplication::focusWidget();
    return w && w->window() == m_tela ? w : m_tela;
}

bool Estrada::tecla(Qt::Key k, Qt::KeyboardModifiers m)
{
    QTest::keyClick(alvo(), k, m);
    return true;
}

bool Estrada::enter()
{
    return tecla(Qt::Key_Return);
}

bool Estrada::digita(const QString &texto)
{
    for (QChar c : texto)
        QTest::keyClick(alvo(), c.toLatin1());
    return true;
}

TBlendedButton *Estrada::campo(int tag) const
{
    for (TBlendedButton *b : m_tela->findChildren<TBlendedButton *>())
        if (b->Tag() == tag)
            return b;
    return nullptr;
}

bool Estrada::confere(int tag, const QString &esperado)
{
    const TBlendedButton *b = campo(tag);
    if (b && b->Caption() == esperado)
        return true;
    falhas << QStringLiteral("campo %1 mostra \"%2\", esperado \"%3\"")
                  .arg(tag)
                  .arg(b ? b->Caption() : QStringLiteral("(não há)"), esperado);
    return false;
}

bool Estrada::comeca(int tag, const QString &inicio)
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
bool Estrada::linhas(int esperadas)
{
    int total = 0;
    for (QTableView *g : m_tela->findChildren<QTableView *>())
        total += g->model() ? g->model()->rowCount() : 0;
    if (total == esperadas)
        return true;
    falhas << QStringLiteral("as grades têm %1 linhas, esperadas %2").arg(total).arg(esperadas);
    return false;
}

void Estrada::sai()
{
    // Leave through the exit question (the presenter answers yes), so the creator returns.
    if (m_tela->isVisible())
        QTest::keyClick(alvo(), Qt::Key_Escape);
    if (m_tela->isVisible())
        m_tela->done(QDialog::Rejected);
}
