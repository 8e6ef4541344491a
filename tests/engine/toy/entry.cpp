#include "container_plugin.h"
#include "container_toy.h"

KESTRUNE_CONTAINER_PLUGIN(ContainerToy, "TOY", "toy")
