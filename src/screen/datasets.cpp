// The screen's working datasets and their declared columns (names, order, types, sizes and
// display settings). Declarations only: the flow of the screen opens and fills them.
#include "frmregvenman.h"

#include "clientdataset.h"

namespace {

using namespace Decl;

// Hides every column but the named ones (the shown columns of a grid or search list).
QList<FieldDecl> showOnly(QList<FieldDecl> cols, const QStringList &shown)
{
    for (FieldDecl &f : cols)
        f.visible = shown.contains(f.name);
    return cols;
}

QList<FieldDecl> produtos()
{
    return showOnly(
        {text("NMCONSVEND", 50), text("NMPRODUTO", 50).label("Nome"), text("CDCAIXA", 3),
         text("CDFILIAL", 4), text("NRSEQVENDA", 10), text("NRSEQUITVENDA", 10),
         text("CDCLIENTE", 20), text("CDEMPRESA", 2), stamp("DTVENDA"), stamp("DTENTRVENDA"),
         text("IDSITUVENDA", 1), num("VRDESCVENDA"), text("CDFILIALTUR", 4),
         text("CDCAIXATUR", 3), stamp("DTABERTUR"), text("IDTIPOIMPV", 1),
         stamp("DTFECHAVENDA"), text("NRCUPOMFIS", 10), text("CDOPERADOR", 12),
         text("CDLOJA", 10), text("IDTIPOVENDA", 1), text("TXOBSVENDA", 2000),
         text("IDVENDEBCONS", 1), text("NRMESA", 4), text("CDSALA", 5),
         text("IDCANCMANUAL", 1), num("QTPRODVEND"), num("VRTOTVEND").currency(),
         num("VRUNITVEND").currency(), num("VRDESITVEND"), text("CDPRODUTO", 10),
         num("VRUNITVENDCL"), text("CDGRUPPROD", 10), text("CDSUBGRPROD", 10),
         text("CDFISUBGRVND", 4), num("VRACRITVEND"), text("DSOBSITEMVENDA", 2000),
         text("CDPRODPROMOCAO", 10), text("NMIMPOSTO", 30), num("VRPEALIMPFIS"),
         text("SGIMPOSTO", 10), text("CDVENDEDOR", 4), text("NRINSCRCONS", 20),
         text("NRVENDAREST", 10), text("CDSERVFILI", 5), num("VRTXSERVICO"),
         num("VRACRCOMANDA"), num("QTPRODCOMVEN"), num("VRPRECCOMVEN"), num("VRDESCCOMVEN"),
         text("CDLOJAIT", 10), text("CDFAMILISALD", 3), num("VRDESCOMANDA"),
         text("NRCONTCUPOMFISC", 10), text("CDORDALIQIMPR", 5), num("VRALIQIMPR"),
         text("DSENDEVENDA", 60), text("NRSUBSERIEVND", 50), text("NRORDEMVND", 50),
         text("NRSERIEVND", 50), text("NRCOMANDA", 10), text("CDVENDEDORITEM", 4),
         num("VRREPIQUEVENDA"), text("NRSEQ", 3), stamp("DTHRABERMESA"), num("VRACRCOMVEN"),
         text("CDPRODIMPFIS", 4), text("IDPRODIMPFIS", 1), stamp("DTABERCAIX")},
        {QStringLiteral("NMPRODUTO")});
}

// The product catalogue as loaded from the product file.
QList<FieldDecl> carregaProduto()
{
    return {text("CDPRODUTO", 10),     text("CDARVPROD", 20).label("Código"),
            text("NMPRODUTO", 50).label("Nome"), text("IDPESAPROD", 1),
            num("QTTARAPROD"),         text("CDFAMILISALD", 3),
            text("SGUNIDADE", 10).label("Unidade"), text("IDTIPOCOMPPROD", 1),
            text("IDIMPPRODUTO", 1),   stamp("DTINIVGPROMOC"),
            stamp("DTFINVGPROMOC")};
}

QList<FieldDecl> validaProd()
{
    QList<FieldDecl> cols = carregaProduto();
    cols << text("CDBARPRODUTO", 30).label("Cód. Barra")
         << text("CDPRODINTE", 20).label("Cód. Externo")
         << text("CDPROTECLADO", 20).label("Cód. Teclado");
    return showOnly(cols, {QStringLiteral("CDARVPROD"), QStringLiteral("NMPRODUTO"),
                           QStringLiteral("CDBARPRODUTO"), QStringLiteral("CDPRODINTE"),
                           QStringLiteral("CDPROTECLADO")});
}

QList<FieldDecl> retornaPreco()
{
    return {num("VRPRECO"),         num("VRDESCONTO"),      num("VRACRESCIMO"),
            num("VRPRECOCLIE"),     text("IDPRECVARIA", 1), text("IDPERCVALOR", 1),
            text("IDACREDESC", 1), num("VRPRECODIA")};
}

QList<FieldDecl> aliquota()
{
    return {text("CDALIQIMPFIS", 10), num("VRALIQIMPFIS"), text("IDALIQIMPFIS", 1)};
}

QList<FieldDecl> imposto()
{
    return {text("CDPRODUTO", 10), text("NMPRODUTO", 50).label("Nome"), text("NMIMPOSTO", 30),
            num("VRPEALIMPFIS"), text("SGIMPOSTO", 10)};
}

QList<FieldDecl> receb()
{
    return {text("CDFILIAL", 4).label("Cód. Filial").hidden(),
            text("CDTIPORECE", 3).label("Código").hidden(),
            text("NMTIPORECE", 40).label("Nome"),
            num("VRTIPORECE").currency(),
            text("IDTIPORECE", 1).label("ID Recebimento").hidden(),
            text("NRORDTROCO", 3).hidden(),
            text("CDTIPOTROCO", 3).hidden(),
            text("DSIMPFISCAL", 50).hidden()};
}

QList<FieldDecl> ambientes()
{
    return {text("NRMESA", 4), text("NMMESA", 30), text("CDSALA", 5), text("IDSTMESAAUX", 1)};
}

QList<FieldDecl> recebAux()
{
    return showOnly(
        {text("CDFILIAL", 4).label("Cód. Filial"),
         text("CDTIPORECE", 3).label("Código do Recebimento"), text("NMTIPORECE", 40).label("Nome"),
         text("DSBUTTON", 40).label("Nome do Recebimento"), num("VRTAXAADMI"),
         num("VRMINCARTAO"), text("CDTIPOTROCO", 3), text("NRORDTROCO", 3), text("IDEMIVALE", 1),
         text("IDVALE", 1), text("IDDEBCLIE", 1), text("CDFPIMPFIS", 10),
         text("IDTIPORECE", 1).label("ID Recebimento"), text("CDTPINDICE", 1),
         text("IDPERVALOR", 1), text("CDINDICE", 4), text("NRCONFTELA", 5),
         text("IDTPBUTTON", 1), text("NRBUTTON", 5), text("NRPGCONFTELA", 2),
         text("NRPGCONFTAUX", 2), text("IDTPBUTONAUX", 1), text("NRBUTTONAUX", 5),
         text("CDIDENTBUTON", 10), num("NRCOLORTEXT"), num("NRCOLORBACK"),
         text("DSMESSAGEBUT", 300), text("DSIMAGEMBUT", 200), text("DSIMPFISCAL", 50),
         text("CDADMINCART", 20), text("CDBANCARTCR", 10), text("IDMOSTRARECE", 1),
         text("IDDESABTEF", 1), num("NRFONTETEXT"), text("IDSANGRIAAUTO", 1)},
        {QStringLiteral("CDTIPORECE"), QStringLiteral("DSBUTTON")});
}

QList<FieldDecl> movCaixa()
{
    return {text("CDFILIAL", 4),       text("NRSEQUMOVI", 10),   text("IDTIPOMOVIVE", 1),
            text("DSMOVIVEND", 250),   text("NRSEQVENDA", 10),   text("CDTIPORECE", 3),
            stamp("DTHRINCMOV"),       stamp("DTDEPCHEQUE"),     text("NRCONTRAVALE", 10),
            text("CDTIPOTROCO", 3),    num("VRMOVIVEND").label("Valor").format("#,##0.00"),
            text("NMTIPORECE", 40).label("Recebimento"),         text("NRORDTROCO", 3),
            text("CDCLIENTE", 21),     text("CDCONSUMIDOR", 21), day("DTMOVIMCAIXA"),
            num("VRMOVIVEOUT"),        num("VRCOTINDOUT"),       text("CDAGECHEQVEN", 5),
            text("CDBANCHEQVEN", 3),   text("CDCNTCHEQVEN", 16), stamp("DTDEPCHEQVEN"),
            text("NRCHEQUEVEND", 6),   text("DSIMPFISCAL", 50),  text("IDTIPORECE", 1),
            text("CDFPIMPFIS", 10),    text("NRCARTBANCO", 10),  text("CDBANCARTCR", 10),
            text("CDTIPORECEORIG", 3), text("CDCCUSCLIE", 10),   text("CDNSUHOSTTEF", 50),
            num("QTPARCRECEB"),        text("IDFILAPAGMFE", 10), text("CDAUTORIZMFE", 10),
            text("CDBINCARTMFE", 10),  text("NMINSTFINMFE", 50), text("CDPAGAMENMFE", 10)};
}

QList<FieldDecl> vendaCancelada()
{
    return {text("CDFILIAL", 4),        text("NRVENDAREST", 10),  text("NRCOMANDA", 10),
            text("CDPRODUTO", 10),      text("IDPRODIMPFIS", 1),  text("NRPRODCOMVEN", 6),
            num("QTPRODCOMVEN"),        num("VRPRECCOMVEN"),      text("IDSTPRCOMVEN", 1),
            num("VRDESCCOMVEN"),        text("NRLUGARMESA", 3),   text("CDGRPOCOR", 2),
            text("CDOCORR", 2),         text("NRMESAORIG", 4),    text("CDLOJAORIG", 10),
            text("CDARVPROD", 20),      text("NMPRODUTO", 50),    text("CDVENDEDOR", 4),
            stamp("DTHRABERMESA"),      stamp("DTHRFECHMESA"),    num("VRDESCOMANDA"),
            text("NRCUPOMFIS", 10).fixed(), text("CDOPERADOR", 12), text("CDLOJA", 10),
            text("IDTPIMPOSFIS", 1),    text("CDIMPOSTO", 2),     text("IDTPFORPGVEN", 1).fixed(),
            text("CDEMPRESA", 2),       num("VRTXSERVICO"),       num("VRCONSUMAMIN"),
            text("VRPEALIMPFIS", 100),  text("CDLOJAIT", 10),     text("IDCONFIGPROD", 10),
            text("NMOPERADOR", 50),     text("NMLOJA", 50),       text("CDSERVFILI", 5),
            text("NMCONSVEND", 50),     text("NRINSCRCONS", 20),  num("VRUNITVENCLC"),
            text("CDPRODPROMOCAO", 20), text("NRITEMCUPOM", 5),   text("CDSUPERVISOR", 12)};
}

QList<FieldDecl> familiaSaldo() { return {text("CDFAMILISALD", 3), num("VRSALDCONFAM")}; }

QList<FieldDecl> itPromoComb()
{
    return {text("CDPRODUTO", 10),   text("NMPRODUTO", 50),   text("CDARVPROD", 20),
            text("CDFILIAL", 4),     text("NRSEQ", 3),        text("CDGRUPROMOC", 10),
            text("CDPRODVENDA", 10), num("VRUNVENDAEST"),     num("VRPRECOCLIE"),
            text("CDFAMILISALD", 3), text("IDPESAPROD", 1),   text("SGUNIDADE", 10),
            num("QTTARAPROD"),       num("VRACRESCIMO"),      num("VRDESCONTO"),
            num("QTPRODVEND"),       num("VRDESITVENDAEST")};
}

} // namespace

