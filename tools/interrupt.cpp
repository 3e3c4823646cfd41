#include "tools/interrupt.h"

#include "tools/failure.h"

#include <csignal>

namespace kestrel::cli {

namespace {

// Set by the signal handler; the only state a handler may touch.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void noteInterrupt(int) { interrupted = 1; }

}  // namespace

void catchInterrupts() { std::signal(SIGINT, noteInterrupt); }

void stopIfInterrupted() {
    if (interrupted) throw Failure(EXIT_INTERRUPTED, "interrupted");
}

}  // namespace kestrel::cli
