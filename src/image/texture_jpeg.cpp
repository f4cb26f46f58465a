// JPEG loader: decodes baseline and progressive three-component JPEG files to
// opaque 0xFFRRGGBB textures through libjpeg's stdio source. Fatal errors and
// warnings (premature end of data, corrupt data) both jump back here and fail
// the load, recording why (platform/paths.h); the library prints nothing. Relies on libjpeg-turbo (6b API)
// and platform/paths.h.
#include "image/texture.h"

#include "platform/paths.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace
{

struct JpegError {
    jpeg_error_mgr mgr; // first member: libjpeg hands back a jpeg_error_mgr*
    jmp_buf jump;
    char reason[JMSG_LENGTH_MAX + 32]; // why the load failed
};

// Refuses the image for reason (ends the load).
void jpeg_refuse(j_common_ptr cinfo, const char* reason)
{
    JpegError* error = reinterpret_cast<JpegError*>(cinfo->err);
    std::snprintf(error->reason, sizeof error->reason, "%s", reason);
    longjmp(error->jump, 1);
}

// A library error or warning: the reason in the library's words, except
// for the two a user meets most.
void jpeg_fail(j_common_ptr cinfo)
{
    JpegError* error = reinterpret_cast<JpegError*>(cinfo->err);
    int code = error->mgr.msg_code;
    if (code == JERR_NO_SOI)
        jpeg_refuse(cinfo, "not a JPEG file");
    if (code == JWRN_JPEG_EOF || code == JERR_INPUT_EMPTY || code == JERR_INPUT_EOF)
        jpeg_refuse(cinfo, "truncated JPEG file");
    char message[JMSG_LENGTH_MAX];
    error->mgr.format_message(cinfo, message);
    std::snprintf(error->reason, sizeof error->reason, "damaged JPEG data: %s", message);
    longjmp(error->jump, 1);
}

// msg_level -1 is a warning about damaged data (including a truncated file,
// which libjpeg would pad with grey): treat it as fatal. Trace messages pass.
void jpeg_message(j_common_ptr cinfo, int msg_level)
{
    if (msg_level < 0)
        jpeg_fail(cinfo);
}

void jpeg_silent(j_common_ptr) {}

} // namespace

// The decoder's state lives in the caller's frame, so nothing local to the
// function that calls setjmp changes between the jump's set-up and its use.
struct JpegLoad {
    jpeg_decompress_struct cinfo;
    JpegError error;
    Texture* texture;
};

// Decodes the open file into load->texture; false after a library error or
// warning, with the decompressor destroyed and the texture freed.
static bool jpeg_decode(JpegLoad* load, FILE* file, int32_t build_mips)
{
    jpeg_decompress_struct* cinfo = &load->cinfo;
    cinfo->err = jpeg_std_error(&load->error.mgr);
    load->error.mgr.error_exit = jpeg_fail;
    load->error.mgr.emit_message = jpeg_message;
    load->error.mgr.output_message = jpeg_silent;
    load->texture = nullptr;
    if (setjmp(load->error.jump)) {
        jpeg_destroy_decompress(&load->cinfo);
        texture_free(load->texture);
        load->texture = nullptr;
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_stdio_src(cinfo, file);
    jpeg_read_header(cinfo, TRUE);
    // Only colour images convert to RGB here; greyscale and CMYK are refused,
    // as are sizes no texture can hold.
    if (cinfo->num_components != 3)
        jpeg_refuse(reinterpret_cast<j_common_ptr>(cinfo), "not a colour (three-component) JPEG");
    if (cinfo->image_width == 0 || cinfo->image_height == 0 || cinfo->image_width > TEXTURE_MAX_SIDE ||
        cinfo->image_height > TEXTURE_MAX_SIDE)
        jpeg_refuse(reinterpret_cast<j_common_ptr>(cinfo), "empty or too large");
    cinfo->out_color_space = JCS_RGB;
    cinfo->buffered_image = FALSE;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 3)
        jpeg_refuse(reinterpret_cast<j_common_ptr>(cinfo), "not a colour (three-component) JPEG");

    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 cinfo->output_width * cinfo->output_components, 1);
    int32_t width = static_cast<int32_t>(cinfo->output_width);
    int32_t height = static_cast<int32_t>(cinfo->output_height);
    load->texture = build_mips ? texture_create_mipmapped(width, height) : texture_create(width, height);
    if (!load->texture)
        jpeg_refuse(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");

    while (cinfo->output_scanline < cinfo->output_height) {
        JDIMENSION y = cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, row, 1) != 1)
            jpeg_refuse(reinterpret_cast<j_common_ptr>(cinfo), "truncated JPEG file");
        const JSAMPLE* s = row[0];
        uint32_t* out = load->texture->pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; x++, s += 3)
            out[x] =
                0xFF000000u | static_cast<uint32_t>(s[0]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[2];
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return true;
}

Texture* texture_load_jpeg(const char* path, int32_t build_mips)
{
    FILE* file = path_fopen(path, "rb");
    if (!file)
        return nullptr;
    JpegLoad load;
    load.error.reason[0] = '\0';
    bool ok = jpeg_decode(&load, file, build_mips);
    std::fclose(file);
    if (!ok) {
        path_fail(path, load.error.reason);
        return nullptr;
    }
    if (build_mips && texture_build_mips(load.texture))
        std::printf("unable to build mipmaps for \"%s\"\n", path);
    return load.texture;
}
