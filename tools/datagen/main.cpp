// dunravel-datagen: writes every file the demo reads into a data directory
// (default "data"). Usage: dunravel-datagen [--only NAME_PART] [DIR]
// The families run on two worker threads; each is seeded on its own, so the
// output does not depend on the scheduling.
#include "datagen.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

bool GenContext::wants(const std::string& name) const { return only.empty() || name.find(only) != std::string::npos; }

int main(int argc, char** argv)
{
    GenContext ctx;
    std::string dir = "data";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            ctx.only = argv[++i];
        else if (argv[i][0] == '-') {
            std::fprintf(stderr, "usage: %s [--only NAME_PART] [DIR]\n", argv[0]);
            return 2;
        } else
            dir = argv[i];
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir)) {
        std::fprintf(stderr, "dunravel-datagen: cannot create directory %s\n", dir.c_str());
        return 1;
    }
    ctx.dir = dir + "/";

    // The music is the longest job, so it starts first.
    int (*const jobs[])(const GenContext&) = {generate_music, generate_textures, generate_pictures,
                                             generate_overlays, generate_scene_images, generate_objects};
    const int job_count = static_cast<int>(sizeof jobs / sizeof jobs[0]);
    std::atomic<int> next{0}, failures{0};
    auto start = std::chrono::steady_clock::now();
    auto worker = [&]() {
        for (int j; (j = next.fetch_add(1)) < job_count;)
            failures += jobs[j](ctx);
    };
    std::thread second(worker);
    worker();
    second.join();
    text_shutdown();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failures > 0) {
        std::fprintf(stderr, "dunravel-datagen: %d file(s) failed in %s\n", failures.load(), dir.c_str());
        return 1;
    }
    std::printf("dunravel-datagen: data set written to %s in %.1f s\n", dir.c_str(), seconds);
    return 0;
}

int run_image_jobs(const GenContext& ctx, const ImageJob* jobs, size_t count)
{
    int failures = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!ctx.wants(jobs[i].name))
            continue;
        Canvas c = jobs[i].make();
        std::string path = ctx.dir + jobs[i].name;
        bool ok = false;
        switch (jobs[i].format) {
        case IMAGE_JPEG: ok = write_jpeg(path, c); break;
        case IMAGE_PNG_RGB: ok = write_png_rgb(path, c); break;
        case IMAGE_PNG_RGBA: ok = write_png_rgba(path, c); break;
        }
        failures += ok ? 0 : 1;
    }
    return failures;
}
