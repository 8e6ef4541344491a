#include "container_mkv.h"
#include "container_plugin.h"

KESTRUNE_CONTAINER_PLUGIN(ContainerMKV, "MKV", "mkv|webm")
