#include "shell/window_proc.h"

#include "control/controller.h"
#include "platform/files.h"
#include "platform/window.h"
#include "shell/file_intake.h"
#include "shell/resources.h"
#include "shell/window_host.h"
#include "status/status_bar.h"
#include "thumbs/thumb_document.h"

status::StatusBar* theStatusBar = nullptr;
control::Controller* theController = nullptr;

namespace shell {

namespace {

thumbs::ThumbDocument* currentDocument() {
    return theController != nullptr ? theController->currentDocument.load() : nullptr;
}

void onCreate(WindowHost& host) {
    platform::Window* window = host.window();
    window->setStatusParts(initialStatusEdges(host.statusWidths()));
    theController->mainWindow = window;
    host.acceptDroppedFiles();
    theStatusBar->baseTitle = loadString(IDS_APP_TITLE);
    theStatusBar->mainWindow = window;
    theStatusBar->statusWindow = window;
    theStatusBar->showReadyCount();
    theStatusBar->showPendingCount();
    theStatusBar->showLoading("");
    theStatusBar->showCutPendingCount();
    theStatusBar->showCutting("");
    // What was told before the window was there (restored jobs refused, documents whose source
    // is gone), and the document restored from the last run.
    theStatusBar->showWaitingNotices();
    if (thumbs::ThumbDocument* restored = currentDocument()) {
        theStatusBar->setTitle(restored->sourcePath());
    }
    // The command line's files, in the order given: no extension test, no sort.
    std::vector<std::string> arguments = host.arguments();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        theController->addFile(arguments[i], window);
    }
    theController->startLoading();
}

void onSize(WindowHost& host, LPARAM lParam) {
    std::uint16_t width = loWord(static_cast<std::uintptr_t>(lParam));
    std::uint16_t height = hiWord(static_cast<std::uintptr_t>(lParam));
    theController->resize(host.window(), width, height);
    host.window()->setStatusParts(statusEdges(width, host.statusWidths()));
}

void onPaint(WindowHost& host) {
    platform::PaintContext* context = host.beginPaint();
    thumbs::ThumbDocument* document = currentDocument();
    if (document != nullptr && context != nullptr) {
        document->paint(host.window(), *context);
    }
    host.endPaint();
}

void openFiles(WindowHost& host) {
    std::string result = host.chooseFile(true, "");
    if (result.empty()) {
        return;
    }
    for (const std::string& path : openDialogPaths(result)) {
        theController->addFile(path, host.window());
    }
    theController->startLoading();
}

LRESULT onCommand(WindowHost& host, WPARAM wParam, LPARAM lParam) {
    std::uint16_t command = loWord(wParam);
    // Saving, closing, sending back and undoing need a document whose thumbnails are complete.
    thumbs::ThumbDocument* document = currentDocument();
    bool ready = document != nullptr && document->ready;
    switch (command) {
        case CMD_OPEN:
            openFiles(host);
            return 0;
        case CMD_SAVE_AS:
            if (ready) {
                // A cancelled dialog hands over an empty path, which the Controller ignores.
                // The dialog starts in the source's folder, where a cut is most often kept.
                std::string folder = platform::folderOf(document->sourcePath());
                theController->saveAs(saveDialogPath(host.chooseFile(false, folder)));
            }
            return 0;
        case CMD_SAVE_NUMBERED:
            if (ready) {
                theController->saveNumbered();
            }
            return 0;
        case CMD_CLOSE:
            if (ready) {
                theController->closeDocument(host.window(), false);
                host.window()->invalidate();
            }
            return 0;
        case CMD_SEND_BACK:
            if (ready) {
                theController->sendBack(host.window());
                host.window()->invalidate();
            }
            return 0;
        case CMD_UNDO:
            if (ready) {
                // The document repaints what it puts back; with no Delete left it does nothing.
                document->undoDelete(host.window());
            }
            return 0;
        case CMD_EXIT:
            host.destroyWindow();
            return 0;
        default:
            return host.defWindowProc(WM_COMMAND, wParam, lParam);
    }
}

void onDropFiles(WindowHost& host, WPARAM wParam) {
    const auto* dropped = reinterpret_cast<const DroppedFiles*>(wParam);
    if (dropped != nullptr) {
        for (const std::string& path : acceptedDroppedPaths(dropped->paths)) {
            theController->addFile(path, host.window());
        }
    }
    // Also when no name was taken.
    theController->startLoading();
    host.window()->invalidate();
}

// The files of a later start, taken as the command line's at creation: in their order, no
// extension test, no sort. The window comes forward, also when there are none.
void onCopyData(WindowHost& host, LPARAM lParam) {
    const auto* handed = reinterpret_cast<const HandedOverFiles*>(lParam);
    if (handed != nullptr && !handed->paths.empty()) {
        for (const std::string& path : handed->paths) {
            theController->addFile(path, host.window());
        }
        theController->startLoading();
    }
    host.raiseWindow();
}

// Keyboard, mouse, wheel and scroll-bar input goes to the current document, ready or not, and
// never further: without a document it is dropped.
void routeInput(WindowHost& host, UINT message, WPARAM wParam, LPARAM lParam) {
    thumbs::ThumbDocument* document = currentDocument();
    if (document == nullptr) {
        return;
    }
    platform::Window* window = host.window();
    auto position = static_cast<std::uintptr_t>(lParam);
    std::int16_t x = signedLoWord(position);
    std::int16_t y = signedHiWord(position);
    switch (message) {
        case WM_KEYDOWN:
            document->onKeyDown(window, static_cast<std::uint32_t>(wParam), host.shiftKeyState());
            break;
        case WM_LBUTTONDOWN:
            document->onLButtonDown(window, x, y, static_cast<std::uint32_t>(wParam & MK_SHIFT));
            break;
        case WM_LBUTTONUP:
            document->onLButtonUp(window, x, y, static_cast<std::uint32_t>(wParam & MK_SHIFT));
            break;
        case WM_MOUSEMOVE:
            document->onMouseMove(window, x, y, static_cast<std::uint32_t>(wParam));
            break;
        case WM_VSCROLL:
            document->onVScroll(window, loWord(wParam), signedHiWord(wParam));
            break;
        case WM_MOUSEWHEEL:
            document->onMouseWheel(window, signedHiWord(wParam));
            break;
        default:
            break;
    }
}

}  // namespace

