#pragma once

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

/// Points the program's settings store at a folder of this test run's own: test programs run side
/// by side, and one that clears or fills the store must not change what another reads.
inline void useOwnSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
}
