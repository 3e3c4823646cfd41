// Child process for the OS layer tests:
//   exit CODE                  ends with CODE
//   sleep MS                   sleeps MS real milliseconds, ends with 0
//   hold-mutex NAME READY      takes the named mutex, creates the file READY,
//                              then holds the mutex until killed (at most 60 s)
//   hold-lock PATH READY       takes the lock file PATH, creates the file
//                              READY, then holds the lock until killed (60 s)
//   echo-args FILE ARGS...     writes each of ARGS on a line of FILE
//   env-equals NAME VALUE      ends with 0 when the variable NAME is VALUE, else 1
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/lock_file.h"
#include "platform/named_mutex.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

using namespace kestrel::platform;

namespace {

int holdMutex(const char* name, const char* ready) {
    auto mutex = NamedMutex::open(name);
    if (!mutex || mutex->lock(WAIT_FOREVER) != WaitResult::Signalled) return 2;
    std::ofstream(ready) << "held\n";
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}

int holdLock(const char* path, const char* ready) {
    const LockAttempt attempt = LockFile::acquire(path, WAIT_FOREVER);
    if (attempt.result != LockResult::Acquired) return 2;
    std::ofstream(ready) << "held\n";
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}

int echoArgs(int argc, char** argv) {
    std::ofstream file(argv[2], std::ios::binary);
    for (int i = 3; i < argc; ++i) file << argv[i] << '\n';
    return file ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "exit" && argc == 3) return std::stoi(argv[2]);
    if (mode == "sleep" && argc == 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argv[2])));
        return 0;
    }
    if (mode == "hold-mutex" && argc == 4) return holdMutex(argv[2], argv[3]);
    if (mode == "hold-lock" && argc == 4) return holdLock(argv[2], argv[3]);
    if (mode == "echo-args" && argc >= 3) return echoArgs(argc, argv);
    if (mode == "env-equals" && argc == 4) return getEnv(argv[2]) == std::string(argv[3]) ? 0 : 1;
    return 100;
}
