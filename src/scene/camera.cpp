// The camera's derived matrices, the per-mesh frame matrices and the in-place
// mesh transform (positions, vertex normals, tangents, face normals), four
// vertices at a time in SSE2. Relies on the matrix builders (matrix.cpp) and
// core's Vec3 and lane helpers.
#include "scene/mesh.h"

#include "core/lanes.h"

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

// The directions at from[0..2] of count records (stride floats apart) turned
// by the normal matrix and normalised into to[0..2] of the same records, four
// at a time: each lane does rotate_direction and vec3_normalize's operations.
static void turn_directions(const Matrix* normal_matrix, const float* from, float* to, int32_t count,
                            int32_t stride)
{
    const float* a = normal_matrix->m;
    int32_t i = 0;
    if (count >= 4) {
        const __m128 a0 = _mm_set1_ps(a[0]), a1 = _mm_set1_ps(a[1]), a2 = _mm_set1_ps(a[2]);
        const __m128 a4 = _mm_set1_ps(a[4]), a5 = _mm_set1_ps(a[5]), a6 = _mm_set1_ps(a[6]);
        const __m128 a8 = _mm_set1_ps(a[8]), a9 = _mm_set1_ps(a[9]), a10 = _mm_set1_ps(a[10]);
        for (; i + 4 <= count; i += 4) {
            const float* f = from + static_cast<size_t>(i) * stride;
            float* t = to + static_cast<size_t>(i) * stride;
            const Lanes4 d = lanes_gather(f, f + stride, f + 2 * stride, f + 3 * stride);
            __m128 x = _mm_add_ps(_mm_add_ps(_mm_mul_ps(d.x, a0), _mm_mul_ps(d.y, a4)), _mm_mul_ps(d.z, a8));
            __m128 y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(d.x, a1), _mm_mul_ps(d.y, a5)), _mm_mul_ps(d.z, a9));
            __m128 z = _mm_add_ps(_mm_add_ps(_mm_mul_ps(d.x, a2), _mm_mul_ps(d.y, a6)), _mm_mul_ps(d.z, a10));
            lanes_normalize(&x, &y, &z);
            lanes_scatter3(x, y, z, t, t + stride, t + 2 * stride, t + 3 * stride);
        }
    }
    for (; i < count; i++) {
        const float* f = from + static_cast<size_t>(i) * stride;
        float* t = to + static_cast<size_t>(i) * stride;
        Vec3 d{f[0], f[1], f[2]}, r;
        rotate_direction(normal_matrix, &d, &r);
        vec3_normalize(&r, &r);
        t[0] = r.x;
        t[1] = r.y;
        t[2] = r.z;
    }
}

static void transform_vertex(const float* m, bool divide, MeshVertex* v)
{
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

// transform_vertex on four vertices, one per lane: the matrix's columns
// broadcast, each sum formed left to right as the scalar expression is.
static void transform_four(const __m128 (&c)[16], bool divide, MeshVertex* v)
{
    const Lanes4 p = lanes_gather(&v[0].x, &v[1].x, &v[2].x, &v[3].x);
    auto column = [&p, &c](int k) {
        const __m128 s = _mm_add_ps(_mm_mul_ps(p.x, c[k]), _mm_mul_ps(p.y, c[k + 4]));
        return _mm_add_ps(_mm_add_ps(s, _mm_mul_ps(p.z, c[k + 8])), c[k + 12]);
    };
    Lanes4 out{column(0), column(1), column(2), column(3)};
    if (divide) {
        const __m128 one = _mm_set1_ps(1.0f);
        const __m128 zero_w = _mm_cmpeq_ps(out.w, _mm_setzero_ps());
        const __m128 inv = _mm_or_ps(_mm_and_ps(zero_w, one), _mm_andnot_ps(zero_w, _mm_div_ps(one, out.w)));
        out = Lanes4{_mm_mul_ps(out.x, inv), _mm_mul_ps(out.y, inv), _mm_mul_ps(out.z, inv), inv};
    }
    lanes_scatter(out, &v[0].tx, &v[1].tx, &v[2].tx, &v[3].tx);
}

void mesh_transform(Mesh* mesh, const Matrix* matrix, const Matrix* normal_matrix, uint32_t what)
{
    if (!mesh)
        return;
    const float* m = matrix->m;
    bool divide = (mesh->flags & MESH_DIVIDE_W) != 0;
    __m128 columns[16];
    for (int k = 0; k < 16; k++)
        columns[k] = _mm_set1_ps(m[k]);
    int32_t i = 0;
    for (; i + 4 <= mesh->vertex_count; i += 4)
        transform_four(columns, divide, &mesh->vertices[i]);
    for (; i < mesh->vertex_count; i++)
        transform_vertex(m, divide, &mesh->vertices[i]);
    if (what & TRANSFORM_NORMALS)
        turn_directions(normal_matrix, mesh->normals, mesh->normals + 3, mesh->vertex_count, 6);
    if ((what & TRANSFORM_TANGENTS) && mesh->tangents)
        turn_directions(normal_matrix, mesh->tangents, mesh->tangents + 3, mesh->vertex_count, 7);
    if (what & TRANSFORM_PLANES) {
        static_assert(sizeof(MeshTriangle) % sizeof(float) == 0, "triangles are whole floats apart");
        const int32_t stride = sizeof(MeshTriangle) / sizeof(float);
        turn_directions(normal_matrix, &mesh->triangles[0].nx, &mesh->triangles[0].tnx, mesh->triangle_count,
                        stride);
    }
}
