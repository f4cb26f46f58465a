// placeholder
#include "datagen.h"
int generate_music(const GenContext&) { return 0; }
