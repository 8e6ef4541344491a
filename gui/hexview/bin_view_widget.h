#pragma once

#include <QWidget>

class BinViewArea;
class QSettings;

/// The hex view as the main window places it: one BinViewArea in a layout, and the view's
/// settings.
///
/// Settings go to the QSettings given with setSettings(), or, while none is given, to the
/// program's store (organisation "Orvane", application "Kestrune").
class BinViewWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BinViewWidget(QWidget *parent = nullptr);

    BinViewArea *binViewArea() const { return m_area; }

    /// Uses settings for loadSettings() and saveSettings(); not owned. Null means the program's
    /// store.
    void setSettings(QSettings *settings) { m_settings = settings; }

public slots:
    /// Reads "main/hex_viewer/bytes_per_line" and "main/hex_viewer/font_size" into the area.
    void loadSettings();
    /// Writes the area's font size to "main/hex_viewer/font_size".
    void saveSettings();

private:
    BinViewArea *m_area = nullptr;
    QSettings *m_settings = nullptr;
};
