// Offline runs of the program on the real data set. Stopped part-way, as a
// user or a script stops them (SIGTERM, Ctrl-C on the terminal: SIGINT to
// the whole process group, Escape typed on the terminal), each says how many
// frames of how many it finished and exits 143, 130 or 0, and every file it
// leaves is complete, the video too. Outputs named as devices, FIFOs or
// folders are written directly or refused with the reason. The program runs
// in its own process group, with a pseudo-terminal as standard input where
// a key is typed and as standard error where its progress line is watched.
#include "prerequisite.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const fs::path program = fs::path(DUNRAVEL_BINARY_DIR) / "dunravel";
const fs::path data_dir = fs::path(DUNRAVEL_SOURCE_DIR) / "data";

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The program with args in dir, its own process group, standard input from
// stdin_fd (or /dev/null when -1) and standard error to stderr_fd, or into
// dir/err.txt when -1.
pid_t start_program(const fs::path& dir, const std::vector<std::string>& args, int stdin_fd,
                    int stderr_fd = -1)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    setpgid(0, 0);
    if (chdir(dir.c_str()) != 0)
        _exit(120);
    int in = stdin_fd >= 0 ? stdin_fd : open("/dev/null", O_RDONLY);
    int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = stderr_fd >= 0 ? stderr_fd : open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0)
        _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<std::string> all = {program.string(), "--data", data_dir.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(122);
}

// A pseudo-terminal for the program's standard error, so that it draws its
// live progress line as it does for a user; a thread copies everything
// printed there into a file and into `text`, and tells waiters of every
// piece. Raw mode: the text arrives as written.
struct ErrorTerminal {
    int master = -1;
    int terminal = -1;
    std::thread copier;
    std::mutex lock;
    std::condition_variable arrived;
    std::string text;

    bool open_into(const fs::path& file)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return false;
        terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios t;
        if (terminal < 0 || tcgetattr(terminal, &t) != 0)
            return false;
        cfmakeraw(&t);
        tcsetattr(terminal, TCSANOW, &t);
        int out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        if (out < 0)
            return false;
        copier = std::thread([this, out] {
            char buffer[4096];
            ssize_t n;
            while ((n = read(master, buffer, sizeof buffer)) > 0) { // EIO once the program has gone
                {
                    std::lock_guard<std::mutex> guard(lock);
                    text.append(buffer, static_cast<size_t>(n));
                }
                arrived.notify_all();
                if (write(out, buffer, static_cast<size_t>(n)) != n)
                    break;
            }
            close(out);
        });
        return true;
    }
    // After the program started: only it holds the terminal now.
    void started()
    {
        close(terminal);
        terminal = -1;
    }
    // After the program ended: everything it printed is in the file.
    void finish()
    {
        if (terminal >= 0)
            close(terminal);
        terminal = -1;
        if (copier.joinable())
            copier.join();
        if (master >= 0)
            close(master);
        master = -1;
    }
    ~ErrorTerminal() { finish(); }
};

// Waits until the progress line shows at least n frames done; false when
// it never did within a generous bound (a hang, not a slow machine).
bool wait_for_frames(ErrorTerminal& terminal, int n)
{
    std::regex done("\\] ([0-9]+)/[0-9]+ frames");
    auto shown = [&] {
        for (auto it = std::sregex_iterator(terminal.text.begin(), terminal.text.end(), done);
             it != std::sregex_iterator(); ++it)
            if (std::stoi((*it)[1]) >= n)
                return true;
        return false;
    };
    std::unique_lock<std::mutex> lock(terminal.lock);
    return terminal.arrived.wait_for(lock, std::chrono::minutes(5), shown);
}

// The exit status, or -1 when the program was ended by a signal or hung
// (a watchdog ends the process group after a generous bound).
int wait_status(pid_t pid)
{
    std::mutex lock;
    std::condition_variable ended;
    bool exited = false, killed = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!ended.wait_for(hold, std::chrono::minutes(5), [&] { return exited; })) {
            killed = true;
            kill(-pid, SIGKILL);
        }
    });
    int status = 0;
    pid_t r = waitpid(pid, &status, 0);
    {
        std::lock_guard<std::mutex> guard(lock);
        exited = true;
    }
    ended.notify_all();
    watchdog.join();
    if (r != pid || killed)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "stopped (REASON): N of M frames VERB": N, or -1 when the line is missing.
