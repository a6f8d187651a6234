#include "processRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quorvelTestSupport {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string describe(const processResult& run) {
    return "exit status " + std::to_string(run.exitStatus) + "\n--- stdout ---\n" + run.out +
           "\n--- stderr ---\n" + run.err;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

scratchDirectory::scratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
    path = pattern;
}

scratchDirectory::~scratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string scratchDirectory::write(const std::string& name, const std::string& content) const {
    const std::string file = path + "/" + name;
    std::ofstream out(file, std::ios::binary);
    out << content;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file);
    return file;
}

namespace {

// Starts `args` (found on PATH) with the file actions given, which it then
// destroys; throws when the program cannot start.
pid_t spawnWith(const std::vector<std::string>& args, posix_spawn_file_actions_t& actions) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(spawnError));
    return pid;
}

// The shell's convention: the exit status, or 128 + the signal that ended it.
int exitStatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

}  // namespace

processResult runProcess(const std::vector<std::string>& args, const std::string& input,
                         const std::string& stdoutPath) {
    const scratchDirectory streams;
    const std::string inPath = streams.write("stdin", input);
    const std::string outPath = stdoutPath.empty() ? streams.path + "/stdout" : stdoutPath;
    const std::string errPath = streams.path + "/stderr";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const pid_t pid = spawnWith(args, actions);
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }

    processResult result;
    result.exitStatus = exitStatusOf(waitStatus);
    if (stdoutPath.empty()) result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

namespace {

// Appends what the terminal's master side holds now to `text`; false at its
// end (every slave side closed).
bool drainTerminal(int master, std::string& text) {
    char buffer[4096];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
    return n > 0 || (n < 0 && errno == EINTR);
}

}  // namespace

processResult runProcessOnTerminal(const std::vector<std::string>& args) {
    const scratchDirectory streams;
    const std::string outPath = streams.path + "/stdout";
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const std::string slavePath = ptsname(master);
    // Held open here until the child is gone, so that the master side never
    // reads as closed before the child has opened its side.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    if (slave < 0 || tcgetattr(slave, &raw) != 0) throw std::runtime_error("no pseudo-terminal");
    cfmakeraw(&raw);  // bytes as written: no "\r" added before "\n"
    tcsetattr(slave, TCSANOW, &raw);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, slave, 2);
    posix_spawn_file_actions_addclose(&actions, master);
    pid_t pid = 0;
    try {
        pid = spawnWith(args, actions);
    } catch (...) {
        close(slave);
        close(master);
        throw;
    }
    processResult result;
    // Read while the child runs, so that it never waits on a full terminal.
    int waitStatus = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &waitStatus, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 20) > 0) drainTerminal(master, result.err);
    }
    close(slave);
    while (drainTerminal(master, result.err)) {
    }
    close(master);
    result.exitStatus = exitStatusOf(waitStatus);
    result.out = readFile(outPath);
    return result;
}

}  // namespace quorvelTestSupport
