#include "app_settings.h"

#include <QSettings>

#include <atomic>
#include <memory>

namespace {

std::atomic<QSettings *> published{nullptr};

// Owns the published store so that it is written out and freed at process exit.
struct StoreOwner
{
    ~StoreOwner() { delete published.exchange(nullptr); }
};

} // namespace

QSettings &appSettings()
{
    if (QSettings *settings = published.load(std::memory_order_acquire))
        return *settings;
    static StoreOwner owner;
    auto candidate = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                 QStringLiteral("Orvane"), QStringLiteral("Kestrune"));
    QSettings *expected = nullptr;
    // The loser of a race drops its own copy and takes the one published first.
    if (published.compare_exchange_strong(expected, candidate.get(), std::memory_order_acq_rel))
        return *candidate.release();
    return *expected;
}
