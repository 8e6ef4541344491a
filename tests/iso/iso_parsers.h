#pragma once

#include "container_mp4.h"
#include "iso_test_support.h"

#include <QStringList>

/// The ISO parsers the shared tests run against, by container name.
namespace IsoTest {

inline QStringList parserNames()
{
    return {QStringLiteral("MP4")};
}

inline Factory factory(const QString &name)
{
    Q_UNUSED(name);
    return [] { return std::unique_ptr<ContainerAbstract>(new ContainerMP4); };
}

} // namespace IsoTest
