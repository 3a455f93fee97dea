// Cash movements: one movement per payment line, built when the sale is recorded.
#include "frmregvenman.h"

#include "clientdataset.h"
#include "exception.h"

bool TfrmRegVenMan::InsereMovCaixa(const QDateTime &dataMovimento)
{
    try {
        cdsMovCaixa->Close();
        cdsMovCaixa->CreateDataSet();
        if (!cdsReceb->Active() || cdsReceb->IsEmpty())
            return true;
        cdsReceb->First();
        while (!cdsReceb->Eof()) {
            const auto receb = [this](const char *column) {
                return cdsReceb->FieldByName(QString::fromLatin1(column));
            };
            // Appended, so the movements follow the order of the payment lines.
            NewRow mov(*cdsMovCaixa, NewRow::AtEnd);
            mov["CDFILIAL"].setAsString(contexto.stCdFilial);
            // "T" only for an exact "A"; every other kind of payment is an "E" movement.
            mov["IDTIPOMOVIVE"].setAsString(receb("IDTIPORECE").AsString() == QLatin1String("A")
                                                ? QStringLiteral("T")
                                                : QStringLiteral("E"));
            mov["DTHRINCMOV"].setAsDateTime(QDateTime::currentDateTime());
            for (const char *column : {"CDTIPORECE", "NMTIPORECE", "IDTIPORECE"})
                mov[column].setAsString(receb(column).AsString());
            mov["VRMOVIVEND"].setAsFloat(receb("VRTIPORECE").AsFloat());
            for (const char *column : {"CDTIPOTROCO", "NRORDTROCO"})
                mov[column].setAsString(receb(column).AsString());
            mov["CDCLIENTE"].setAsString(contexto.stCdCliente);
            mov["CDCONSUMIDOR"].setAsString(QString());
            mov["CDCCUSCLIE"].setAsString(contexto.stCdCCusClie);
            mov["DTMOVIMCAIXA"].setAsDateTime(dataMovimento);
            mov["DSIMPFISCAL"].setAsString(receb("DSIMPFISCAL").AsString());
            mov.post();
            cdsReceb->Next();
        }
        return true;
    } catch (const std::exception &e) {
        mensagemErro(exceptionMessage(e));
        return false;
    }
}
