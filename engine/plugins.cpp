#include "plugins.h"

#include "container_abstract.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QSet>

#include <cstdio>

namespace {

using NameFunction = QString (*)();
using ExtensionsFunction = QStringList (*)();
using CreateFunction = ContainerAbstract *(*)();

void warning(bool warn, const QString &text)
{
    if (warn)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

QStringList &customPaths()
{
    static QStringList paths;
    return paths;
}

} // namespace

void Plugins::setSearchPaths(const QStringList &paths)
{
    customPaths() = paths;
}

QStringList Plugins::searchPaths()
{
    if (!customPaths().isEmpty())
        return customPaths();
    QStringList paths;
    if (QCoreApplication::instance())
        paths << QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    paths << QStringLiteral(KESTRUNE_INSTALL_PLUGIN_DIR);
    return paths;
}

QList<Plugins::Plugin> Plugins::collectPlugins(bool warn)
{
    QList<Plugin> plugins;
    QSet<QString> seenFiles;
    for (const QString &path : searchPaths()) {
        const QDir dir(path);
        const QStringList files = dir.entryList({QStringLiteral("libkestrune-container-*.so")},
                                                QDir::Files, QDir::Name);
        for (const QString &fileName : files) {
            // A plug-in installed in both folders is taken from the first only.
            if (seenFiles.contains(fileName))
                continue;
            const QString libraryPath = dir.absoluteFilePath(fileName);
            QLibrary library(libraryPath);
            if (!library.load()) {
                warning(warn, QStringLiteral("plug-in %1 skipped: %2").arg(libraryPath, library.errorString()));
                continue;
            }
            auto name = reinterpret_cast<NameFunction>(library.resolve("containerName"));
            auto extensions = reinterpret_cast<ExtensionsFunction>(library.resolve("supportedExtensions"));
            auto create = reinterpret_cast<CreateFunction>(library.resolve("createParser"));
            if (!name || !extensions || !create) {
                warning(warn, QStringLiteral("plug-in %1 skipped: it lacks an entry point").arg(libraryPath));
                continue;
            }
            seenFiles.insert(fileName);
            plugins.append({libraryPath, name(), extensions()});
        }
    }
    return plugins;
}
