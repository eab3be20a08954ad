#include "workfolder.h"

#include "gridmodel.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Ordavex {

QString ClipboardText(const ResultGrid &grid)
{
    QString text;
    text.reserve(grid.dataRowCount() * 16);
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        text += grid.cell(0, row);
        text += u'\t';
        text += grid.cell(1, row);
        text += u'\t';
        text += grid.cell(2, row);
        text += u'\n';
    }
    return text;
}

QString RenameDestination(const QString &targetPath)
{
    const QString extension = QStringLiteral(".csv");
    if (targetPath.endsWith(extension, Qt::CaseInsensitive))
        return targetPath;
    return targetPath + extension;
}

QString RenameQuestion(const QString &source, const QString &destination)
{
    return QStringLiteral("ファイル名を変更しますか ?\n") + Paths::fileNameOf(source) + QStringLiteral("\nを\n")
        + Paths::fileNameOf(destination) + QStringLiteral("\nへ");
}

bool RenameResultFile(const QString &source, const QString &destination)
{
    if (source.isEmpty() || destination.isEmpty() || !QFileInfo(source).isFile())
        return false;
    // QFile::rename never replaces an existing destination.
    return QFile::rename(source, destination);
}

QStringList DeletableFiles(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    // Without QDir::Hidden no hidden file is listed; without CaseSensitive the masks match
    // "A.CSV" as Windows does.
    QDir dir(folder);
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    dir.setNameFilters({QStringLiteral("*.csv"), QStringLiteral("*.txt")});
    return dir.entryList();
}

QStringList DeleteFiles(const QString &folder, const QStringList &names)
{
    QStringList failed;
    for (const QString &name : names) {
        const QString path = Paths::join(folder, name);
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            continue;
        if (!QFile::remove(path))
            failed.append(name);
    }
    return failed;
}

} // namespace Ordavex
