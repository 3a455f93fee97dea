// Cash movements: one movement per payment line, built when the sale is recorded.
#include "frmregvenman.h"

#include "exception.h"
#include "venda/gravacao.h"

bool TfrmRegVenMan::InsereMovCaixa(const QDateTime &dataMovimento)
{
    try {
        Gravacao::movimentos(*cdsMovCaixa, *cdsReceb, contexto, dataMovimento);
        return true;
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
        return false;
    }
}
