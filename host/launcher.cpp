#include "launcher.h"

#include <QApplication>
#include <QLabel>
#include <QLibrary>
#include <QPushButton>
#include <QVBoxLayout>

bool PackageLoader::load()
{
    const QString dir = QCoreApplication::applicationDirPath();
    // The screen services package is loaded first: the package relies on its pointers.
    for (const char *name : {"screenservices", "Lum00071"}) {
        QLibrary lib(dir + QStringLiteral("/lib") + QLatin1String(name));
        lib.setLoadHints(QLibrary::ExportExternalSymbolsHint);
        if (!lib.load()) {
            m_error = QStringLiteral("Não foi possível carregar %1: %2")
                          .arg(QLatin1String(name), lib.errorString());
            return false;
        }
        if (QLatin1String(name) == QLatin1String("Lum00071")) {
            m_creator = reinterpret_cast<Creator>(lib.resolve("CriaRegVendaManual"));
            m_padCreator = reinterpret_cast<PadCreator>(lib.resolve("CriaRegVendaManualTalao"));
            for (const auto &[found, symbol] : {std::pair{bool(m_creator), "CriaRegVendaManual"},
                                                {bool(m_padCreator), "CriaRegVendaManualTalao"}})
                if (!found) {
                    m_error = QStringLiteral("%1 não encontrado em %2")
                                  .arg(QLatin1String(symbol), lib.fileName());
                    return false;
                }
        }
    }
    return true;
}

void PackageLoader::launch() const
{
    if (m_creator)
        m_creator();
}

void PackageLoader::launchPad() const
{
    while (m_padCreator && m_padCreator()) {
    }
}

LauncherWindow::LauncherWindow(const PackageLoader &loader, bool pad, QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("QEL POS"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Frente de caixa - QEL POS"), this);
    QFont f = title->font();
    f.setPixelSize(20);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    auto *open = new QPushButton(pad ? QStringLiteral("Registro Manual de Vendas - talão")
                                     : QStringLiteral("Registro Manual de Vendas"),
                                 this);
    auto *quit = new QPushButton(QStringLiteral("Sair"), this);
    for (QPushButton *b : {open, quit}) {
        b->setMinimumHeight(56);
        layout->addWidget(b);
    }
    connect(open, &QPushButton::clicked, this, [&loader, pad] {
        if (pad)
            loader.launchPad();
        else
            loader.launch();
    });
    connect(quit, &QPushButton::clicked, qApp, &QApplication::quit);
    resize(360, 200);
}
