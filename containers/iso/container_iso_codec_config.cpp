// The decoder configuration boxes and the sample entries that hold them.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

void ContainerIso::addCodecConfigurationBoxes()
{
}
