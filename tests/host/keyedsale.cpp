#include "keyedsale.h"

#include <QLibrary>

namespace {

// Never unloaded: the package lives with the process, as in the host.
QLibrary servicos, pacote;

} // namespace

CriadorTalao criadorTalao()
{
    return reinterpret_cast<CriadorTalao>(pacote.resolve("CriaRegVendaManualTalao"));
}

Criador carregaPacote(const QString &binDir, QString *erro)
{
    servicos.setFileName(binDir + QStringLiteral("/libscreenservices"));
    servicos.setLoadHints(QLibrary::ExportExternalSymbolsHint);
    if (!servicos.load()) {
        *erro = servicos.errorString();
        return nullptr;
    }
    const auto troca = [](const char *nome, auto funcao) {
        auto *ponteiro = reinterpret_cast<decltype(funcao) *>(servicos.resolve(nome));
        if (ponteiro)
            *ponteiro = funcao;
        return ponteiro != nullptr;
    };
    using namespace DialogosRecusados;
    if (!(troca("TecladoNumerico", &tecladoNumerico)
          && troca("TecladoAlfaNumerico", &tecladoAlfaNumerico)
          && troca("TouchCalendar", &calendario) && troca("Pesquisa", &pesquisa)
          && troca("RelFiscais", &relFiscais))) {
        *erro = QStringLiteral("os diálogos dos serviços de tela não foram encontrados");
        return nullptr;
    }
    pacote.setFileName(binDir + QStringLiteral("/libLum00071"));
    pacote.setLoadHints(QLibrary::ExportExternalSymbolsHint);
    if (!pacote.load()) {
        *erro = pacote.errorString();
        return nullptr;
    }
    const auto cria = reinterpret_cast<Criador>(pacote.resolve("CriaRegVendaManual"));
    if (!cria)
        *erro = QStringLiteral("CriaRegVendaManual não encontrado");
    return cria;
}

void conduzVenda(Estrada &estrada, Criador cria)
{
    naTela(cria, [&estrada](QWidget *tela) { estrada.percorre(tela); }, estrada.falhas);
}

void Estrada::percorre(QWidget *tela)
{
    Operador operador(tela);
    if (operador.digitaVenda(venda)) {
        if (antesDeGravar)
            antesDeGravar();
        gravou = operador.grava();
        if (!gravou)
            operador.falhas << QStringLiteral("Alt+G não fechou a tela");
    }
    // Out through the exit question (the presenter answers yes), so the creator returns.
    if (!gravou)
        operador.sai();
    falhas += operador.falhas;
}
