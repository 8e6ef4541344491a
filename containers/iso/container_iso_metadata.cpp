// User data, metadata and asset information boxes.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

void ContainerIso::addMetadataBoxes()
{
}
