#include "container_mov.h"
#include "container_plugin.h"

KESTRUNE_CONTAINER_PLUGIN(ContainerMOV, "MOV", "mov|qt")
