#pragma once

#include <QColor>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtCore/qnamespace.h>

#include <functional>

class QTableView;
class QWidget;
class TBlendedButton;

// A hand-written sale as the operator keys it in.
struct VendaDigitada
{
    struct Item
    {
        QString digitado; // what is typed in the product field
        QString produto;  // the code the field shows after the lookup
        QString quantidade;
        qint64 centavos = 0; // unit price
    };
    struct Pagamento
    {
        QString digitado; // the payment-type code as typed
        QString tipo;     // the code the field shows, before " - " and the name
        qint64 centavos = 0;
    };

    QString ordem, serie, subSerie, mesa;
    QList<Item> itens;
    QList<Pagamento> pagamentos;

    qint64 total() const; // of the items
};

// An operator at the sale-entry screen with a keyboard only. The screen is a plain widget:
// entry fields are found by their Tag (1 to 9) and grids as table views, so neither the
// screen's class nor its package need be linked. Keys go where the keyboard would send them.
// Each step checks what the screen shows and notes in `falhas` the first thing that is not
// what it should be; nothing is thrown, so every caller reports failures its own way.
class Operador
{
public:
    explicit Operador(QWidget *tela) : m_tela(tela) {}

    QStringList falhas;
    int teclas = 0; // keys pressed so far, a key with its modifiers counted once

    QWidget *alvo() const; // the focused control of the screen, else the screen
    void tecla(Qt::Key tecla, Qt::KeyboardModifiers modificadores = Qt::NoModifier);
    void enter() { tecla(Qt::Key_Return); }
    void alt(Qt::Key letra) { tecla(letra, Qt::AltModifier); }
    // ',' is the comma key and '\b' backspace; any other character its Latin-1 key.
    void digita(const QString &texto);

    // The steps of a sale; each returns false once something was noted.
    // Order, series, sub-series, the date typed as ddMMyyyy and the table, each with Enter.
    bool cabecalho(const VendaDigitada &v, const QDate &data = QDate::currentDate());
    // The code and Enter (not when the field already shows the product: a lookup that failed
    // left it there, and adding looks the price up again), the quantity, Alt+P: one more grid
    // row, the product field empty again.
    bool item(const VendaDigitada::Item &i);
    // The type code and Enter, the value and Enter, Alt+R: one more grid row, the type field
    // empty again.
    bool pagamento(const VendaDigitada::Pagamento &p);
    bool itens(const VendaDigitada &v);
    // Enter twice, past the empty product and quantity to the payment type; every payment.
    bool pagamentos(const VendaDigitada &v);
    bool digitaVenda(const VendaDigitada &v) { return cabecalho(v) && itens(v) && pagamentos(v); }
    bool grava(); // Alt+G; true when the screen closed
    void sai();   // Escape, the caller's presenter answering the question; closed anyway

    // What the screen shows, read as the operator reads it.
    enum Grade { Itens, Pagamentos };
    enum Botao {
        AdicionarProduto,
        ItemAcima,
        CancelarItem,
        ItemAbaixo,
        AdicionarRecebimento,
        RecebimentoAcima,
        CancelarRecebimento,
        RecebimentoAbaixo,
        Gravar,
        Sair,
    };
    int foco() const;                 // the field framed black; 0 when none is
    QColor moldura(int tag) const;    // the colour of a field's frame
    bool vermelho(int tag) const { return moldura(tag) == QColor(255, 0, 0); }
    QString total() const;            // the total beside "Total : ", empty while hidden
    QString produto() const;          // the product's name line
    QString aliquota() const;         // the tax line
    QString preco() const;            // the unit price
    int linhas(Grade grade) const;
    int linhaAtual(Grade grade) const; // -1 when no row is current
    // A cell as the grid shows it, the column named by its title ("Valor Total").
    QString celula(Grade grade, int linha, const QString &coluna) const;

    // Touches: an entry field (its keypad or calendar opens) or a button.
    void toca(int tag);
    void toca(Botao botao);

    TBlendedButton *campo(int tag) const;
    QString legenda(int tag) const; // "(não há)" when there is no such field
    bool confere(int tag, const QString &esperado);
    bool comeca(int tag, const QString &inicio);
    int linhas() const; // of the item and payment grids together
    bool confereLinhas(int esperadas);

    // Moving and correcting, as at the counter (items, payments, recording).
    // Enter until the field is framed black, each field passed checked; false after going
    // twice round.
    bool vaiPara(int tag);
    // On to the field, its text erased with backspace and `texto` typed; no Enter. Confirmed:
    // then Enter, which checks it.
    void redigita(int tag, const QString &texto);
    void confirma(int tag, const QString &texto) { redigita(tag, texto), enter(); }

    // Layout and the grids' focus.
    TBlendedButton *botao(Botao botao) const;
    QWidget *contorno(int tag) const;    // the frame around a field
    QTableView *tabela(Grade grade) const;
    QStringList textos() const;          // of every label, shown or kept for later
    void tocaGrade(Grade grade);         // a touch on a grid gives it the focus

private:
    QWidget *parte(const char *nome) const;

    QWidget *m_tela;
};

QString virgula(qint64 centavos); // 1234 -> "12,34", as typed in the value field

// Runs `cria` (a creator of the screen) and, once the screen it opens is shown and active,
// `passo` on it; what went wrong on the way is noted in `falhas`. Returns when `cria` returns.
void naTela(const std::function<void()> &cria, const std::function<void(QWidget *)> &passo,
            QStringList &falhas);
