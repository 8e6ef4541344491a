#pragma once

#include "container_iso.h"

/// Parser of the QuickTime plug-in: the ISO box walker with the QuickTime box table, no user
/// types, and frames only from tracks that have every sample table.
class ContainerMOV : public ContainerIso
{
public:
    /// Dispatch record of the box table.
    using ElementMOV = Box;

    ContainerMOV();

protected:
    int verifyContainerFormat(const QString &fileName) override;
    bool walksTrack(const TrackSampleTables &tables) const override;
};
