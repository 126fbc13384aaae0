#include "status/status_bar.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "platform/window.h"

namespace status {

namespace {

// The formatted texts once went through a 100-byte buffer that also held the terminator.
constexpr std::size_t kMaxFormattedBytes = 99;

enum Part {
    kReadyPart = 0,
    kPendingPart = 1,
    kLoadingPart = 2,
    kCutPendingPart = 3,
    kCuttingPart = 4
};

// The length of the UTF-8 sequence that `lead` opens, or 0 when it opens none.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Where a character that straddles byte `at` of `text` starts (`at` itself when none does).
// Bytes that are not valid UTF-8 (a file name may hold any bytes) count as characters of their
// own.
std::size_t characterStart(const std::string& text, std::size_t at) {
    // The character that straddles `at` starts at most three bytes before it.
    for (std::size_t back = 1; back <= 3 && back <= at && at < text.size(); ++back) {
        unsigned char c = static_cast<unsigned char>(text[at - back]);
        if ((c & 0xC0) != 0x80) {
            return sequenceLength(c) > back ? at - back : at;
        }
    }
    return at;
}

// The first characters of `text` that fit in `bytes`; no character is broken.
std::string head(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    return text.substr(0, characterStart(text, bytes));
}

// The last characters of `text` that fit in `bytes`; no character is broken.
std::string tail(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t from = text.size() - bytes;
    std::size_t start = characterStart(text, from);
    if (start != from) {
        start += sequenceLength(static_cast<unsigned char>(text[start]));
    }
    return text.substr(start);
}

// `text` cut to at most kMaxFormattedBytes bytes. When the cut falls inside a character, the
// whole character goes.
std::string limited(const std::string& text) {
    return head(text, kMaxFormattedBytes);
}

// `path` in at most `bytes` bytes: as it is when it fits, else with the middle of its folder
// part replaced by an ellipsis, so its file name stays whole; a file name too long even alone
// loses its own middle, keeping its start and its extension.
std::string shortenedPath(const std::string& path, std::size_t bytes) {
    static const std::string kEllipsis = "…";
    if (path.size() <= bytes) {
        return path;
    }
    if (bytes <= kEllipsis.size()) {
        return head(path, bytes);
    }
    std::size_t room = bytes - kEllipsis.size();
    std::string name = platform::fileNamePart(path);
    std::string folder = path.substr(0, path.size() - name.size());
    if (name.size() < room) {
        std::size_t left = room - name.size();
        return head(folder, (left + 1) / 2) + kEllipsis + tail(folder, left / 2) + name;
    }
    return head(name, (room + 1) / 2) + kEllipsis + tail(name, room / 2);
}

std::string counted(std::int32_t count, const char* words) {
    return limited(std::to_string(count) + "  " + words);
}

std::string withPercent(std::string text, int percent) {
    if (percent >= 0) {
        text += "  " + std::to_string(std::min(percent, 100)) + "%";
    }
    return text;
}

}  // namespace

void StatusBar::showReadyCount() {
    showPart(kReadyPart, counted(readyCount, "ファイル読込済み"));
}

void StatusBar::showPendingCount() {
    showPart(kPendingPart, counted(pendingCount, "ファイル待ち"));
}

void StatusBar::showCutPendingCount() {
    showPart(kCutPendingPart, counted(cutPendingCount, "ファイル分割待ち"));
}

void StatusBar::showLoading(std::string path, int percent) {
    showPart(kLoadingPart, path.empty()
                               ? "読込中ファイル無し"
                               : withPercent("読込中..  " + platform::fileNamePart(path), percent));
}

void StatusBar::showCutting(std::string path, int percent) {
    if (path.empty()) {
        std::string outcome;
        {
            std::lock_guard<std::mutex> guard(lock_);
            outcome = lastCutOutcome_;
        }
        showPart(kCuttingPart, outcome.empty() ? "分割中ファイル無し" : outcome);
        return;
    }
    // The percentage goes first when the name is too long for both: it is what changes.
    std::string name = platform::fileNamePart(path);
    std::string text = "分割中..  " + name;
    if (percent >= 0) {
        std::string tail = withPercent("", percent);
        text = limited(text + tail).size() == text.size() + tail.size()
                   ? text + tail
                   : limited("分割中.." + tail + "  " + name);
    }
    {
        // A new cut: what the last one came to is no longer news.
        std::lock_guard<std::mutex> guard(lock_);
        lastCutOutcome_.clear();
    }
    showPart(kCuttingPart, limited(text));
}

void StatusBar::showCutDone(std::string path) {
    showCutPart(limited("保存しました  " + platform::fileNamePart(path)), true);
}

void StatusBar::showCutFailed(std::string path, const std::string& reason) {
    showCutPart(limited("分割失敗  " + platform::fileNamePart(path)), true);
    notify("保存できませんでした: " + path + "\n" + reason);
}

void StatusBar::showNameTooLong(std::string path) {
    showCutPart(limited("名前が長すぎて保存できません  " + platform::fileNamePart(path)), true);
}

void StatusBar::showCutPart(const std::string& text, bool outcome) {
    if (outcome) {
        std::lock_guard<std::mutex> guard(lock_);
        lastCutOutcome_ = text;
    }
    showPart(kCuttingPart, text);
}

void StatusBar::notify(const std::string& text) {
    std::fprintf(stderr, "splicor: %s\n", text.c_str());
    std::lock_guard<std::mutex> guard(lock_);
    if (platform::Window* window = statusWindow.load()) {
        window->showNotice(text);
    } else {
        waitingNotices_.push_back(text);
    }
}

void StatusBar::showWaitingNotices() {
    std::lock_guard<std::mutex> guard(lock_);
    if (platform::Window* window = statusWindow.load()) {
        for (const std::string& text : waitingNotices_) {
            window->showNotice(text);
        }
        waitingNotices_.clear();
    }
}

void StatusBar::setTitle(std::string text) {
    if (platform::Window* window = mainWindow.load()) {
        // The path gives way, never the file name or the program's name behind it.
        std::string suffix = " - " + baseTitle;
        if (suffix.size() >= kMaxFormattedBytes) {
            window->setTitle(limited(text + suffix));
            return;
        }
        window->setTitle(shortenedPath(text, kMaxFormattedBytes - suffix.size()) + suffix);
    }
}

void StatusBar::showPart(int part, const std::string& text) {
    if (platform::Window* window = statusWindow.load()) {
        window->setStatusText(part, text);
    }
}

}  // namespace status
