#include "bin_view_widget.h"

#include "bin_view_area.h"
#include "bin_view_layout.h"

#include <QSettings>
#include <QVBoxLayout>

#include <memory>

namespace {

const char bytesPerLineKey[] = "main/hex_viewer/bytes_per_line";
const char fontSizeKey[] = "main/hex_viewer/font_size";
const int defaultBytesPerLine = 8;
const double defaultFontSize = 10.0;

// The given store, or the program's own for the length of one call.
class SettingsAccess
{
public:
    explicit SettingsAccess(QSettings *given)
        : m_own(given ? nullptr : new QSettings(QStringLiteral("Orvane"), QStringLiteral("Kestrune"))),
          m_settings(given ? given : m_own.get())
    {
    }
    QSettings *operator->() const { return m_settings; }

private:
    std::unique_ptr<QSettings> m_own;
    QSettings *m_settings;
};

}

BinViewWidget::BinViewWidget(QWidget *parent) : QWidget(parent), m_area(new BinViewArea(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_area);
    layout->setSizeConstraint(QLayout::SetMaximumSize);
}

void BinViewWidget::loadSettings()
{
    const SettingsAccess settings(m_settings);
    bool ok = false;
    const int bytesPerLine = settings->value(bytesPerLineKey, defaultBytesPerLine).toInt(&ok);
    m_area->setBytesPerLine(BinViewLayout::clampBytesPerLine(ok ? bytesPerLine : defaultBytesPerLine));
    const double fontSize = settings->value(fontSizeKey, defaultFontSize).toDouble(&ok);
    m_area->setFontSize(BinViewLayout::clampFontSize(ok ? fontSize : defaultFontSize, defaultFontSize));
}

void BinViewWidget::saveSettings()
{
    const SettingsAccess settings(m_settings);
    settings->setValue(fontSizeKey, m_area->fontSize());
}
