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

private:
    using Creator = void (*)();
    Creator m_creator = nullptr;
    QString m_error;
};

// The small launcher window: one button opens the screen, another quits.
class LauncherWindow : public QWidget
{
    Q_OBJECT
public:
    explicit LauncherWindow(const PackageLoader &loader, QWidget *parent = nullptr);
};