long long stopped_frames(const std::string& err, const std::string& reason, const std::string& verb)
{
    std::smatch m;
    std::regex line("dunravel: stopped \\(" + reason + "\\): ([0-9]+) of [0-9]+ frames " + verb + "\n");
    return std::regex_search(err, m, line) ? std::stoll(m[1]) : -1;
}

bool have_ffmpeg()
{
    return std::system("command -v ffmpeg > /dev/null 2>&1 && command -v ffprobe > /dev/null 2>&1") == 0;
}

// The names in a folder, sorted.
std::vector<std::string> names_in(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A small file system of its own at path (root only), unmounted when done.
struct SmallDisk {
    fs::path path;
    bool mounted = false;
    SmallDisk(const fs::path& p, const char* size) : path(p)
    {
        fs::create_directories(p);
        std::string options = std::string("size=") + size;
        mounted = geteuid() == 0 && mount("tmpfs", p.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            umount2(path.c_str(), MNT_DETACH);
    }
};

class OfflineProgramRun : public testing::Test
{
  protected:
    fs::path dir;
    void SetUp() override
    {
        if (!fs::exists(program))
            SKIP_UNLESS_CI() << "the program is not built: " << program;
        if (!fs::exists(data_dir / "dunravel.mp3"))
            SKIP_UNLESS_CI() << "no data set at " << data_dir << " (make it with scripts/data.sh)";
        dir = scratch_path(
            (std::string("offline-run-") + testing::UnitTest::GetInstance()->current_test_info()->name())
                .c_str());
    }
    void TearDown() override
    {
        if (!dir.empty())
            fs::remove_all(dir);
    }
};

} // namespace

TEST_F(OfflineProgramRun, SigtermEndsACaptureWith143AndCountsTheFilesWritten)
{
    ErrorTerminal terminal;
    ASSERT_TRUE(terminal.open_into(dir / "err.txt"));
    pid_t pid = start_program(dir, {"--capture", "frames"}, -1, terminal.terminal);
    terminal.started();
    ASSERT_TRUE(wait_for_frames(terminal, 3)) << slurp(dir / "err.txt");
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_status(pid), 143);
    terminal.finish();
    std::string err = slurp(dir / "err.txt");
    long long written = stopped_frames(err, "SIGTERM", "written");
    ASSERT_GE(written, 3) << err;
    long long files = 0;
    for (const auto& e : fs::directory_iterator(dir / "frames")) {
        EXPECT_EQ(e.path().extension(), ".png") << "left behind: " << e.path();
        files++;
    }
    EXPECT_EQ(files, written);
}

TEST_F(OfflineProgramRun, CtrlCEndsAVideoWith130AndFfmpegStillFinishesTheFile)
{
    if (std::system("command -v ffmpeg > /dev/null 2>&1 && command -v ffprobe > /dev/null 2>&1") != 0)
        SKIP_UNLESS_CI() << "ffmpeg is not installed";
    ErrorTerminal terminal;
    ASSERT_TRUE(terminal.open_into(dir / "err.txt"));
    pid_t pid = start_program(dir, {"--video", "out.mp4"}, -1, terminal.terminal);
    terminal.started();
    ASSERT_TRUE(wait_for_frames(terminal, 10)) << slurp(dir / "err.txt");
    kill(-pid, SIGINT); // the whole process group, as the terminal does
    EXPECT_EQ(wait_status(pid), 130);
    terminal.finish();
    std::string err = slurp(dir / "err.txt");
    EXPECT_EQ(err.find("ffmpeg failed"), std::string::npos) << err;
    long long written = stopped_frames(err, "SIGINT", "written");
    ASSERT_GE(written, 10) << err;
    std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                        "stream=nb_read_frames -of csv=p=0 '" +
                        (dir / "out.mp4").string() + "' > '" + (dir / "probe.txt").string() + "' 2>&1";
    ASSERT_EQ(std::system(probe.c_str()), 0) << slurp(dir / "probe.txt");
    EXPECT_EQ(std::stoll(slurp(dir / "probe.txt")), written);
}

TEST_F(OfflineProgramRun, EscapeOnTheTerminalEndsABenchWithStatusZeroAndSaysSo)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ErrorTerminal err_terminal;
    ASSERT_TRUE(err_terminal.open_into(dir / "err.txt"));
    pid_t pid = start_program(dir, {"--bench"}, terminal, err_terminal.terminal);
    close(terminal);
    err_terminal.started();
    bool started = wait_for_frames(err_terminal, 5);
    ASSERT_EQ(write(master, "\x1b", 1), 1);
    int status = wait_status(pid);
    close(master);
    err_terminal.finish();
    ASSERT_TRUE(started) << slurp(dir / "err.txt");
    EXPECT_EQ(status, 0);
    std::string err = slurp(dir / "err.txt");
    EXPECT_GE(stopped_frames(err, "Escape", "timed"), 5) << err;
    EXPECT_NE(slurp(dir / "out.txt").find("all: "), std::string::npos); // the table of what was timed
}

