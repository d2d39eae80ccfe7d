#pragma once
// The program's own files (the guide VRMAHelp/, the examples examples/), found from the
// folder of the running program: beside it, as in a build folder (build/VRMAHelp), or
// where an installation puts them, <prefix>/share/vrma for a program in <prefix>/bin.
// Nothing is looked up by an absolute path, so an installation works under any prefix.
#include <QChar>
#include <QString>
#include <QStringList>

namespace vrma {

// The folders that may hold the program's files, in the order they are searched:
// <programFolder> and <programFolder>/../share/vrma. Empty for an empty folder name.
QStringList ProgramDataFolders(const QString& programFolder);

// The first of those folders that holds `relative` (a file or a folder, "/" between
// components), as a clean absolute path; empty when none does.
QString FindProgramFile(const QString& programFolder, const QString& relative);
// The same from the folder of the running program (QCoreApplication::applicationDirPath).
QString FindProgramFile(const QString& relative);

// The bundled example (a 6 x 6 test field: scene.crd and image.crd) is there once for each
// decimal separator that files are written with, since numbers read only with the
// separator in use. The folder, relative to the program's data folders, of the pair written
// with `separator`: "examples/decimal-comma" for ",", "examples/decimal-point" for ".";
// empty for any other separator.
QString ExampleFolder(QChar separator);

} // namespace vrma
