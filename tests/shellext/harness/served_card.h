// A freshly formatted card (as the update tool leaves it) served by a
// kestrel-simd child process, with KESTREL_SIM pointing this process (and
// the library in it) at it until stop(). Its device folder stays for
// reading the card back once the device is stopped.
#pragma once

#include "tests/sim/sim_test_support.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrel::shellext::test {

class ServedCard {
public:
    ServedCard();
    ~ServedCard() { stop(); }
    ServedCard(const ServedCard&) = delete;
    ServedCard& operator=(const ServedCard&) = delete;
    bool ready() const { return ready_; }
    const std::string& folder() const { return folder_.path(); }
    void stop();

private:
    sim::test::TempFolder folder_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
    std::optional<std::string> previous_;
    bool ready_ = false;
};

}  // namespace kestrel::shellext::test
