#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// Finds the container plug-ins: every libkestrune-container-*.so in the "plugins" folder beside
/// the running program, then in the installed plug-in folder.
class Plugins
{
public:
    struct Plugin
    {
        QString library;        ///< path of the plug-in library
        QString name;           ///< short container name, such as "AVI"
        QStringList extensions; ///< bare extensions, such as "mkv", "webm"
    };

    /// Loads and lists the plug-ins. A library that fails to load or lacks one of the three
    /// entry points is skipped; with warn set, each such library is named on standard error.
    static QList<Plugin> collectPlugins(bool warn);

    /// The folders searched, in order.
    static QStringList searchPaths();
    /// Replaces the folders searched (for tests and programs that keep plug-ins elsewhere);
    /// an empty list restores the default folders.
    static void setSearchPaths(const QStringList &paths);
};
