// The ffmpeg pipe on Windows (video_pipe.h): CreateProcessW with standard
// input on an anonymous pipe, in a process group of its own (Ctrl-C in the
// console reaches only this program), and WaitForSingleObject at the end.
#include "runtime/video_pipe.h"

#include "core/frame.h"
#include "platform/output_file.h"
#include "platform/utf8_win.h"
#include "runtime/video_command.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct VideoPipe {
    HANDLE process;
    HANDLE input;
    std::string file; // the name given, for messages
    OutputFile output;
};

namespace
{

// The handle this program's own standard stream has, made inheritable for
// the child (null when there is none).
HANDLE inheritable(DWORD which)
{
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return nullptr;
    SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return h;
}

} // namespace

VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds)
{
    OutputFile output;
    if (video_reserve_output(file, &output) != 0)
        return nullptr;
    bool direct = output.temp.empty();
    std::vector<std::string> args = video_ffmpeg_command(direct ? output.target.c_str() : output.temp.c_str(),
                                                         fps, music_path, from_seconds, direct);
    std::wstring command = utf8_to_wide(video_command_line(args).c_str());

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 20)) {
        std::fprintf(stderr, "dunravel: cannot make a pipe to ffmpeg (error %lu)\n", GetLastError());
        output_file_publish(&output, false);
        return nullptr;
    }
    SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0); // only the reading end goes to ffmpeg
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read_end;
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                  nullptr, nullptr, &startup, &process);
    DWORD error = GetLastError();
    CloseHandle(read_end);
    if (!started) {
        CloseHandle(write_end);
        std::fprintf(stderr, "dunravel: --video needs ffmpeg, which could not be started (error %lu)\n", error);
        output_file_publish(&output, false);
        return nullptr;
    }
    CloseHandle(process.hThread);
    return new VideoPipe{process.hProcess, write_end, file, output};
}

int32_t video_pipe_write(VideoPipe* p, const uint32_t* pixels)
{
    const char* bytes = reinterpret_cast<const char*>(pixels);
    size_t left = static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT * 4;
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(p->input, bytes, static_cast<DWORD>(left), &written, nullptr) || written == 0)
            return 1;
        bytes += written;
        left -= written;
    }
    return 0;
}

int32_t video_pipe_close(VideoPipe* p, bool keep)
{
    if (!p)
        return 1;
    CloseHandle(p->input);
    int32_t result = 0;
    DWORD status = 0;
    if (WaitForSingleObject(p->process, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(p->process, &status)) {
        std::fprintf(stderr, "dunravel: lost track of ffmpeg writing %s (error %lu)\n", p->file.c_str(),
                     GetLastError());
        result = 1;
    } else if (status != 0) {
        std::fprintf(stderr, "dunravel: ffmpeg failed to write %s (exit status %lu)\n", p->file.c_str(), status);
        result = 1;
    }
    CloseHandle(p->process);
    int error = output_file_publish(&p->output, keep && result == 0);
    if (error != 0) {
        std::fprintf(stderr, "dunravel: cannot put the video in place as %s (%s)\n", p->file.c_str(),
                     std::strerror(error));
        result = 1;
    }
    delete p;
    return result;
}
