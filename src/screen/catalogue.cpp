// The screen's message catalogue: every operator text, looked up by key.
#include "frmregvenman.h"

#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"
#include "server/rdmregvendamanual.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>

#include <pwd.h>
#include <unistd.h>

const QStringList &TfrmRegVenMan::catalogo()
{
    static const QStringList items{
        QStringLiteral("NRORDEM|Nº de Ordem"),
        QStringLiteral("REG_MAN_VEN|Reg. de Vendas Manuais"),
        QStringLiteral("ORD_DEV_INF|Nr. de ordem deve ser informado."),
        QStringLiteral("NRSUBSERIE|Nr. de Sub-Série:"),
        QStringLiteral("SUBSERIE_INF|Nr. de Sub-Série deve ser informado."),
        QStringLiteral("NRMESA|Nr. da Mesa"),
        QStringLiteral("MES_DEV_INF|Nr. da Mesa deve ser informado."),
        QStringLiteral("NRSERIE|Nr. de Série"),
        QStringLiteral("SERIE_INF|Nr. de série deve ser informado."),
        QStringLiteral("DTEMISSAO|Data de Emissão"),
        QStringLiteral("DT_DEV_INF|Data de emissão deve ser informado."),
        QStringLiteral("Reg_Venda_Man|Reg. Venda Manual"),
        QStringLiteral("QUANT|Quantidade Vendida."),
        QStringLiteral("QUANT_DEV_INF|Quantidade do produto deve ser informada."),
        QStringLiteral("COD_RECE|Código do Recebimento"),
        QStringLiteral("RECE_DEV_INF|Recebimento deve ser informado."),
        QStringLiteral("VAL_RECE|Valor do Recebimento"),
        QStringLiteral("VAL_DEV_INF|Valor do Recebimento deve ser informado."),
        QStringLiteral("ALIQUOTA|Alíquota:"),
        QStringLiteral("BLOQ_NUM_MESA|Operação bloqueada. Código da mesa não deve exceder 4 "
                       "dígitos."),
        QStringLiteral("SAIR|Deseja realmente sair? Todos os dados digitados que não foram "
                       "gravados serão perdidos. Confirma?"),
        QStringLiteral("NON_PROD_INF|Existem informações do produto em branco. Para que o "
                       "produto seja adicionado corretamente na lista todas as informações "
                       "devem estar corretas."),
        QStringLiteral("DATA_MAIOR|Data de Emissão da venda não deve ser maior que a data "
                       "atual."),
        QStringLiteral("TOTAL|Total : "),
        QStringLiteral("CONFIRMAR_PROD|Confirma a exclusão do produto?"),
        QStringLiteral("QUANT_ZERO|Quantidade não pode ser zero."),
        QStringLiteral("MESA_NCAD|Mesa não cadastrada."),
        QStringLiteral("VALOR_MAIOR|Tipo de recebimento não permite que seja emitido troco. "
                       "Assumir valor da venda?"),
        QStringLiteral("DATA_INV|Data Inválida."),
        QStringLiteral("SEM_PROD|Não existem produtos vendidos."),
        QStringLiteral("NON_RECE_INF|Existem informações do recebimento em branco. Para que o "
                       "recebimento seja adicionado corretamente na lista todas as "
                       "informações devem estar corretas."),
        QStringLiteral("COD_PROD_INV|Código do produto inválido."),
        QStringLiteral("COD_REC_INV|Código do tipo de recebimento inválido."),
        QStringLiteral("ZERO|Valor de recebimento não pode ser igual a zero."),
        QStringLiteral("VAL_DIF|Valor de Recebimento está diferente do valor da venda."),
        QStringLiteral("Preco_deve|Preço do produto deve ser cadastrado."),
        QStringLiteral("TabePrec|Tabela de preço deve ser parametrizada."),
        QStringLiteral("VigenciaPar|Não há tabela de preço padrão vigente."),
        QStringLiteral("VigenciaLoj|Não há tabela de preço da loja vigente."),
        QStringLiteral("VigenciaCli|Não há tabela de preço do cliente vigente."),
        QStringLiteral("Preco_Zero|Preço do produto deve ser maior que zero."),
        QStringLiteral("Prod_bloqueado|Operação bloqueada. Produto indisponível no momento."),
        QStringLiteral("SEMPROD|Venda não foi finalizada, pois não foram informados produtos."),
        QStringLiteral("SEMRECEB|Venda não foi finalizada, pois recebimento não foi informado."),
        QStringLiteral("DADOS_GRAV|Dados gravados corretamente."),
        QStringLiteral("RECEBIMENTO_MAIOR|Operação bloqueada. Valor do recebimento está maior "
                       "que o valor da venda."),
        QStringLiteral("CODIGO_INF|Código do produto deve ser informado."),
        QStringLiteral("PRECOUN_INF|Preço do produto deve ser informado."),
        QStringLiteral("CONFIRMAR_RECE|Confirma a exclusão do recebimento?"),
        QStringLiteral("ADD_RECE|Confirma o valor do recebimento informado?"),
        QStringLiteral("VR_RECEB_MAIOR|Valor do recebimento ultrapassa valor da venda."),
        // Our own texts, beyond the screen's original catalogue.
        QStringLiteral("ERRO_TELA|Erro inesperado ao abrir a tela."),
        QStringLiteral("PRECO_INDISP|Serviço de preços indisponível."),
        QStringLiteral("ORDEM_LARGURA|Nr. de ordem não pode ter mais de %1 caracteres."),
        QStringLiteral("SERIE_LARGURA|Nr. de série não pode ter mais de %1 caracteres."),
        QStringLiteral("SUBSERIE_LARGURA|Nr. de Sub-Série não pode ter mais de %1 caracteres."),
        QStringLiteral("QUANT_LIMITE|Quantidade %1 leva o total acima do valor máximo de uma "
                       "venda (%2)."),
        QStringLiteral("VAL_NEGATIVO|Valor de recebimento não pode ser negativo."),
        QStringLiteral("VAL_CENTAVOS|Valor de recebimento deve ter no máximo duas casas "
                       "decimais."),
        QStringLiteral("FECHAMENTO_INDISP|Rotina de fechamento indisponível."),
        QStringLiteral("TURNO_NAO_GRAV|A venda não foi gravada: o turno do caixa não pôde ser "
                       "registrado no banco de dados. Nada da venda ficou registrado; confira "
                       "o banco de dados e grave de novo. (%1)"),
        QStringLiteral("SEM_CONTEXTO|A venda não pode ser gravada: %1 deste terminal não está "
                       "identificado. Exporte de novo os cadastros do terminal e abra a tela "
                       "outra vez."),
        QStringLiteral("CTX_FILIAL|a filial"),
        QStringLiteral("CTX_CAIXA|o caixa"),
        QStringLiteral("CTX_OPERADOR|o operador"),
        QStringLiteral("VENDA_SEM_PASTA|A venda foi gravada, mas o arquivo cdsVenda.cds não foi "
                       "removido: a pasta %1 não existe. Confira o campo DSDIRCAD dos "
                       "parâmetros do terminal."),
        QStringLiteral("VENDA_FORA|A venda foi gravada, mas o arquivo cdsVenda.cds não foi "
                       "removido: a pasta %1 fica fora da instalação do terminal. Confira o "
                       "campo DSDIRCAD dos parâmetros do terminal."),
        QStringLiteral("RESULT_INV|Resposta inválida do banco de dados em %1. Avise o suporte."),
        QStringLiteral("VENDA_GRAVADA|Venda manual já gravada em %1 no caixa %2 por %3, total "
                       "%4."),
        QStringLiteral("TELA_NAO_ABRE|A tela não pode ser aberta. %1"),
        QStringLiteral("VENDA_NAO_GRAV|A venda não foi gravada e nada dela ficou registrado. %1"),
        QStringLiteral("LOJA_SEM_ACESSO|O usuário %1 não tem permissão para gravar no banco de "
                       "dados da loja: %2 (dono %3, grupo %4, %5). Peça ao responsável pelo "
                       "terminal que execute: %6"),
        QStringLiteral("LOJA_LEITURA|O banco de dados da loja %1 está somente para leitura. "
                       "Avise o responsável pelo terminal. (%2)"),
        QStringLiteral("LOJA_EM_USO|O banco de dados da loja %1 está bloqueado por outro "
                       "programa. Espere alguns instantes, ou feche o outro programa, e tente de "
                       "novo. (%2)"),
        QStringLiteral("LOJA_DISCO|O disco do banco de dados da loja %1 está cheio ou não aceita "
                       "gravação. Avise o responsável pelo terminal. (%2)"),
        QStringLiteral("LOJA_SEM_TABELA|Falta uma tabela no banco de dados da loja %1: ele é de "
                       "outra versão ou foi alterado. Avise o suporte. (%2)"),
        QStringLiteral("LOJA_DANIFICADA|O banco de dados da loja %1 está danificado. Avise o "
                       "suporte para restaurar uma cópia de segurança. (%2)"),
        QStringLiteral("TALAO_REL|Talão %1/%2, números %3 a %4: %5 gravadas, %6 faltam"),
        QStringLiteral("TALAO_NUMERO|Número"),
        QStringLiteral("TALAO_SITUACAO|Situação"),
        QStringLiteral("TALAO_GRAVADA_EM|Gravada em"),
        QStringLiteral("TALAO_CAIXA|Caixa"),
        QStringLiteral("TALAO_OPERADOR|Operador"),
        QStringLiteral("TALAO_TOTAL|Total"),
    };
    return items;
}


