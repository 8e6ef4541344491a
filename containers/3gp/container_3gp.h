#pragma once

#include "container_mp4.h"

/// Parser of the 3GPP and 3GPP2 plug-in: the MP4 box table plus the H.263 decoder
/// configuration and bit rate boxes, without user types.
class Container3GP : public ContainerMP4
{
public:
    /// Dispatch record of the box table.
    using Element3GP = Box;

    Container3GP();

protected:
    int verifyContainerFormat(const QString &fileName) override;
};
