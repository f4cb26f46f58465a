// The camera's derived matrices, the per-mesh frame matrices and the in-place
// mesh transform (positions, vertex normals, tangents, face normals).
// Relies on the matrix builders (matrix.cpp) and core's Vec3 helpers.
#include "scene/mesh.h"

void camera_update(Camera* camera)
{
    matrix_look_at(&camera->view, &camera->eye, &camera->target);
    Vec3 d{camera->view.m[2], camera->view.m[6], camera->view.m[10]};
    vec3_normalize(&d, &camera->direction);
    float w = camera->viewport_width, h = camera->viewport_height;
    float aspect = w < h ? h / w : w / h;
    matrix_perspective(&camera->projection, aspect, camera->fov, camera->fov, camera->near, camera->far);
    matrix_viewport(&camera->viewport, camera->viewport_x, camera->viewport_y, w, h);
    matrix_multiply(&camera->projection, &camera->viewport, &camera->screen);
}

void mesh_frame_matrices(const Camera* camera, const Matrix* model, Matrix* out_full, Matrix* out_normal)
{
    Matrix model_view, full, inverse;
    matrix_multiply(model, &camera->view, &model_view);
    matrix_multiply(&model_view, &camera->screen, &full);
    matrix_inverse(&model_view, &inverse);
    *out_full = full;
    matrix_transpose(&inverse, out_normal);
}

void mesh_transform_view(Mesh* mesh, const Camera* camera, uint32_t what)
{
    if (!mesh)
        return;
    Matrix model_view, inverse;
    matrix_multiply(&mesh->model, &camera->view, &model_view);
    matrix_inverse(&model_view, &inverse);
    matrix_transpose(&inverse, &mesh->normal_matrix);
    mesh_transform(mesh, &model_view, &mesh->normal_matrix, what);
}

void mesh_transform(Mesh* mesh, const Matrix* matrix, const Matrix* normal_matrix, uint32_t what)
{
    if (!mesh)
        return;
    const float* m = matrix->m;
    bool divide = (mesh->flags & MESH_DIVIDE_W) != 0;
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        MeshVertex* v = &mesh->vertices[i];
        float x = v->x * m[0] + v->y * m[4] + v->z * m[8] + m[12];
        float y = v->x * m[1] + v->y * m[5] + v->z * m[9] + m[13];
        float z = v->x * m[2] + v->y * m[6] + v->z * m[10] + m[14];
        float w = v->x * m[3] + v->y * m[7] + v->z * m[11] + m[15];
        if (divide) {
            float inv = w == 0.0f ? 1.0f : 1.0f / w;
            v->tx = x * inv;
            v->ty = y * inv;
            v->tz = z * inv;
            v->tw = inv;
        } else {
            v->tx = x;
            v->ty = y;
            v->tz = z;
            v->tw = w;
        }
    }
    if (what & TRANSFORM_NORMALS) {
        for (int32_t i = 0; i < mesh->vertex_count; i++) {
            float* n = &mesh->normals[i * 6];
            Vec3 d{n[0], n[1], n[2]}, r;
            rotate_direction(normal_matrix, &d, &r);
            vec3_normalize(&r, &r);
            n[3] = r.x;
            n[4] = r.y;
            n[5] = r.z;
        }
    }
    if ((what & TRANSFORM_TANGENTS) && mesh->tangents) {
        for (int32_t i = 0; i < mesh->vertex_count; i++) {
            float* t = &mesh->tangents[i * 7];
            Vec3 d{t[0], t[1], t[2]}, r;
            rotate_direction(normal_matrix, &d, &r);
            vec3_normalize(&r, &r);
            t[3] = r.x;
            t[4] = r.y;
            t[5] = r.z;
        }
    }
    if (what & TRANSFORM_PLANES) {
        for (int32_t i = 0; i < mesh->triangle_count; i++) {
            MeshTriangle* t = &mesh->triangles[i];
            Vec3 d{t->nx, t->ny, t->nz}, r;
            rotate_direction(normal_matrix, &d, &r);
            vec3_normalize(&r, &r);
            t->tnx = r.x;
            t->tny = r.y;
            t->tnz = r.z;
        }
    }
}
