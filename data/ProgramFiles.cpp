#include "data/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vrma {

QStringList ProgramDataFolders(const QString& programFolder) {
    if (programFolder.isEmpty())
        return {};
    const QDir folder(programFolder);
    return {QDir::cleanPath(folder.absolutePath()),
            QDir::cleanPath(folder.absoluteFilePath(QStringLiteral("../share/vrma")))};
}

QString FindProgramFile(const QString& programFolder, const QString& relative) {
    if (relative.isEmpty())
        return QString();
    for (const QString& folder : ProgramDataFolders(programFolder)) {
        const QString path = QDir(folder).filePath(relative);
        if (QFileInfo::exists(path))
            return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    return QString();
}

QString FindProgramFile(const QString& relative) {
    return FindProgramFile(QCoreApplication::applicationDirPath(), relative);
}

QString ExampleFolder(QChar separator) {
    if (separator == QLatin1Char(','))
        return QStringLiteral("examples/decimal-comma");
    if (separator == QLatin1Char('.'))
        return QStringLiteral("examples/decimal-point");
    return QString();
}

} // namespace vrma
