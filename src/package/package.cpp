#include "package.h"

#include "exception.h"
#include "qelservices.h"
#include "screen/frmregvenman.h"
#include "screen/globals.h"

#include <QApplication>
#include <QCursor>

namespace {

// The hour-glass while the screen is built, restored once it is shown and on every failure.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { restore(); }
    void restore()
    {
        if (m_set) {
            QApplication::restoreOverrideCursor();
            m_set = false;
        }
    }

private:
    bool m_set = true;
};

// Release-and-clear as one step: the variable never points to a released object.
void releaseScreen()
{
    TfrmRegVenMan *screen = frmRegVenMan;
    frmRegVenMan = nullptr;
    delete screen;
}

void reportLaunchFailure(const QString &text)
{
    try {
        Mensagem(text, QString(), QStringLiteral("N"), QStringLiteral("N"), tmErro, QString(),
                 QStringLiteral("002"), 0, nullptr);
    } catch (...) {
        // The report itself failed: the host must still get control back.
    }
}

// Unit initialisation and finalisation, in the package's order: the server unit, then the
// screen unit; finalised in the opposite order, the screen unit releasing the exported strings.
struct PackageUnits
{
    PackageUnits() = default;
    ~PackageUnits() { releaseExportedStrings(); }
} units;

} // namespace

namespace {

// One launch: the screen built, initialised, shown modally and released; with `talao`, the
// screen keys the next slip of that pad.
void lanca(Talao *talao)
{
    try {
        BusyCursor cursor;
        if (frmRegVenMan)
            frmRegVenMan = nullptr; // not released here: it belongs to the launch that made it
        frmRegVenMan = new TfrmRegVenMan(nullptr);
        frmRegVenMan->InicializaForm();
        if (talao)
            frmRegVenMan->abreTalao(*talao);
        cursor.restore(); // the operator works with the normal cursor
        frmRegVenMan->exec();
    } catch (const Exception &e) {
        reportLaunchFailure(e.Message());
    } catch (const std::exception &e) {
        reportLaunchFailure(exceptionMessage(e));
    } catch (...) {
        reportLaunchFailure(TfrmRegVenMan::MsgPadrao("ERRO_TELA"));
    }
    releaseScreen();
}

} // namespace

namespace Cli_Lum00071 {

void CriaRegVendaManual()
{
    lanca(nullptr);
}

} // namespace Cli_Lum00071

extern "C" void CriaRegVendaManual()
{
    Cli_Lum00071::CriaRegVendaManual();
}

extern "C" bool CriaRegVendaManualTalao()
{
    Talao talao{stTalaoNrOrdem, stTalaoNrSerie, stTalaoNrSubSerie, stTalaoDtEmissao,
                stTalaoNrMesa,  inTalaoDe,      inTalaoAte};
    lanca(&talao);
    if (!talao.gravada)
        talao = Talao(); // the operator left the pad (and saw its report): the next one is new
    stTalaoNrOrdem = talao.ordem;
    stTalaoNrSerie = talao.serie;
    stTalaoNrSubSerie = talao.subSerie;
    stTalaoDtEmissao = talao.data;
    stTalaoNrMesa = talao.mesa;
    inTalaoDe = talao.de;
    inTalaoAte = talao.ate;
    return talao.gravada;
}
