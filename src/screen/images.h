#pragma once

#include <QIcon>

// The pictures of the screen's image buttons: 34 by 34 vector drawings, each with a greyed
// variant for the disabled state.
namespace ScreenImages {

QIcon sair();        // exit
QIcon acima();       // previous row
QIcon abaixo();      // next row
QIcon cancelar();    // cancel the selected row
QIcon gravar();      // record the sale

} // namespace ScreenImages
