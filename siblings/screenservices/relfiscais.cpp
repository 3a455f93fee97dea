#include "relfiscais.h"

#include "qelservices.h"
#include "touchbutton.h"

#include <QGridLayout>
#include <QKeyEvent>

RelFiscaisDialog::RelFiscaisDialog(QWidget *parent)
    : TouchDialog(QStringLiteral("Relatórios Fiscais"), parent)
{
    setObjectName(QStringLiteral("RelFiscaisDialog"));
    setFixedWidth(620);
    auto *grid = new QGridLayout;
    grid->setSpacing(10);
    const QStringList names = reports();
    for (int i = 0; i < names.size(); ++i) {
        // Digits 1..9 choose the first nine reports from the keyboard.
        const QString caption = i < 9 ? QStringLiteral("%1  %2").arg(i + 1).arg(names.at(i))
                                      : names.at(i);
        auto *b = makeButton(caption, QStringLiteral("report%1").arg(i + 1));
        b->setFixedHeight(64);
        b->setFont(touchFont(18, true));
        connect(b, &QAbstractButton::clicked, this, [this, i] { request(i); });
        grid->addWidget(b, i / 2, i % 2);
    }
    auto *close = makeButton(QStringLiteral("Fechar"), QStringLiteral("close"));
    close->setColors(QColor(0xC8, 0x3A, 0x3A), Qt::white);
    close->setFixedHeight(64);
    connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
    grid->addWidget(close, int(names.size() + 1) / 2, 0, 1, 2);
    body()->addLayout(grid);
}

QStringList RelFiscaisDialog::reports()
{
    return {QStringLiteral("Leitura X"),
            QStringLiteral("Redução Z"),
            QStringLiteral("Leitura da Memória Fiscal"),
            QStringLiteral("Espelho MFD"),
            QStringLiteral("Arquivo MFD"),
            QStringLiteral("Tabela de Produtos"),
            QStringLiteral("Estoque"),
            QStringLiteral("Meios de Pagamento"),
            QStringLiteral("Identificação do PAF")};
}

void RelFiscaisDialog::request(int report)
{
    const QStringList names = reports();
    if (report < 0 || report >= names.size())
        return;
    Mensagem(QStringLiteral("%1: nenhuma impressora fiscal conectada a este terminal; "
                            "o relatório não foi emitido.")
                 .arg(names.at(report)),
             QString(), QStringLiteral("N"), QStringLiteral("N"), tmAdvertencia, QString(),
             QString(), 0, nullptr);
}

bool RelFiscaisDialog::handleKey(QKeyEvent *event)
{
    const QString t = event->text();
    if (t.size() == 1 && t.front() >= QLatin1Char('1') && t.front() <= QLatin1Char('9')) {
        request(t.front().digitValue() - 1);
        return true;
    }
    return false;
}

void relFiscais()
{
    RelFiscaisDialog dialog;
    dialog.run();
}
