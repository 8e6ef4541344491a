#include "container_mp4.h"
#include "container_plugin.h"

KESTRUNE_CONTAINER_PLUGIN(ContainerMP4, "MP4", "mp4|f4v")
