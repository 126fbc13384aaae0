#pragma once

// A platform::Window that records what it is asked to show. Safe to call from any thread, as the
// real window is. A test may watch the calls as they happen.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace testsupport {

class FakeWindow : public platform::Window {
public:
    void setStatusParts(const std::vector<std::int32_t>&) override {}

    void setStatusText(int part, const std::string& text) override {
        std::function<void(int, const std::string&)> watch;
        {
            std::lock_guard<std::mutex> guard(lock_);
            texts_.emplace_back(part, text);
            watch = watch_;
        }
        if (watch) {
            watch(part, text);
        }
    }

    void setTitle(const std::string& text) override {
        std::lock_guard<std::mutex> guard(lock_);
        titles_.push_back(text);
    }

    // Called after each part text is recorded, on the caller's thread.
    void watch(std::function<void(int, const std::string&)> watcher) {
        std::lock_guard<std::mutex> guard(lock_);
        watch_ = std::move(watcher);
    }

    // Every text part `part` was given, in order.
    std::vector<std::string> texts(int part) const {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<std::string> out;
        for (const auto& [p, text] : texts_) {
            if (p == part) {
                out.push_back(text);
            }
        }
        return out;
    }

    // What part `part` shows now (empty when it was never set).
    std::string shown(int part) const {
        std::vector<std::string> all = texts(part);
        return all.empty() ? "" : all.back();
    }

    std::vector<std::pair<int, std::string>> allTexts() const {
        std::lock_guard<std::mutex> guard(lock_);
        return texts_;
    }

    std::vector<std::string> titles() const {
        std::lock_guard<std::mutex> guard(lock_);
        return titles_;
    }

private:
    mutable std::mutex lock_;  // guards texts_, titles_ and watch_
    std::vector<std::pair<int, std::string>> texts_;
    std::vector<std::string> titles_;
    std::function<void(int, const std::string&)> watch_;
};

}  // namespace testsupport
