#pragma once

#include <QString>
#include <QStringList>

class ClientDataSet;
class IndiceCodigos;

// The product list of the terminal as the sale searches it.
namespace Produtos {

// A product may be named by any of these codes, searched in this order.
const QStringList &codigos();

// Puts the list's cursor on the first product `code` names, by the codes in their order; the
// bar, internal and keyboard codes never match an empty code unless `vazioEmTodos`. The index,
// when it covers the list as it stands, answers for the columns it holds; a filtered or
// changed list, or an empty code, is searched row by row.
bool localiza(ClientDataSet &lista, const IndiceCodigos *indice, const QString &code,
              bool vazioEmTodos);

// The catalogue key of the warning for a failure code of the price lookup ("PRECNCAD" ...);
// null for a failure of any other kind, which is shown as it is.
const char *avisoDePreco(const QString &falha);

} // namespace Produtos