void TfrmRegVenMan::buildCatalogue()
{
    msgPadrao.Items = catalogo();
}

QString TfrmRegVenMan::MsgPadrao(const char *key)
{
    TMessages m;
    m.Items = catalogo();
    return m.Msg(QString::fromLatin1(key));
}

QString TfrmRegVenMan::recusaDaLoja(RecusaDoBanco recusa, const QString &detalhe) const
{
    const char *chave = nullptr;
    switch (recusa) {
    case RecusaDoBanco::SomenteLeitura: chave = "LOJA_LEITURA"; break;
    case RecusaDoBanco::EmUso: chave = "LOJA_EM_USO"; break;
    case RecusaDoBanco::DiscoCheio: chave = "LOJA_DISCO"; break;
    case RecusaDoBanco::SemTabela: chave = "LOJA_SEM_TABELA"; break;
    case RecusaDoBanco::Danificado: chave = "LOJA_DANIFICADA"; break;
    case RecusaDoBanco::Outra:
    case RecusaDoBanco::Conexao: return QString(); // the connection's own message already says it
    }
    QString loja;
    if (rdmRegVendaManual)
        loja = describeConnection(rdmRegVendaManual->adcRegVendaManual.ConnectionString);
    return Msg(chave).arg(loja, detalhe.simplified());
}

