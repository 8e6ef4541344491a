#pragma once

#include "container_3gp.h"
#include "container_mov.h"
#include "container_mp4.h"
#include "iso_test_support.h"

#include <QStringList>

/// The ISO parsers the shared tests run against, by container name.
namespace IsoTest {

inline QStringList parserNames()
{
    return {QStringLiteral("MP4"), QStringLiteral("MOV"), QStringLiteral("3GP")};
}

inline Factory factory(const QString &name)
{
    if (name == QLatin1String("MOV"))
        return [] { return std::unique_ptr<ContainerAbstract>(new ContainerMOV); };
    if (name == QLatin1String("3GP"))
        return [] { return std::unique_ptr<ContainerAbstract>(new Container3GP); };
    return [] { return std::unique_ptr<ContainerAbstract>(new ContainerMP4); };
}

} // namespace IsoTest
