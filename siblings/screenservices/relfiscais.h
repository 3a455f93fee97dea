#pragma once

#include "touchdialog.h"

// The fiscal reports menu. This terminal has no fiscal printer attached, so a report is
// only acknowledged, saying so; nothing pretends to have been printed.
class RelFiscaisDialog : public TouchDialog
{
    Q_OBJECT
public:
    explicit RelFiscaisDialog(QWidget *parent = nullptr);

    static QStringList reports();

public slots:
    void request(int report); // index into reports()

protected:
    bool handleKey(QKeyEvent *event) override;
};

void relFiscais();
