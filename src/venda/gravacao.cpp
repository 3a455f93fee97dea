#include "gravacao.h"

#include "clientdataset.h"
#include "itens.h"
#include "pagamentos.h"

#include <QDir>
#include <QFileInfo>

namespace Gravacao {

std::optional<Recusa> confere(const Itens &itens, const Pagamentos &pagamentos)
{
    if (itens.vazia())
        return Recusa::SemItens;
    if (pagamentos.vazia())
        return Recusa::SemPagamentos;
    // The lines themselves, in cents: what is compared is what will be stored.
    if (pagamentos.total() != itens.total())
        return Recusa::ValoresDiferentes;
    return std::nullopt;
}

std::optional<Recusa> confereIdentificacao(const Contexto &contexto, const QString &operador)
{
    const std::pair<const QString &, Recusa> identificacao[] = {
        {contexto.stCdFilial, Recusa::SemFilial},
        {contexto.stCdCaixa, Recusa::SemCaixa},
        {operador, Recusa::SemOperador}};
    for (const auto &[valor, recusa] : identificacao) {
        if (valor.trimmed().isEmpty())
            return recusa;
    }
    return std::nullopt;
}

void movimentos(ClientDataSet &mov, ClientDataSet &pagamentos, const Contexto &contexto,
                const QDateTime &dataMovimento)
{
    mov.Close();
    mov.CreateDataSet();
    if (!pagamentos.Active() || pagamentos.IsEmpty())
        return;
    const auto receb = [&pagamentos](const char *column) {
        return pagamentos.FieldByName(QString::fromLatin1(column));
    };
    for (pagamentos.First(); !pagamentos.Eof(); pagamentos.Next()) {
        // Appended, so the movements follow the order of the payment lines.
        NewRow linha(mov, NewRow::AtEnd);
        linha["CDFILIAL"].setAsString(contexto.stCdFilial);
        // "T" only for an exact "A"; every other kind of payment is an "E" movement.
        linha["IDTIPOMOVIVE"].setAsString(receb("IDTIPORECE").AsString() == QLatin1String("A")
                                              ? QStringLiteral("T")
                                              : QStringLiteral("E"));
        linha["DTHRINCMOV"].setAsDateTime(QDateTime::currentDateTime());
        for (const char *column : {"CDTIPORECE", "NMTIPORECE", "IDTIPORECE"})
            linha[column].setAsString(receb(column).AsString());
        linha["VRMOVIVEND"].setAsFloat(receb("VRTIPORECE").AsFloat());
        for (const char *column : {"CDTIPOTROCO", "NRORDTROCO"})
            linha[column].setAsString(receb(column).AsString());
        linha["CDCLIENTE"].setAsString(contexto.stCdCliente);
        linha["CDCONSUMIDOR"].setAsString(QString());
        linha["CDCCUSCLIE"].setAsString(contexto.stCdCCusClie);
        linha["DTMOVIMCAIXA"].setAsDateTime(dataMovimento);
        linha["DSIMPFISCAL"].setAsString(receb("DSIMPFISCAL").AsString());
        linha.post();
    }
}

QVariantList paraFechamento(Itens itens, const Cabecalho &cabecalho, const Contexto &contexto,
                            const Terminal &terminal, const QDateTime &dtAbertura)
{
    itens.aplica(cabecalho);
    QVariantList v(33, QVariant(QString(QLatin1String(""))));
    v[0] = contexto.stCdCaixa;
    v[1] = dtAbertura;
    v[2] = contexto.stCdEmpresa;
    v[5] = contexto.stCdFilial;
    v[8] = contexto.stCdLoja;
    v[9] = cabecalho.mesa;
    v[11] = QStringLiteral("POS");
    v[13] = terminal.idPaisIntegra;
    v[15] = terminal.nrSerie;
    v[16] = terminal.idTipoImpFis;
    v[17] = contexto.stDsModeloEcf;
    v[18] = contexto.stDsMarcaEcf;
    v[19] = contexto.stDsEcfImp;
    v[20] = contexto.dtMovimento;
    v[23] = terminal.sgEstado;
    v[32] = QStringLiteral("QEL_MAN");
    return v;
}

std::optional<Recusa> pastaDaVenda(const QString &dir, const QString &instalacao,
                                   QString &pasta)
{
    const QFileInfo info(QDir(instalacao).absoluteFilePath(QDir::fromNativeSeparators(dir)));
    pasta = info.absoluteFilePath();
    if (!info.isDir())
        return Recusa::VendaSemPasta;
    pasta = info.canonicalFilePath();
    if (pasta != instalacao && !pasta.startsWith(instalacao + QLatin1Char('/')))
        return Recusa::VendaFora;
    return std::nullopt;
}

} // namespace Gravacao
