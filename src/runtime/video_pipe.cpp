// The ffmpeg pipe (video_pipe.h): posix_spawnp with standard input on a
// pipe, in a process group of its own, signals at their defaults.
#include "runtime/video_pipe.h"

#include "core/frame.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

struct VideoPipe {
    pid_t pid;
    int fd;
    std::string file;
};

VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds)
{
    struct stat st;
    bool exists = stat(file, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "dunravel: cannot write the video %s: it is a folder\n", file);
        return nullptr;
    }
    std::vector<std::string> args =
        video_pipe_arguments(file, fps, music_path, from_seconds, exists && !S_ISREG(st.st_mode));
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "dunravel: cannot make a pipe to ffmpeg (%s)\n", std::strerror(errno));
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        std::fprintf(stderr, "dunravel: --video needs ffmpeg, which could not be started (%s)\n",
                     std::strerror(spawned));
        return nullptr;
    }
    return new VideoPipe{pid, fds[1], file};
}

int32_t video_pipe_write(VideoPipe* p, const uint32_t* pixels)
{
    const char* bytes = reinterpret_cast<const char*>(pixels);
    size_t left = static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT * 4;
    while (left > 0) {
        ssize_t n = write(p->fd, bytes, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 1;
        bytes += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}

int32_t video_pipe_close(VideoPipe* p)
{
    if (!p)
        return 1;
    close(p->fd);
    int status = 0;
    pid_t r;
    do
        r = waitpid(p->pid, &status, 0);
    while (r < 0 && errno == EINTR);
    int32_t result = 0;
    if (r < 0) {
        std::fprintf(stderr, "dunravel: lost track of ffmpeg writing %s (%s)\n", p->file.c_str(),
                     std::strerror(errno));
        result = 1;
    } else if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "dunravel: ffmpeg failed to write %s (ended by signal %d)\n", p->file.c_str(),
                     WTERMSIG(status));
        result = 1;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "dunravel: ffmpeg failed to write %s (exit status %d)\n", p->file.c_str(),
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        result = 1;
    }
    delete p;
    return result;
}