void TfrmRegVenMan::buildDataSets()
{
    const auto make = [this](const char *name, const QList<FieldDecl> &decls) {
        auto *ds = new ClientDataSet(QString::fromLatin1(name), this);
        ds->setFieldDecls(decls);
        return ds;
    };
    cdsProdutos = make("cdsProdutos", produtos());
    cdsValidaProd = make("cdsValidaProd", validaProd());
    cdsRetornaPreco = make("cdsRetornaPreco", retornaPreco());
    cdsAliquota = make("cdsAliquota", aliquota());
    cdsImposto = make("cdsImposto", imposto());
    cdsReceb = make("cdsReceb", receb());
    cdsAmbientes = make("cdsAmbientes", ambientes());
    cdsRecebAux = make("cdsRecebAux", recebAux());
    cdsMovCaixa = make("cdsMovCaixa", movCaixa());
    cdsVendaCancelada = make("cdsVendaCancelada", vendaCancelada());
    cdsFamiliaSaldo = make("cdsFamiliaSaldo", familiaSaldo());
    cdsEmprestimoFam = make("cdsEmprestimoFam", {});
    cdsItPromoComb = make("cdsItPromoComb", itPromoComb());
    // The context files bring their own columns.
    cdsParametrosQel = make("cdsParametrosQel", {});
    cdsControleAcess = make("cdsControleAcess", {});
    cdsCarregaProduto = make("cdsCarregaProduto", carregaProduto());
    cdsVazio = make("cdsVazio", {});
    cdsDataMovimento = make("cdsDataMovimento", {});
    cdsConfTipoRece = make("cdsConfTipoRece", {});
}
