// The ffmpeg pipe (video_pipe.h): posix_spawnp with standard input on a
// pipe, in a process group of its own, signals at their defaults. The
// command line comes from video_command.h, the temporary file from
// platform/output_file.h.
#include "runtime/video_pipe.h"

#include "core/frame.h"
#include "platform/output_file.h"
#include "runtime/video_command.h"

#include <fcntl.h>
#include <spawn.h>
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
    std::string file; // the name given, for messages
    OutputFile output;
};


VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds)
{
    OutputFile output;
    if (video_reserve_output(file, &output) != 0)
        return nullptr;
    bool direct = output.temp.empty();
    std::vector<std::string> args =
        video_ffmpeg_command(direct ? output.target.c_str() : output.temp.c_str(), fps, music_path,
                             from_seconds, direct);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "dunravel: cannot make a pipe to ffmpeg (%s)\n", std::strerror(errno));
        output_file_publish(&output, false);
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
    sigaddset(&defaults, SIGHUP);
    sigaddset(&defaults, SIGQUIT);
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
        output_file_publish(&output, false);
        return nullptr;
    }
    return new VideoPipe{pid, fds[1], file, output};
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

int32_t video_pipe_close(VideoPipe* p, bool keep)
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
    int error = output_file_publish(&p->output, keep && result == 0);
    if (error != 0) {
        std::fprintf(stderr, "dunravel: cannot put the video in place as %s (%s)\n", p->file.c_str(),
                     std::strerror(error));
        result = 1;
    }
    delete p;
    return result;
}
