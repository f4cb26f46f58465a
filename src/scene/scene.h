// The scene pipeline's public face: the Mesh record, matrices and camera,
// lighting and generated texture coordinates, generated meshes, vertex
// deformers, meshes built from LightWave objects, camera-facing quads and
// the frame record scenes draw from.
#pragma once

#include "scene/mesh.h"
#include "scene/billboard.h"
#include "scene/scene_frame.h"
#include "scene/show_beats.h"
#include "scene/lighting.h"
#include "scene/generate.h"
#include "scene/deform.h"
#include "scene/mesh_load.h"