namespace {

// As ls shows them: "rw-r--r--".
QString permissoes(const QFileInfo &f)
{
    const QFileDevice::Permissions p = f.permissions();
    const QFileDevice::Permission bits[] = {
        QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner,
        QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
        QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther};
    QString texto;
    for (int i = 0; i < 9; ++i)
        texto += p.testFlag(bits[i]) ? QLatin1Char("rwx"[i % 3]) : QLatin1Char('-');
    return texto;
}

// A path as typed in a shell.
QString paraOShell(const QString &caminho)
{
    if (!caminho.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_./:@%+=,-]"))))
        return caminho;
    return QLatin1Char('\'') + QString(caminho).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
           + QLatin1Char('\'');
}

} // namespace

QString TfrmRegVenMan::falhaAoAbrir(const Exception &falha) const
{
    const QString conexao =
        rdmRegVendaManual ? rdmRegVendaManual->adcRegVendaManual.ConnectionString : QString();
    // A store this account may not write is named with the one command that mends it, run by
    // whoever looks after the terminal.
    const QString bloqueado = unwritableStoreFile(conexao);
    if (!bloqueado.isEmpty()) {
        const QFileInfo f(bloqueado);
        const QString comando =
            QStringLiteral("sudo %1 share --database %2")
                .arg(paraOShell(QCoreApplication::applicationDirPath() + QStringLiteral("/qelstore")),
                     paraOShell(describeConnection(conexao)));
        const passwd *conta = ::getpwuid(::geteuid());
        const QString usuario = conta ? QString::fromLocal8Bit(conta->pw_name)
                                      : QString::number(::geteuid());
        return Msg("TELA_NAO_ABRE").arg(Msg("LOJA_SEM_ACESSO").arg(
            usuario, bloqueado, f.owner(), f.group(), permissoes(f), comando));
    }
    const QSqlError &erro = falha.sqlError();
    const QString causa =
        recusaDaLoja(recusaDoBanco(erro, driverFor(conexao)),
                     erro.databaseText().isEmpty() ? falha.Message() : erro.databaseText());
    return causa.isEmpty() ? falha.Message() : Msg("TELA_NAO_ABRE").arg(causa);
}
