// A plug-in library without createParser: the engine must skip it.
#include <QString>
#include <QStringList>

extern "C" Q_DECL_EXPORT QString containerName() { return QStringLiteral("BROKEN"); }
extern "C" Q_DECL_EXPORT QStringList supportedExtensions() { return {QStringLiteral("broken")}; }
