#include "frmregvenman.h"

#include "blended.h"
#include "clientdataset.h"
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
             stIdEsquema, 0, nullptr);
}

void TfrmRegVenMan::mensagemErro(const QString &text)
{
    mensagem(text, tmErro);
}

bool TfrmRegVenMan::pergunta(const QString &text)
{
    return Mensagem(text, QString(), QStringLiteral("N"), QStringLiteral("S"), tmInformacao,
                    QString(), stIdEsquema, 0, nullptr);
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
