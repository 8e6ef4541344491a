#pragma once

#include "container_iso.h"

/// Parser of the QuickTime plug-in: the ISO box walker with the QuickTime box table, no user
/// types, and tracks classified by the first handler box of each track.
class ContainerMOV : public ContainerIso
{
public:
    /// Dispatch record of the box table.
    using ElementMOV = Box;

    ContainerMOV();

protected:
    int verifyContainerFormat(const QString &fileName) override;
    void boxStarting(const QString &type) override;
    void handlerFound(const QString &handlerType) override;
    bool walksTrack(const TrackSampleTables &tables) const override;

private:
    int m_tracksMet = 0;
    int m_tracksClassified = 0;
};
