// placeholder
#include "datagen.h"
int generate_objects(const GenContext&) { return 0; }
