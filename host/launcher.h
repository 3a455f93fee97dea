#pragma once

#include <QString>
#include <QWidget>

// Loads the screen services and the package at run time and calls the package's creator.
class PackageLoader
{
public:
    // Loads both libraries from the executable's directory; false with errorText on failure.
    bool load();
    QString errorText() const { return m_error; }
    void launch() const; // CriaRegVendaManual
    // A pad of slips: the screen opened again after each recorded slip with the next slip's
    // header, until the operator leaves it (CriaRegVendaManualTalao).
    void launchPad() const;

private:
    using Creator = void (*)();
    using PadCreator = bool (*)();
    Creator m_creator = nullptr;
    PadCreator m_padCreator = nullptr;
    QString m_error;
};

// The small launcher window: one button opens the screen, another quits.
class LauncherWindow : public QWidget
{
    Q_OBJECT
public:
    // With `pad`, the button keys a pad of slips.
    LauncherWindow(const PackageLoader &loader, bool pad, QWidget *parent = nullptr);
};
