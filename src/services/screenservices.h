#pragma once

// Contract of the screen services package (libscreenservices): touch dialogs, the price lookup
// and the closing routine, reached through exported function pointers that the package sets
// when it is loaded. A test assigns its own functions to them.

#include <QString>
#include <QVariant>

class ClientDataSet;

using TTecladoNumerico = bool (*)(QString &result, const QString &title, const QString &prompt,
                                  const QString &requiredText, int maxLength, int flag1,
                                  int flag2, int arg8, int arg9, int arg10);
using TTecladoAlfaNumerico = QString (*)(const QString &arg1, const QString &arg2,
                                         const QString &arg3, int arg4);
using TTouchCalendar = QString (*)(const QString &arg1, const QString &arg2,
                                   const QString &arg3);
using TPesquisa = bool (*)(ClientDataSet *dataSet, const QString &arg2, const QString &arg3,
                           int arg4, int arg5, int arg6, int arg7, int arg8);
using TRelFiscais = void (*)();
// values[0..highValues]; fills cdsRetornaPreco; the result goes to CheckResultServ.
using TChamaFuncaoGetRetornaPreco = QVariant (*)(const QVariant *values, int highValues,
                                                 ClientDataSet *cdsRetornaPreco,
                                                 QVariant &output);
// dataSets[0..highDataSets], values[0..highValues]; the result goes to MensagemMetodo.
using TSetConcluiFechamento = QVariant (*)(ClientDataSet *const *dataSets, int highDataSets,
                                           const QVariant *values, int highValues,
                                           QVariant &ovFechamento);

extern TTecladoNumerico TecladoNumerico;
extern TTecladoAlfaNumerico TecladoAlfaNumerico;
extern TTouchCalendar TouchCalendar;
extern TPesquisa Pesquisa;
extern TRelFiscais RelFiscais;
extern TChamaFuncaoGetRetornaPreco ChamaFuncaoGetRetornaPreco;
extern TSetConcluiFechamento SetConcluiFechamento;
