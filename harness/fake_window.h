#pragma once

// A platform::Window that records what it is asked to show: status texts, titles, scroll-bar
// calls and repaint requests. Safe to call from any thread, as the real window is. A test may
// watch the status texts as they are set.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace testsupport {

// A platform::Window that shows nothing: the base of a window that watches one call alone.
class NullWindow : public platform::Window {
public:
    void setStatusParts(const std::vector<std::int32_t>&) override {}
    void setStatusText(int, const std::string&) override {}
    void setTitle(const std::string&) override {}
    void setScrollInfo(std::int32_t, std::int32_t, std::uint32_t, std::int32_t) override {}
    void setScrollPos(std::int32_t) override {}
    void invalidate() override {}
    void update() override {}
    void showNotice(const std::string&) override {}
};

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

    struct ScrollInfo {
        std::int32_t minimum;
        std::int32_t maximum;
        std::uint32_t page;
        std::int32_t position;
    };

    void setScrollInfo(std::int32_t minimum, std::int32_t maximum, std::uint32_t page,
                       std::int32_t position) override {
        std::lock_guard<std::mutex> guard(lock_);
        scrollInfos_.push_back({minimum, maximum, page, position});
        scrollPosition_ = position;
    }

    void setScrollPos(std::int32_t position) override {
        std::lock_guard<std::mutex> guard(lock_);
        scrollPositions_.push_back(position);
        scrollPosition_ = position;
    }

    void invalidate() override {
        std::lock_guard<std::mutex> guard(lock_);
        ++invalidations_;
    }

    void update() override {
        std::lock_guard<std::mutex> guard(lock_);
        ++updates_;
    }

    void showNotice(const std::string& text) override {
        std::lock_guard<std::mutex> guard(lock_);
        notices_.push_back(text);
    }
    // Every notice text, in order.
    std::vector<std::string> notices() const {
        std::lock_guard<std::mutex> guard(lock_);
        return notices_;
    }

    std::vector<ScrollInfo> scrollInfos() const {
        std::lock_guard<std::mutex> guard(lock_);
        return scrollInfos_;
    }
    // Every position given to setScrollPos, in order.
    std::vector<std::int32_t> scrollPositions() const {
        std::lock_guard<std::mutex> guard(lock_);
        return scrollPositions_;
    }
    // The position last set by either call.
    std::int32_t scrollPosition() const {
        std::lock_guard<std::mutex> guard(lock_);
        return scrollPosition_;
    }
    int invalidations() const {
        std::lock_guard<std::mutex> guard(lock_);
        return invalidations_;
    }
    int updates() const {
        std::lock_guard<std::mutex> guard(lock_);
        return updates_;
    }
    // Forgets the scroll-bar and repaint calls recorded so far.
    void clearViewCalls() {
        std::lock_guard<std::mutex> guard(lock_);
        scrollInfos_.clear();
        scrollPositions_.clear();
        invalidations_ = 0;
        updates_ = 0;
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
    mutable std::mutex lock_;  // guards every member below
    std::vector<std::pair<int, std::string>> texts_;
    std::vector<std::string> titles_;
    std::vector<std::string> notices_;
    std::function<void(int, const std::string&)> watch_;
    std::vector<ScrollInfo> scrollInfos_;
    std::vector<std::int32_t> scrollPositions_;
    std::int32_t scrollPosition_ = 0;
    int invalidations_ = 0;
    int updates_ = 0;
};

}  // namespace testsupport
