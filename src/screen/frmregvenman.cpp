#include "frmregvenman.h"

#include "datapacket.h"
#include "exception.h"

TfrmRegVenMan::TfrmRegVenMan(QWidget *owner) : QDialog(owner)
{
    buildLayout();
    buildCatalogue();
    buildDataSets();
    bindGrids();
    wireHandlers();
    FormCreate();
}

TfrmRegVenMan::~TfrmRegVenMan() = default;

void TfrmRegVenMan::FormCreate()
{
    Trad(this);
}

QString TfrmRegVenMan::Msg(const char *key) const
{
    return msgPadrao.Msg(QString::fromLatin1(key));
}

void TfrmRegVenMan::mensagem(const QString &text, TTipoMsg kind)
{
    Mensagem(text, QString(), QStringLiteral("N"), QStringLiteral("N"), kind, QString(),
             contexto.stIdEsquema, 0, nullptr);
}

void TfrmRegVenMan::mensagemErro(const QString &text)
{
    mensagem(text, tmErro);
}

void TfrmRegVenMan::recusaCampo(int field, const QString &text)
{
    mensagemErro(text);
    inCampoAtual = field;
    VoltaCor();
    MudaCor(field, Vermelho);
}

bool TfrmRegVenMan::pergunta(const QString &text)
{
    return Mensagem(text, QString(), QStringLiteral("N"), QStringLiteral("S"), tmInformacao,
                    QString(), contexto.stIdEsquema, 0, nullptr);
}

void TfrmRegVenMan::runHandler(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        try {
            mensagemErro(exceptionMessage(e));
        } catch (...) {
        }
    } catch (...) {
    }
}

DataPacket TfrmRegVenMan::pacoteDoServidor(const QVariant &resultado, const char *funcao) const
{
    // A result that is not a packet is a fault of the server side, not an empty table: the
    // screen would otherwise go on with no tables or no tax rates and never say why.
    if (resultado.typeId() != qMetaTypeId<DataPacket>())
        throw Exception(Msg("RESULT_INV").arg(QLatin1String(funcao)));
    return resultado.value<DataPacket>();
}
