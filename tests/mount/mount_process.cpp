#include "tests/mount/mount_process.h"

#include "tests/sim/sim_test_support.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestrel::mount::test {

namespace {

constexpr auto PATIENCE = std::chrono::seconds(60);
constexpr auto POLL = std::chrono::milliseconds(20);

std::string quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

bool isMountPoint(const std::string& path) {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string point;
        fields >> device >> point;
        if (point == path) return true;
    }
    return false;
}

MountProcess::MountProcess(const std::string& mountpoint, bool remote) : mountpoint_(mountpoint) {
    const std::string program = sim::test::siblingProgram("kestrel");
    std::vector<std::string> words = {program};
    if (remote) words.push_back("remote");
    words.insert(words.end(), {"mount", "-f", mountpoint});
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
        return;
    }
    const auto until = std::chrono::steady_clock::now() + PATIENCE;
    while (!mounted() && std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // ended without mounting
            return;
        }
        std::this_thread::sleep_for(POLL);
    }
}

MountProcess::~MountProcess() {
    if (mounted()) (void)unmount();
    if (mounted()) (void)std::system(("umount -l " + quoted(mountpoint_)).c_str());
    if (pid_ > 0) (void)stop(SIGTERM);
}

int MountProcess::waitForExit() {
    if (pid_ <= 0) return -1;
    const auto until = std::chrono::steady_clock::now() + PATIENCE;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(POLL);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

int MountProcess::unmount() {
    const int code = std::system(("fusermount3 -u " + quoted(mountpoint_)).c_str());
    const int exit = waitForExit();
    return code == 0 ? exit : -1;
}

int MountProcess::stop(int signal) {
    if (pid_ > 0) kill(pid_, signal);
    return waitForExit();
}

}  // namespace kestrel::mount::test
