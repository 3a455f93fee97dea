#pragma once

// A manual sale keyed into the real screen with the keyboard alone, the package loaded at run
// time as the host loads it. Shared by the whole-road test and the terminal driver.

#include <QList>
#include <QString>
#include <QStringList>
#include <QtCore/qnamespace.h>

#include <functional>

class QDialog;
class QWidget;
class TBlendedButton;

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
    std::function<void()> antesDeGravar; // called right before Alt+G
    QStringList falhas;
    bool gravou = false;

    void percorre(QDialog *tela);

private:
    QWidget *alvo() const;
    bool tecla(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier);
    bool enter();
    bool digita(const QString &texto);
    TBlendedButton *campo(int tag) const;
    bool confere(int tag, const QString &esperado);
    bool comeca(int tag, const QString &inicio);
    bool linhas(int esperadas);
    void sai();

    QDialog *m_tela = nullptr;
};

using Criador = void (*)();

// Loads the screen services and the package from binDir as the host does, with every touch
// dialog replaced by one that notes its name and answers at once (the road is keyboard only,
// so any dialog is a wrong turn, and it must never block the run). Returns the creator, or
// null with the reason in erro.
Criador carregaPacote(const QString &binDir, QString *erro);
QStringList &dialogosAbertos(); // names of the touch dialogs the screen asked for

// Launches the screen through the creator and keys the sale in once the screen is shown and
// active; returns when the creator returns.
void conduzVenda(Estrada &estrada, Criador cria);

QString virgula(qint64 centavos); // 1234 -> "12,34"