TEST_F(OfflineProgramRun, OutputsToDevicesFifosAndFoldersWriteDirectlyOrSayWhyNot)
{
    // A full device is written, not replaced, and reports no space.
    pid_t pid;
    if (make_full_device(dir / "full")) {
        pid = start_program(dir, {"--contact-sheet", "full", "--from", "40", "--to", "50"}, -1);
        EXPECT_EQ(wait_status(pid), 1);
        EXPECT_NE(slurp(dir / "err.txt").find("cannot write full (No space left on device)\n"),
                  std::string::npos)
            << slurp(dir / "err.txt");
        EXPECT_TRUE(fs::is_character_file(dir / "full"));
    }
    // A folder is never replaced.
    fs::create_directories(dir / "sheet.png");
    pid = start_program(dir, {"--contact-sheet", "sheet.png", "--from", "40", "--to", "50"}, -1);
    EXPECT_EQ(wait_status(pid), 1);
    EXPECT_NE(slurp(dir / "err.txt").find("cannot write sheet.png (Is a directory)\n"), std::string::npos)
        << slurp(dir / "err.txt");
    EXPECT_TRUE(fs::is_directory(dir / "sheet.png"));
    // A FIFO gets the bench results through it and stays a FIFO.
    ASSERT_EQ(mkfifo((dir / "results").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = slurp(dir / "results"); });
    pid = start_program(dir, {"--bench-json", "results", "--from", "40", "--frames", "3"}, -1);
    int status = wait_status(pid);
    if (status != 0) // unblock the reader
        std::ofstream(dir / "results") << "";
    reader.join();
    EXPECT_EQ(status, 0) << slurp(dir / "err.txt");
    // Standard error is a file here: one summary line, no redrawn bar.
    EXPECT_EQ(slurp(dir / "err.txt").find('\r'), std::string::npos) << slurp(dir / "err.txt");
    EXPECT_NE(slurp(dir / "err.txt").find("dunravel: 3/3 frames in "), std::string::npos)
        << slurp(dir / "err.txt");
    EXPECT_EQ(received.rfind("{\"fps\": ", 0), 0u) << received;
    EXPECT_NE(received.find("\"frames\": 3, "), std::string::npos) << received;
    EXPECT_TRUE(fs::is_fifo(dir / "results"));
}

TEST_F(OfflineProgramRun, AVideoThatFailsOnAFullDiskLeavesTheOldVideoAsItWas)
{
    if (!have_ffmpeg())
        SKIP_UNLESS_CI() << "ffmpeg is not installed";
    SmallDisk disk(dir / "small", "192k");
    if (!disk.mounted)
        GTEST_SKIP() << "a small file system cannot be mounted here (needs root)";
    const std::string old(64 * 1024, 'v');
    std::ofstream(disk.path / "v.mp4", std::ios::binary) << old;
    pid_t pid = start_program(dir, {"--video", "small/v.mp4", "--from", "40", "--frames", "180"}, -1);
    EXPECT_EQ(wait_status(pid), 1) << slurp(dir / "err.txt");
    EXPECT_NE(slurp(dir / "err.txt").find("ffmpeg failed to write small/v.mp4"), std::string::npos)
        << slurp(dir / "err.txt");
    EXPECT_TRUE(slurp(disk.path / "v.mp4") == old) << "the old video was replaced";
    EXPECT_EQ(names_in(disk.path), std::vector<std::string>{"v.mp4"}) << "a temporary file was left behind";
}

TEST_F(OfflineProgramRun, AnInterruptedContactSheetLeavesTheOldSheetAsItWas)
{
    std::ofstream(dir / "sheet.png", std::ios::binary) << "an older sheet";
    ErrorTerminal terminal;
    ASSERT_TRUE(terminal.open_into(dir / "err.txt"));
    pid_t pid = start_program(dir, {"--contact-sheet", "sheet.png"}, -1, terminal.terminal);
    terminal.started();
    ASSERT_TRUE(wait_for_frames(terminal, 2)) << slurp(dir / "err.txt");
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_status(pid), 143);
    terminal.finish();
    std::string err = slurp(dir / "err.txt");
    EXPECT_GE(stopped_frames(err, "SIGTERM", "drawn"), 2) << err;
    EXPECT_NE(err.find("dunravel: sheet.png is not written: "), std::string::npos) << err;
    EXPECT_TRUE(slurp(dir / "sheet.png") == "an older sheet") << "the old sheet was replaced";
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{"err.txt", "out.txt", "sheet.png"}));
}

