#include "shell/status_bar.h"

#include "platform/window.h"

namespace shell {

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

// The text after the last "/" of the path (the whole path when it has none).
std::string fileName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

// `text` cut to at most kMaxFormattedBytes bytes. When the cut falls inside a character, the
// whole character goes. Bytes that are not valid UTF-8 (a file name may hold any bytes) count
// as characters of their own.
std::string limited(std::string text) {
    if (text.size() <= kMaxFormattedBytes) {
        return text;
    }
    std::size_t cut = kMaxFormattedBytes;
    // The character that straddles the cut starts at most three bytes before it.
    for (std::size_t back = 1; back <= 3 && back <= cut; ++back) {
        unsigned char c = static_cast<unsigned char>(text[cut - back]);
        if ((c & 0xC0) != 0x80) {
            if (sequenceLength(c) > back) {
                cut -= back;
            }
            break;
        }
    }
    text.resize(cut);
    return text;
}

std::string counted(std::int32_t count, const char* words) {
    return limited(std::to_string(count) + "  " + words);
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

void StatusBar::showLoading(std::string path) {
    showPart(kLoadingPart, path.empty() ? "読込中ファイル無し" : "読込中..  " + fileName(path));
}

void StatusBar::showCutting(std::string path) {
    showPart(kCuttingPart,
             path.empty() ? "分割中ファイル無し" : limited("分割中..  " + fileName(path)));
}

void StatusBar::setTitle(std::string text) {
    if (platform::Window* window = mainWindow.load()) {
        window->setTitle(limited(text + " - " + baseTitle));
    }
}

void StatusBar::showPart(int part, const std::string& text) {
    if (platform::Window* window = statusWindow.load()) {
        window->setStatusText(part, text);
    }
}

}  // namespace shell
