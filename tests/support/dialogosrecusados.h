#pragma once

#include "screenservices.h"

#include <QString>
#include <QStringList>

class ClientDataSet;

inline QStringList &dialogosAbertos() // names of the touch dialogs the screen asked for
{
    static QStringList nomes;
    return nomes;
}

// Touch dialogs for a sale keyed in with the keyboard alone, where any dialog is a wrong turn:
// each notes its name in dialogosAbertos() and answers at once as cancelled, so it never
// blocks the run. Whoever drives the screen puts them in the screen services' pointers.
namespace DialogosRecusados {

inline bool tecladoNumerico(QString &, const QString &, const QString &, const QString &, int,
                            int, int, int, int, int)
{
    dialogosAbertos() << QStringLiteral("TecladoNumerico");
    return false;
}
inline QString tecladoAlfaNumerico(const QString &, const QString &, const QString &, int)
{
    dialogosAbertos() << QStringLiteral("TecladoAlfaNumerico");
    return QString();
}
inline QString calendario(const QString &, const QString &, const QString &)
{
    dialogosAbertos() << QStringLiteral("TouchCalendar");
    return QString();
}
inline bool pesquisa(ClientDataSet *, const QString &, const QString &, int, int, int, int, int)
{
    dialogosAbertos() << QStringLiteral("Pesquisa");
    return false;
}
inline void relFiscais()
{
    dialogosAbertos() << QStringLiteral("RelFiscais");
}

// Into the screen services' pointers of this process (a program linked with the package).
inline void instala()
{
    TecladoNumerico = &tecladoNumerico;
    TecladoAlfaNumerico = &tecladoAlfaNumerico;
    TouchCalendar = &calendario;
    Pesquisa = &pesquisa;
    RelFiscais = &relFiscais;
}

} // namespace DialogosRecusados
