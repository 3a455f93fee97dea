#pragma once

// A manual sale keyed into the real screen with the keyboard alone, the package loaded at run
// time as the host loads it. Shared by the whole-road test and the terminal driver.

#include "dialogosrecusados.h"
#include "operador.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// One sale keyed in on the open screen by the operator, and what became of it.
struct Estrada
{
    VendaDigitada venda{QStringLiteral("90817"), QStringLiteral("3"), QStringLiteral("12"),
                        QStringLiteral("7"), {}, {}};
    std::function<void()> antesDeGravar; // called right before Alt+G
    QStringList falhas;
    bool gravou = false;

    void percorre(QWidget *tela);
};

using Criador = void (*)();
using CriadorTalao = bool (*)(); // one slip of a pad; true when it was recorded

// Loads the screen services and the package from binDir as the host does, with every touch
// dialog replaced by one that notes its name and answers at once (the road is keyboard only,
// so any dialog is a wrong turn, and it must never block the run). Returns the creator, or
// null with the reason in erro.
Criador carregaPacote(const QString &binDir, QString *erro);

// The pad's creator of the package carregaPacote loaded; null before it.
CriadorTalao criadorTalao();

// Launches the screen through the creator and keys the sale in once the screen is shown and
// active; returns when the creator returns.
void conduzVenda(Estrada &estrada, Criador cria);
