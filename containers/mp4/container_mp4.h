#pragma once

#include "container_iso.h"

/// Parser of the MP4 and F4V plug-in: the ISO box walker with the MP4 box table.
class ContainerMP4 : public ContainerIso
{
public:
    /// Dispatch record of the box table.
    using ElementMP4 = Box;

    ContainerMP4();

protected:
    /// For parsers that read the MP4 box table with their own walker variant and add boxes.
    explicit ContainerMP4(const Variant &variant);

    int verifyContainerFormat(const QString &fileName) override;
};
