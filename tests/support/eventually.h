#pragma once

// Waiting for what another thread or process brings about, without a fixed sleep.

#include <chrono>
#include <thread>

namespace testsupport {

// Polls `condition` until it holds or `limit` has passed; whether it held. The limit is generous
// (it only runs out when a test fails) so that a loaded machine or a sanitizer build never
// fails a test that would pass.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testsupport
