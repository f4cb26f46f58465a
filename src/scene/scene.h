// The scene pipeline's public face: the Mesh record, matrices and camera,
// lighting and generated texture coordinates, generated meshes, vertex
// deformers and meshes built from LightWave objects.
#pragma once

#include "scene/mesh.h"
#include "scene/lighting.h"
#include "scene/generate.h"
#include "scene/deform.h"
#include "scene/mesh_load.h"