TEST_F(OfflineProgramRun, VideoAndMusicNamesFfmpegCouldMisreadAreUsedAsNamed)
{
    if (!have_ffmpeg())
        SKIP_UNLESS_CI() << "ffmpeg is not installed";
    // A data folder whose name looks like a protocol, outputs that look like
    // an option and a protocol.
    fs::create_directory_symlink(data_dir, dir / "d:x");
    for (const char* name : {"-dash.mp4", "a:b.mp4"}) {
        pid_t pid = start_program(dir, {"--data", "d:x", "--video", name, "--from", "40", "--frames", "3"}, -1);
        ASSERT_EQ(wait_status(pid), 0) << name << ": " << slurp(dir / "err.txt");
        std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=nb_read_frames -of csv=p=0 'file:" +
                            (dir / name).string() + "' > '" + (dir / "probe.txt").string() + "' 2>&1";
        ASSERT_EQ(std::system(probe.c_str()), 0) << slurp(dir / "probe.txt");
        EXPECT_EQ(std::stoll(slurp(dir / "probe.txt")), 3) << name;
    }
}

TEST_F(OfflineProgramRun, HangUpAndQuitStopACaptureCleanlyAndGiveTheTerminalBack)
{
    struct Case {
        int signal;
        const char* name;
        int status;
    };
    for (Case c : {Case{SIGHUP, "SIGHUP", 129}, Case{SIGQUIT, "SIGQUIT", 131}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "frames");
        // The program's standard input is a terminal it puts into key-at-a-time mode.
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(terminal, 0);
        termios before;
        ASSERT_EQ(tcgetattr(terminal, &before), 0);
        ASSERT_TRUE(before.c_lflag & ECHO);
        ErrorTerminal err_terminal;
        ASSERT_TRUE(err_terminal.open_into(dir / "err.txt"));
        pid_t pid = start_program(dir, {"--capture", "frames"}, terminal, err_terminal.terminal);
        err_terminal.started();
        bool started = wait_for_frames(err_terminal, 3);
        kill(pid, c.signal);
        int status = wait_status(pid);
        err_terminal.finish();
        termios after;
        ASSERT_EQ(tcgetattr(terminal, &after), 0);
        close(terminal);
        close(master);
        ASSERT_TRUE(started) << slurp(dir / "err.txt");
        EXPECT_EQ(status, c.status);
        EXPECT_TRUE(after.c_lflag & ECHO) << "echo left off";
        EXPECT_TRUE(after.c_lflag & ICANON) << "line editing left off";
        std::string err = slurp(dir / "err.txt");
        long long written = stopped_frames(err, c.name, "written");
        ASSERT_GE(written, 3) << err;
        long long files = 0;
        for (const auto& e : fs::directory_iterator(dir / "frames")) {
            EXPECT_EQ(e.path().filename().string().rfind("frame-", 0), 0u) << "left behind: " << e.path();
            files++;
        }
        EXPECT_EQ(files, written);
    }
}

TEST_F(OfflineProgramRun, AFailedSetUpSaysOnlyWhyAndTheShowEndsAtItsLastBeat)
{
    // A file where the capture folder should go: one line, no frame count.
    std::ofstream(dir / "frames") << "in the way";
    pid_t pid = start_program(dir, {"--capture", "frames"}, -1);
    EXPECT_EQ(wait_status(pid), 1);
    std::string err = slurp(dir / "err.txt");
    EXPECT_NE(err.find("cannot make the capture folder frames"), std::string::npos) << err;
    EXPECT_EQ(err.find("frames in"), std::string::npos) << err;
    // The show ends at beat 410 (273.333 s), the last start --from takes,
    // however long the music runs on: at 4 frames a second from beat 409.5
    // (273.0 s) that is 273.0 and 273.25 s.
    pid = start_program(dir, {"--bench", "--fps", "4", "--from", "409.5"}, -1);
    EXPECT_EQ(wait_status(pid), 0) << slurp(dir / "err.txt");
    EXPECT_NE(slurp(dir / "err.txt").find("dunravel: 2/2 frames in "), std::string::npos) << slurp(dir / "err.txt");
}
