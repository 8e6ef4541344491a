#include "container_avi.h"
#include "container_plugin.h"

KESTRUNE_CONTAINER_PLUGIN(ContainerAVI, "AVI", "avi")
