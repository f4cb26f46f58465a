// A stand-in for ffmpeg in the video pipe's tests: reads standard input to
// its end and writes, to the file named by STAND_IN_RECORD, its arguments
// one a line and then the number of bytes it read. STAND_IN_EXIT sets its
// exit status.
#include <cstdio>
#include <cstdlib>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY); // text mode would stop at a 0x1A byte
#endif
    long long total = 0;
    static char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        total += static_cast<long long>(n);
    const char* record = std::getenv("STAND_IN_RECORD");
    if (record) {
        FILE* out = std::fopen(record, "wb");
        if (!out)
            return 3;
        for (int i = 0; i < argc; i++)
            std::fprintf(out, "%s\n", argv[i]);
        std::fprintf(out, "%lld\n", total);
        std::fclose(out);
    }
    const char* status = std::getenv("STAND_IN_EXIT");
    return status ? std::atoi(status) : 0;
}
