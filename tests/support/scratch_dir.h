// Scratch folders for tests under <build>/test-scratch/<name>: made empty on
// creation; ScratchDir also removes its folder afterwards, and InDirectory
// runs a test body with another working directory; make_full_device gives a
// private device that is always full.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#include <filesystem>
#include <string>

// A fresh, empty folder <build>/test-scratch/<name> (kept after the test).
inline std::filesystem::path scratch_path(const char* name)
{
    std::filesystem::path p = std::filesystem::path(DUNRAVEL_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}

// A fresh folder removed when the object goes out of scope.
struct ScratchDir {
    std::filesystem::path path;
    explicit ScratchDir(const char* name) : path(scratch_path(name)) {}
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
};

// Changes the working directory for its lifetime.
struct InDirectory {
    std::filesystem::path old;
    explicit InDirectory(const std::filesystem::path& p) : old(std::filesystem::current_path())
    {
        std::filesystem::current_path(p);
    }
    ~InDirectory() { std::filesystem::current_path(old); }
};

// A device like /dev/full (every write fails with "no space") at path, so
// that tests of writing to devices never touch the system's own; false when
// device files cannot be made here (not root, or Windows).
inline bool make_full_device(const std::filesystem::path& path)
{
#ifdef _WIN32
    (void)path;
    return false;
#else
    return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
#endif
}

// The name of the device that swallows everything written to it.
inline const char* null_device()
{
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}
