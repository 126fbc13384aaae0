#pragma once

// StatusBar: the texts of the main window's five status parts and of its title.
//
//   part 0  "N  ファイル読込済み"   documents ready and waiting to be shown (readyCount)
//   part 1  "N  ファイル待ち"       documents waiting for the loader thread (pendingCount)
//   part 2  "読込中..  NAME"        the file being read for thumbnails, or "読込中ファイル無し"
//   part 3  "N  ファイル分割待ち"   cut jobs waiting (cutPendingCount)
//   part 4  "分割中..  NAME"        the destination being cut, or "分割中ファイル無し"
//           (or, until the next cut, "名前が長すぎて保存できません  NAME": a save not queued)
//
// NAME is the text after the last "/" of the path given. The title is "TEXT - baseTitle".
// Parts 0, 1, 3 and 4 and the title are limited to 99 bytes (they were sized for a 100-byte
// buffer with its terminator); a longer part text is cut before the first character that does
// not fit whole, so no character is ever broken. A title too long gives up the middle of the
// path's folder part ("/home/user/vid…/2024/clip.wmv - splicor2 0.019"), so the file name and
// the program's name stay in view. Part 2 has no limit.
//
// Threads: called from the user-interface thread, the loader thread and the cut worker. Each
// count has a store operation and a separate show operation: callers store a count while they
// hold their own lock and show it after letting go, so a show displays the value stored last by
// any thread. The counts are atomic; the StatusBar has no lock of its own. Shows go to the
// platform::Window, which never blocks the caller; with no window yet (null) they do nothing,
// and the counts stored meanwhile are shown when the window first shows every part.

#include <atomic>
#include <cstdint>
#include <string>

namespace platform {
class Window;
}  // namespace platform

namespace status {

class StatusBar {
public:
    // No windows, counts 0, empty base title.
    StatusBar() = default;
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    void setReadyCount(std::int32_t count) { readyCount = count; }
    void showReadyCount();
    void setPendingCount(std::int32_t count) { pendingCount = count; }
    void showPendingCount();
    void setCutPendingCount(std::int32_t count) { cutPendingCount = count; }
    void showCutPendingCount();
    // Part 2: the file name of `path`, or the text for no file when `path` is empty.
    void showLoading(std::string path);
    // Part 4: the file name of `path`, or the text for no file when `path` is empty.
    void showCutting(std::string path);
    // Part 4: a save of `path` was not queued, as its file name is longer than the file
    // system takes.
    void showNameTooLong(std::string path);
    // The title "text - baseTitle".
    void setTitle(std::string text);

    // Set by the main window when it is created, on the user-interface thread; background
    // threads may show at any time, so the windows are atomic. mainWindow takes the title,
    // statusWindow the parts (the same object in the Qt window).
    std::atomic<platform::Window*> mainWindow{nullptr};
    std::atomic<platform::Window*> statusWindow{nullptr};
    // Set once by the main window when it is created, before any thread can call setTitle
    // (the loader thread first runs after that); only read afterwards.
    std::string baseTitle;
    std::atomic<std::int32_t> readyCount{0};
    std::atomic<std::int32_t> pendingCount{0};
    std::atomic<std::int32_t> cutPendingCount{0};

private:
    void showPart(int part, const std::string& text);
};

}  // namespace status
