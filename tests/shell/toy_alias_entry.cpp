#include "container_plugin.h"
#include "toy/container_toy.h"

// A second plug-in that claims an extension of a real one.
KESTRUNE_CONTAINER_PLUGIN(ContainerToy, "TOY2", "toy|mp4")
