#include "processRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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

processResult runProcess(const std::vector<std::string>& args, const std::string& input,
                         const std::string& stdoutPath) {
    const scratchDirectory streams;
    const std::string inPath = streams.write("stdin", input);
    const std::string outPath = stdoutPath.empty() ? streams.path + "/stdout" : stdoutPath;
    const std::string errPath = streams.path + "/stderr";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(spawnError));
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }

    processResult result;
    result.exitStatus = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus)
                                              : 128 + WTERMSIG(waitStatus);
    if (stdoutPath.empty()) result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

}  // namespace quorvelTestSupport
