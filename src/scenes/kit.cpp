// The scene kit (kit.h): the camera set-up, the letterbox window and the
// planar shadow the mesh scenes share. Relies on the camera and mesh records
// and the rasterizer's clipper and mesh drawing.
#include "scenes/kit.h"

#include "core/frame.h"

#include <cstring>

void camera_look(Camera* camera, const SceneFrame& frame, const Vec3& eye, const Vec3& target, float near,
                 float far, float fov)
{
    std::memset(camera, 0, sizeof *camera);
    camera->eye = eye;
    camera->target = target;
    camera->near = near;
    camera->far = far;
    camera->fov = fov;
    camera->viewport_width = static_cast<float>(frame.width);
    camera->viewport_height = static_cast<float>(frame.height);
    camera_update(camera);
    set_depth_clip(near, far);
}

void letterbox_window(const SceneFrame& frame)
{
    set_clip_window(0.0f, LETTERBOX_TOP - 1, static_cast<float>(frame.width), LETTERBOX_HEIGHT);
}

void letterbox_window_inside(const SceneFrame& frame)
{
    set_clip_window(0.0f, LETTERBOX_TOP, static_cast<float>(frame.width), LETTERBOX_HEIGHT - 1);
}

void planar_shadow_draw(Mesh* mesh, const Camera* camera, const Matrix* model, const float plane[4],
                        const float light[4], uint32_t colour, FillMode mode, uint32_t clip_flags)
{
    Matrix shadow;
    matrix_planar_shadow(&shadow, plane, light);
    matrix_multiply(model, &shadow, &mesh->model);
    mesh->flags |= MESH_DIVIDE_W;
    mesh_transform_view(mesh, camera, 0);
    mesh->model = *model;
    for (int32_t t = 0; t < mesh->triangle_count; ++t)
        mesh->triangles[t].lit_colour = colour;
    draw_mesh(mesh, camera, mode, clip_flags);
    mesh->flags &= ~MESH_DIVIDE_W;
}
