#include "screenservices.h"

#include "calendar.h"
#include "closing.h"
#include "keypads.h"
#include "pesquisa.h"
#include "pricing.h"
#include "relfiscais.h"

// Set at load time, so the screen finds them ready before it runs any code of its own.
TTecladoNumerico TecladoNumerico = &tecladoNumerico;
TTecladoAlfaNumerico TecladoAlfaNumerico = &tecladoAlfaNumerico;
TTouchCalendar TouchCalendar = &touchCalendar;
TPesquisa Pesquisa = &pesquisa;
TRelFiscais RelFiscais = &relFiscais;
TChamaFuncaoGetRetornaPreco ChamaFuncaoGetRetornaPreco = &retornaPreco;
TSetConcluiFechamento SetConcluiFechamento = &concluiFechamento;
