#pragma once
// The editor's tool bar icons, drawn by the program itself.
#include <QIcon>

namespace vrma {

QIcon SaveIcon();
QIcon InsertRowIcon();
QIcon AppendRowIcon();
QIcon DeleteRowIcon();
QIcon ClearTableIcon();

} // namespace vrma
