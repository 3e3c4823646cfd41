// Copying an 8 MiB file onto the simulated device and back through each
// mount (kestrel mount over the library, kestrel remote mount over the file
// server), beside the direct commands (kestrel put/get and kestrel remote
// put/get). For each: wall time, the device's modelled time and requests,
// and the host CPU time of the programs involved (the mounting process and
// cp, or the kestrel command). A direct command also starts and ends its
// device session (kestrel put/get switch firmware); that share is shown on
// its own line, measured with kestrel ls. Figures only: nothing passes or
// fails here. Linux, with FUSE.
//
//   mount_bench
#include "bench/served_folder.h"
#include "platform/device_provider.h"
#include "platform/environment.h"
#include "platform/ksim_protocol.h"
#include "sim/device_client.h"
#include "sim/ksim_server.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace kestrel;
namespace fs = std::filesystem;

constexpr size_t FILE_BYTES = 8u << 20;

struct Sample {
    uint64_t modelledUs = 0, requests = 0, cpuUs = 0, wallUs = 0;
};

uint64_t childrenCpuUs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<uint64_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000u +
           static_cast<uint64_t>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// User and system time of a running process, from /proc.
uint64_t processCpuUs(pid_t pid) {
    if (pid <= 0) return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    uint64_t utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return (utime + stime) * 1000000u / static_cast<uint64_t>(sysconf(_SC_CLK_TCK));
}

uint64_t wallUs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

class Bench {
public:
    bool start(std::string& error) {
        folder_ = (fs::temp_directory_path() / ("kestrel-mount-bench-" + std::to_string(getpid()))).string();
        fs::create_directories(folder_);
        kestrel_ = bench::programBeside("kestrel");
        if (run(bench::programBeside("kestrel-sim") + " create '" + folder_ + "/dev' --size 32M") != 0) {
            error = "kestrel-sim create failed";
            return false;
        }
        const std::string endpoint = bench::serveFolder(folder_ + "/dev", daemon_, error);
        if (endpoint.empty()) return false;
        platform::setEnv("KESTREL_SIM", endpoint);
        uint32_t code = 0;
        control_ = platform::makeKsimProvider(endpoint)->open(sim::CONTROL_NAME, 0, 0, code);
        if (!control_) {
            error = "no control connection";
            return false;
        }
        if (run(kestrel_ + " format") != 0) {
            error = "kestrel format failed";
            return false;
        }
        std::vector<char> data(FILE_BYTES);
        std::mt19937 random(7);
        for (auto& byte : data) byte = static_cast<char>(random());
        std::ofstream(folder_ + "/in.bin", std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        fs::create_directories(folder_ + "/mnt");
        return true;
    }

    ~Bench() {
        stopMount();
        control_.reset();
        if (daemon_) {
            daemon_->kill();
            (void)daemon_->wait(10000);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    int run(const std::string& command) {
        const int status = std::system(("cd '" + folder_ + "' && " + command + " >/dev/null").c_str());
        return status < 0 ? -1 : (status >> 8) & 0xFF;
    }

    Sample sample() {
        const std::string query = "stats";
        std::vector<char> answer(8192);
        const auto result = control_->control(ksim::CTL_SIM_COMMAND, query.data(), static_cast<uint32_t>(query.size()),
                                              answer.data(), static_cast<uint32_t>(answer.size()));
        const std::string text = result.ok ? std::string(answer.data(), result.bytes) : "";
        return {sim::statValue(text, "modelled_us"), sim::statValue(text, "requests"),
                childrenCpuUs() + processCpuUs(mountPid_), wallUs()};
    }

    bool startMount(bool remote) {
        std::vector<std::string> words = {kestrel_};
        if (remote) words.push_back("remote");
        words.insert(words.end(), {"mount", "-f", folder_ + "/mnt"});
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        if (posix_spawn(&mountPid_, kestrel_.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
        for (int i = 0; i < 3000; ++i) {
            if (run("mountpoint -q mnt") == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void stopMount() {
        if (mountPid_ <= 0) return;
        (void)run("fusermount3 -u mnt");
        int status = 0;
        waitpid(mountPid_, &status, 0);
        mountPid_ = -1;
    }

    void measure(const char* name, const std::string& command) {
        const Sample begin = sample();
        const int code = run(command);
        const Sample end = sample();
        const bool same = run("cmp -s in.bin out.bin") == 0 || command.find("out.bin") == std::string::npos;
        std::printf("%-34s %9.1f %12.1f %9llu %10.1f%s\n", name, static_cast<double>(end.wallUs - begin.wallUs) / 1000.0,
                    static_cast<double>(end.modelledUs - begin.modelledUs) / 1000.0,
                    static_cast<unsigned long long>(end.requests - begin.requests),
                    static_cast<double>(end.cpuUs - begin.cpuUs) / 1000.0, code == 0 && same ? "" : "  (FAILED or DIFFERS)");
        std::fflush(stdout);
    }

    const std::string& kestrel() const { return kestrel_; }

private:
    std::string folder_;
    std::string kestrel_;
    std::unique_ptr<platform::ChildProcess> daemon_;
    std::unique_ptr<platform::DeviceConnection> control_;
    pid_t mountPid_ = -1;
};

}  // namespace

int main() {
    Bench bench;
    std::string error;
    if (!bench.start(error)) {
        std::fprintf(stderr, "mount_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string k = bench.kestrel();
    std::printf("8 MiB file, 32 MB card\n%-34s %9s %12s %9s %10s\n", "", "wall ms", "modelled ms", "requests", "CPU ms");
    bench.measure("kestrel ls (session only)", k + " ls /");
    bench.measure("kestrel put", k + " put in.bin /DIRECT.BIN");
    bench.measure("kestrel get", "rm -f out.bin && " + k + " get /DIRECT.BIN out.bin");
    (void)bench.run(k + " rm /DIRECT.BIN");
    if (!bench.startMount(false)) {
        std::fprintf(stderr, "mount_bench: kestrel mount did not mount\n");
        return 1;
    }
    bench.measure("kestrel mount: cp in", "cp in.bin mnt/MOUNTED.BIN");
    bench.measure("kestrel mount: cp out", "rm -f out.bin && cp mnt/MOUNTED.BIN out.bin");
    bench.stopMount();
    (void)bench.run(k + " rm /MOUNTED.BIN");
    bench.measure("kestrel remote put", k + " remote put in.bin /REMOTE.BIN");
    bench.measure("kestrel remote get", "rm -f out.bin && " + k + " remote get /REMOTE.BIN out.bin");
    (void)bench.run(k + " remote rm /REMOTE.BIN");
    if (!bench.startMount(true)) {
        std::fprintf(stderr, "mount_bench: kestrel remote mount did not mount\n");
        return 1;
    }
    bench.measure("kestrel remote mount: cp in", "cp in.bin mnt/RMOUNTED.BIN");
    bench.measure("kestrel remote mount: cp out", "rm -f out.bin && cp mnt/RMOUNTED.BIN out.bin");
    bench.stopMount();
    return 0;
}
