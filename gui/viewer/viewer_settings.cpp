#include "viewer_settings.h"

#include <QSettings>

#include <atomic>

namespace {

std::atomic<QSettings *> handedOver{nullptr};

} // namespace

QSettings &ViewerSettings::store()
{
    if (QSettings *settings = handedOver.load())
        return *settings;
    static QSettings fallback(QStringLiteral("Orvane"), QStringLiteral("Kestrune"));
    return fallback;
}

void ViewerSettings::setStore(QSettings *settings)
{
    handedOver.store(settings);
}
