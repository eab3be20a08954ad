#pragma once

#include <QString>
#include <QStringList>

// Folder and path rules of the platform: the one place that knows the separator and
// where the program keeps its files.
namespace Ordavex::Paths {

QChar separator();
bool isSeparator(QChar c);
bool endsWithSeparator(QStringView folder);
// folder + name, with one separator between them unless the folder already ends in one
// (an empty folder counts as not ending in one).
QString join(const QString &folder, const QString &name);
// Everything up to and including the last separator ("" when there is none).
QString folderOf(const QString &path);
// The part after the last separator.
QString fileNameOf(const QString &path);

// The executable's folder as the default work folder is written: without a trailing
// separator, except for a root such as "C:\" or "/".
QString withoutTrailingSeparator(const QString &folder);

// Where the program keeps its settings file and default folders.
struct AppPaths
{
    QString exeFolder;          // folder of the running binary, no trailing separator
    QString settingsFile;       // the executable's path with ".INI", or the config folder's copy
    QString baseFolder;         // "the executable's folder" for default work and log folders
    QString defaultWorkFolder;
};

// A folder under /usr, where a package or `cmake --install` puts the program: never the
// program's own, even where it can be written (run as root, or with sudo for a serial port).
bool isSystemFolder(const QString &folder);

// Portable: everything beside the binary. When the binary's folder cannot be written
// (an installed program), the settings file and default folders move to the user's
// configuration and data folders.
AppPaths resolveAppPaths(const QString &executablePath, bool exeFolderWritable,
                         const QString &configFolder, const QString &dataFolder);
// resolveAppPaths for the running program.
AppPaths currentAppPaths();

// The start-up check of the log folder, done only when the folder does not exist. A
// folder that is named but missing (a network share that is down) keeps its text and
// is reported; an empty one becomes "log" in baseFolder, created when missing.
struct LogFolderCheck
{
    QString logFolder;
    QStringList messages;   // to show in this order
};
LogFolderCheck CheckLogFolder(const QString &logFolder, const QString &baseFolder);

} // namespace Ordavex::Paths
