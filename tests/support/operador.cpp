#include "operador.h"

#include "blended.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>

qint64 VendaDigitada::total() const
{
    qint64 t = 0;
    for (const Item &i : itens)
        t += i.centavos * i.quantidade.toLongLong();
    return t;
}

QString virgula(qint64 centavos)
{
    return QStringLiteral("%1,%2")
        .arg(centavos / 100)
        .arg(centavos % 100, 2, 10, QLatin1Char('0'));
}

QWidget *Operador::alvo() const
{
    QWidget *w = QApplication::focusWidget();
    return w && w->window() == m_tela ? w : m_tela;
}

void Operador::tecla(Qt::Key tecla, Qt::KeyboardModifiers modificadores)
{
    ++teclas;
    QTest::keyClick(alvo(), tecla, modificadores);
}

void Operador::digita(const QString &texto)
{
    for (QChar c : texto) {
        if (c == u',')
            tecla(Qt::Key_Comma);
        else if (c == u'\b')
            tecla(Qt::Key_Backspace);
        else {
            ++teclas;
            QTest::keyClick(alvo(), c.toLatin1());
        }
    }
}

bool Operador::cabecalho(const VendaDigitada &v, const QDate &data)
{
    const auto passo = [this](int tag, const QString &digitado, const QString &mostrado) {
        digita(digitado);
        enter();
        return confere(tag, mostrado);
    };
    const QString dia = data.toString(QStringLiteral("dd/MM/yyyy"));
    // The table field shows the number brought to four digits.
    return passo(1, v.ordem, v.ordem) && passo(2, v.serie, v.serie)
           && passo(3, v.subSerie, v.subSerie) && passo(4, QString(dia).remove(u'/'), dia)
           && passo(5, v.mesa, QStringLiteral("%1").arg(v.mesa, 4, QLatin1Char('0')));
}

bool Operador::item(const VendaDigitada::Item &i)
{
    if (legenda(6) != i.produto) {
        digita(i.digitado);
        enter();
        if (!confere(6, i.produto))
            return false;
    }
    const int antes = linhas();
    digita(i.quantidade);
    if (!confere(7, i.quantidade))
        return false;
    alt(Qt::Key_P);
    return confereLinhas(antes + 1) && confere(6, QString());
}

bool Operador::pagamento(const VendaDigitada::Pagamento &p)
{
    const int antes = linhas();
    digita(p.digitado);
    enter();
    if (!comeca(8, p.tipo + QStringLiteral(" - ")))
        return false;
    digita(virgula(p.centavos));
    enter();
    if (!comeca(9, QLocale().currencySymbol()))
        return false;
    alt(Qt::Key_R);
    return confereLinhas(antes + 1) && confere(8, QString());
}

bool Operador::itens(const VendaDigitada &v)
{
    return std::all_of(v.itens.begin(), v.itens.end(), [this](const auto &i) { return item(i); });
}

bool Operador::pagamentos(const VendaDigitada &v)
{
    enter();
    enter();
    return std::all_of(v.pagamentos.begin(), v.pagamentos.end(),
                       [this](const auto &p) { return pagamento(p); });
}

bool Operador::grava()
{
    alt(Qt::Key_G);
    return !m_tela->isVisible();
}

void Operador::sai()
{
    if (m_tela->isVisible())
        tecla(Qt::Key_Escape);
    if (auto *dialogo = qobject_cast<QDialog *>(m_tela); dialogo && dialogo->isVisible())
        dialogo->done(QDialog::Rejected);
}

TBlendedButton *Operador::campo(int tag) const
{
    for (TBlendedButton *b : m_tela->findChildren<TBlendedButton *>())
        if (b->Tag() == tag)
            return b;
    return nullptr;
}

QString Operador::legenda(int tag) const
{
    const TBlendedButton *b = campo(tag);
    return b ? b->Caption() : QStringLiteral("(não há)");
}

bool Operador::confere(int tag, const QString &esperado)
{
    if (legenda(tag) == esperado)
        return true;
    falhas << QStringLiteral("campo %1 mostra \"%2\", esperado \"%3\"")
                  .arg(tag)
                  .arg(legenda(tag), esperado);
    return false;
}

bool Operador::comeca(int tag, const QString &inicio)
{
    if (campo(tag) && legenda(tag).startsWith(inicio))
        return true;
    falhas << QStringLiteral("campo %1 mostra \"%2\", esperado começar com \"%3\"")
                  .arg(tag)
                  .arg(legenda(tag), inicio);
    return false;
}

int Operador::linhas() const
{
    int total = 0;
    for (QTableView *g : m_tela->findChildren<QTableView *>())
        total += g->model() ? g->model()->rowCount() : 0;
    return total;
}

