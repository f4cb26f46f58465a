// Meshes from LightWave objects: one Mesh from the first layer of an object
// file, or one Mesh per layer.
// Relies on the object reader (lightwave) and the Mesh record (scene/mesh.h).
#pragma once

#include "lightwave/lightwave.h"
#include "scene/mesh.h"

#include <cstdint>

// The Mesh of the first layer of the object file at path, or null (the
// object is released either way).
Mesh* mesh_load(const char* path);

// One Mesh per layer, in layer order, into a new array of count references
// owned by the caller (mesh_free_layers frees them).
// 0 on success; 1 on failure with meshes = null and count = 0 (outputs are
// left untouched when the file cannot be read).
int32_t mesh_load_layers(const char* path, Mesh*** meshes, int32_t* count);
// Frees what mesh_load_layers made, each Mesh and then the array, and sets
// *meshes = null and *count = 0; nothing to do on an empty pair.
void mesh_free_layers(Mesh*** meshes, int32_t* count);

// "NAME (REASON)" of the latest data file that could not be loaded on this
// thread (an object, a motion file, an image): the path actually opened and
// why, for the one line a failing load prints.
const char* mesh_load_failure();

// Builds the Mesh of one post-processed layer; null when the layer has no
// points or no triangles or memory runs out. A polygon of more than three
// corners is skipped with message (e.g. "error\n") on standard output.
Mesh* mesh_build_from_layer(const ObjectLayer* layer, const char* message);
