#pragma once

class QSettings;

/// The settings store the viewer reads and writes ("main/tree_viewer/...").
///
/// It is the program's one store once the program hands it over with setStore(); until then
/// a store of the same organisation and application, which shares its data with every other
/// QSettings object of that name in the process.
class ViewerSettings
{
public:
    static QSettings &store();
    /// Makes settings (not owned; null for the default store) the store from now on.
    static void setStore(QSettings *settings);
};
