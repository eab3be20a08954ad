#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Ordavex::Paths {

QChar separator()
{
#ifdef Q_OS_WIN
    return u'\\';
#else
    return u'/';
#endif
}

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

bool endsWithSeparator(QStringView folder)
{
    return !folder.isEmpty() && isSeparator(folder.back());
}

QString join(const QString &folder, const QString &name)
{
    return endsWithSeparator(folder) ? folder + name : folder + separator() + name;
}

static qsizetype lastSeparator(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isSeparator(path[i]))
            return i;
    }
#ifdef Q_OS_WIN
    if (path.size() >= 2 && path[1] == u':')
        return 1;   // "C:name" is the file name on drive C
#endif
    return -1;
}

QString folderOf(const QString &path)
{
    return path.left(lastSeparator(path) + 1);
}

QString fileNameOf(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString withoutTrailingSeparator(const QString &folder)
{
    QString result = folder;
    while (result.size() > 1 && isSeparator(result.back())) {
#ifdef Q_OS_WIN
        if (result.size() == 3 && result[1] == u':')
            break;
#endif
        result.chop(1);
    }
    return result;
}

AppPaths resolveAppPaths(const QString &executablePath, bool exeFolderWritable,
                         const QString &configFolder, const QString &dataFolder)
{
    AppPaths paths;
    paths.exeFolder = withoutTrailingSeparator(folderOf(executablePath));
    if (exeFolderWritable) {
        const QString name = fileNameOf(executablePath);
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString stem = dot > 0 ? name.left(dot) : name;
        paths.settingsFile = join(paths.exeFolder, stem + QStringLiteral(".INI"));
        paths.baseFolder = paths.exeFolder;
    } else {
        paths.settingsFile = join(configFolder, QStringLiteral("ordavex.INI"));
        paths.baseFolder = withoutTrailingSeparator(dataFolder);
    }
#ifdef Q_OS_WIN
    const QString fixedWorkFolder = QStringLiteral("C:\\MyProg\\Pendra\\TEMP");
    paths.defaultWorkFolder = QFileInfo(fixedWorkFolder).isDir() ? fixedWorkFolder : paths.baseFolder;
#else
    paths.defaultWorkFolder = paths.baseFolder;
#endif
    return paths;
}

bool isSystemFolder(const QString &folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false;
#else
    return folder == u"/usr" || folder.startsWith(u"/usr/");
#endif
}

AppPaths currentAppPaths()
{
    const QString exe = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    const QFileInfo folder(QCoreApplication::applicationDirPath());
    const bool writable = folder.isDir() && folder.isWritable() && !isSystemFolder(folder.absoluteFilePath());
    const QString config = QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    const QString data = QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (!writable) {
        QDir().mkpath(config);
        QDir().mkpath(data);
    }
    return resolveAppPaths(exe, writable, config, data);
}

LogFolderCheck CheckLogFolder(const QString &logFolder, const QString &baseFolder)
{
    LogFolderCheck check{logFolder, {}};
    if (!logFolder.isEmpty() && QFileInfo(logFolder).isDir())
        return check;
    if (!logFolder.isEmpty()) {
        check.messages << QStringLiteral("ログファイルの出力先\n%1 に接続できませんでした。\nネットワークが切れてないか確認して下さい。")
                              .arg(logFolder);
        return check;
    }
    check.logFolder = join(baseFolder, QStringLiteral("log"));
    if (!QFileInfo(check.logFolder).isDir()) {
        // One level only: the base folder itself is not made.
        if (QDir().mkdir(check.logFolder))
            check.messages << QStringLiteral("Created ") + check.logFolder;
        else
            check.messages << QStringLiteral("Cannot create ") + check.logFolder;
    }
    check.messages << QStringLiteral("ログファイルの出力先を\n%1\nに設定しました。").arg(check.logFolder);
    return check;
}

} // namespace Ordavex::Paths
