#include "container_3gp.h"
#include "container_plugin.h"

KESTRUNE_CONTAINER_PLUGIN(Container3GP, "3GP", "3gp|3g2")
