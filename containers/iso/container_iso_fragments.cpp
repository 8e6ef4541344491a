// Movie fragments, segment indexes and the boxes that travel with them.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

void ContainerIso::addFragmentBoxes()
{
}

void ContainerIso::registerFragmentSamples(const TrackSampleTables &tables)
{
    for (const TrackSampleTables::FragmentSample &sample : tables.fragmentSamples) {
        frameOffset = sample.offset;
        frameSize = sample.size;
        frameTime = sample.time;
        frameTime2 = sample.time + sample.compositionOffset;
        frameDuration = sample.duration;
        keyFrame = sample.key ? 1 : 0;
        registerStreamFrame(tables.stream);
    }
}
