// Movie fragments, segment indexes and the boxes that travel with them.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

void ContainerIso::addFragmentBoxes()
{
}