bool Operador::confereLinhas(int esperadas)
{
    if (linhas() == esperadas)
        return true;
    falhas << QStringLiteral("as grades têm %1 linhas, esperadas %2").arg(linhas()).arg(esperadas);
    return false;
}

// The screen names its parts as the system does; the operator knows them by where they are.
QWidget *Operador::parte(const char *nome) const
{
    return m_tela->findChild<QWidget *>(QLatin1String(nome));
}

namespace {

const char *const molduras[] = {"",       "borda1", "Borda2", "Borda3", "Borda4",
                                "Borda5", "Borda6", "Borda7", "Borda8", "Borda9"};

QString texto(const QWidget *w)
{
    if (const auto *l = qobject_cast<const QLabel *>(w))
        return l->isVisible() ? l->text() : QString();
    if (const auto *b = qobject_cast<const TBlendedButton *>(w))
        return b->Caption();
    return QString();
}

} // namespace

QColor Operador::moldura(int tag) const
{
    QWidget *w = contorno(tag);
    if (const auto *s = qobject_cast<TBlendedShape *>(w))
        return s->brushColor();
    if (const auto *b = qobject_cast<TBlendedButton *>(w))
        return b->brushColor();
    return {};
}

int Operador::foco() const
{
    for (int tag = 1; tag <= 9; ++tag)
        if (moldura(tag) == QColor(Qt::black))
            return tag;
    return 0;
}

QString Operador::total() const
{
    return texto(parte("lblTotal"));
}

QString Operador::produto() const
{
    return texto(parte("lblProd"));
}

QString Operador::aliquota() const
{
    return texto(parte("lblImpAliq"));
}

QString Operador::preco() const
{
    return texto(parte("bldPrecoUn"));
}

int Operador::linhas(Grade g) const
{
    QTableView *v = tabela(g);
    return v && v->model() ? v->model()->rowCount() : 0;
}

int Operador::linhaAtual(Grade g) const
{
    QTableView *v = tabela(g);
    return v ? v->currentIndex().row() : -1;
}

QString Operador::celula(Grade g, int linha, const QString &coluna) const
{
    QTableView *v = tabela(g);
    if (!v || !v->model())
        return QStringLiteral("(não há)");
    QAbstractItemModel *m = v->model();
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == coluna)
            return m->index(linha, c).data().toString();
    return QStringLiteral("(não há)");
}

void Operador::toca(int tag)
{
    if (TBlendedButton *b = campo(tag))
        b->click();
    else
        falhas << QStringLiteral("não há campo %1 para tocar").arg(tag);
}

void Operador::toca(Botao botao)
{
    if (TBlendedButton *b = this->botao(botao))
        b->click();
    else
        falhas << QStringLiteral("não há o botão %1").arg(int(botao));
}

TBlendedButton *Operador::botao(Botao botao) const
{
    static const char *const nomes[] = {"bldAddProd",   "bldAcima",       "bldCancel",
                                        "bldAbaixo",    "bldAddRece",     "bldRolarCima",
                                        "bldCancelaRece", "bldRolarBaixo", "bldGravar",
                                        "spdSair"};
    return qobject_cast<TBlendedButton *>(parte(nomes[botao]));
}

QWidget *Operador::contorno(int tag) const
{
    return tag >= 1 && tag <= 9 ? parte(molduras[tag]) : nullptr;
}

QTableView *Operador::tabela(Grade g) const
{
    return m_tela->findChild<QTableView *>(QLatin1String(g == Itens ? "dbgProd" : "dbgRece"));
}

QStringList Operador::textos() const
{
    QStringList t;
    for (const QLabel *l : m_tela->findChildren<QLabel *>())
        t << l->text();
    return t;
}

void Operador::tocaGrade(Grade g)
{
    if (QTableView *v = tabela(g))
        v->setFocus();
}

bool Operador::vaiPara(int tag)
{
    for (int vezes = 0; foco() != tag && vezes < 18; ++vezes)
        enter();
    if (foco() != tag)
        falhas << QStringLiteral("Enter não leva ao campo %1").arg(tag);
    return foco() == tag;
}

void Operador::redigita(int tag, const QString &texto)
{
    if (vaiPara(tag))
        digita(QString(legenda(tag).size(), u'\b') + texto);
}

void naTela(const std::function<void()> &cria, const std::function<void(QWidget *)> &passo,
            QStringList &falhas)
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
                falhas << QStringLiteral("a tela não ficou ativa");
            passo(tela);
        } else if (relogio.elapsed() > 30000) {
            condutor.stop();
            falhas << QStringLiteral("a tela não apareceu");
        }
    });
    condutor.start();
    cria();
    condutor.stop();
}