std::vector<std::int32_t> statusEdges(std::int32_t width, const StatusWidths& widths) {
    std::int32_t second = widths.ready + widths.pending;
    std::int32_t fixed = second + widths.cutPending;
    std::int32_t e = (width - fixed) / 2;  // truncates toward zero
    return {widths.ready, second, second + e, fixed + e, width};
}

std::vector<std::int32_t> initialStatusEdges(const StatusWidths& widths) {
    std::int32_t second = widths.ready + widths.pending;
    return {widths.ready, second, second + 305, second + 305 + widths.cutPending,
            second + 305 + widths.cutPending + 290};
}

LRESULT mainWindowProc(WindowHost& window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            onCreate(window);
            return 0;
        case WM_DESTROY:
            window.postQuitMessage(0);
            return 0;
        case WM_SIZE:
            onSize(window, lParam);
            return 0;
        case WM_PAINT:
            onPaint(window);
            return 0;
        case WM_COMMAND:
            return onCommand(window, wParam, lParam);
        case WM_KEYDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
            routeInput(window, message, wParam, lParam);
            return 0;
        case WM_DROPFILES:
            onDropFiles(window, wParam);
            return 0;
        case WM_COPYDATA:
            onCopyData(window, lParam);
            return 1;
        default:
            return window.defWindowProc(message, wParam, lParam);
    }
}

}  // namespace shell
