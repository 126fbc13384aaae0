#pragma once

// StatusBar: the texts of the main window's five status parts and of its title.
//
//   part 0  "N  ファイル読込済み"   documents ready and waiting to be shown (readyCount)
//   part 1  "N  ファイル待ち"       documents waiting for the loader thread (pendingCount)
//   part 2  "読込中..  NAME"        the file being read for thumbnails, or "読込中ファイル無し"
//   part 3  "N  ファイル分割待ち"   cut jobs waiting (cutPendingCount)
//   part 2  while reading, "読込中..  NAME  P%" once the share read is known
//   part 4  "分割中..  NAME"        the destination being cut ("分割中..  NAME  P%" as it goes),
//           or "分割中ファイル無し"; between cuts, the outcome of the last one stays until the
//           next cut starts: "保存しました  NAME" (written), "分割失敗  NAME" (failed, also told
//           in a notice), or "名前が長すぎて保存できません  NAME" (a save not queued)
//
// NAME is the text after the last "/" of the path given. The title is "TEXT - baseTitle".
// Parts 0, 1, 3 and 4 and the title are limited to 99 bytes (they were sized for a 100-byte
// buffer with its terminator); a longer part text is cut before the first character that does
// not fit whole, so no character is ever broken. A title too long gives up the middle of the
// path's folder part ("/home/user/vid…/2024/clip.wmv - splicor2 0.019"), so the file name and
// the program's name stay in view. Part 2 has no limit.
//
// Notices: what the user must learn of and could otherwise miss (a cut that failed, a save that
// was refused, a file that could not be read) goes to the window's notice, which stays until the
// user closes it, and to standard error. Notices given before there is a window wait for it.
//
// Threads: called from the user-interface thread, the loader thread and the cut worker. Each
// count has a store operation and a separate show operation: callers store a count while they
// hold their own lock and show it after letting go, so a show displays the value stored last by
// any thread. The counts are atomic; the StatusBar has no lock of its own. Shows go to the
// platform::Window, which never blocks the caller; with no window yet (null) they do nothing,
// and the counts stored meanwhile are shown when the window first shows every part.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

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
    // Part 2: the file name of `path`, or the text for no file when `path` is empty; with
    // `percent` (0 to 100), how far the reading has come.
    void showLoading(std::string path, int percent = -1);
    // Part 4: the file name of `path` being cut (with `percent` done, when given). With an
    // empty `path`, nothing is being cut: the last cut's outcome when there is one, else the
    // text for no file.
    void showCutting(std::string path, int percent = -1);
    // Part 4, until the next cut starts: the cut to `path` was written.
    void showCutDone(std::string path);
    // Part 4, until the next cut starts: the cut to `path` failed; a notice says `reason`.
    void showCutFailed(std::string path, const std::string& reason);
    // Part 4: a save of `path` was not queued, as its file name is longer than the file
    // system takes.
    void showNameTooLong(std::string path);
    // Tells the user `text` (UTF-8, lines split by "\n") in the window's notice, and on
    // standard error. Before there is a window the text waits for showWaitingNotices.
    void notify(const std::string& text);
    // Shows the notices given before the window was there; called once the window is set.
    void showWaitingNotices();
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
    // Shows part 4 and, unless `outcome` is empty, keeps it as what part 4 shows between cuts.
    void showCutPart(const std::string& text, bool outcome);

    // Guards lastCutOutcome_ and waitingNotices_; never held while calling anything but the
    // window, which never blocks.
    std::mutex lock_;
    std::string lastCutOutcome_;
    std::vector<std::string> waitingNotices_;
};

}  // namespace status
