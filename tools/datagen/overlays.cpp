// placeholder
#include "datagen.h"
int generate_overlays(const GenContext&) { return 0; }
