// placeholder
#include "datagen.h"
int generate_scene_images(const GenContext&) { return 0; }
