#pragma once

// The main window: a menu bar, the thumbnail grid with its vertical scroll bar beside it, and a
// status bar of five parts. It turns Qt's events into the window messages of messages.h and
// hands them to the window procedure, and it offers the procedure and the core the window's
// services (platform::Window, WindowHost).
//
// Threads. The widgets live on the user-interface thread. The platform::Window operations may be
// called from any thread: called elsewhere, each is posted to the user-interface thread in call
// order and the caller goes on at once. Once the window is destroyed (destroyWindow) every such
// call is dropped. The object itself must outlive every thread that may call it: start-up
// deletes it only after the Controller has shut down.

#include <QMainWindow>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"
#include "shell/messages.h"
#include "shell/window_host.h"

class QCoreApplication;
class QLabel;
class QMenu;
class QMessageBox;
class QScrollBar;
class QShortcut;

namespace platform {
class FileHandOver;
class PaintContext;
}  // namespace platform

namespace shell {

class GridWidget;
class StatusParts;

class MainWindow : public QMainWindow, public platform::Window, public WindowHost {
public:
    using Procedure = std::function<LRESULT(WindowHost&, UINT, WPARAM, LPARAM)>;

    // `arguments` is the command line, argument 0 first; `procedure` receives every message
    // (the program's is mainWindowProc).
    MainWindow(std::vector<std::string> arguments, Procedure procedure);
    ~MainWindow() override;

    // Sends WM_CREATE (the window exists, not yet shown), then shows the window.
    void createAndShow();

    // Sends one message to the procedure, as the message loop dispatches it.
    LRESULT sendMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // From any thread: the files a later start hands over reach the procedure as WM_COPYDATA on
    // the user-interface thread, in the order they came, once the loop gets to them. A request
    // that arrives after the window is gone is declined; one its sender no longer waits for is
    // left alone.
    void handOver(std::shared_ptr<platform::FileHandOver> files);

    bool destroyed() const { return destroyed_; }
    QMenu* fileMenu() const { return fileMenu_; }
    const std::vector<QShortcut*>& accelerators() const { return accelerators_; }
    QWidget* grid() const;
    QScrollBar* scrollBar() const { return scrollBar_; }
    QWidget* statusBarArea() const;
    // The texts the status bar's parts show, and their right edges as last set.
    std::vector<std::string> statusTexts() const;
    std::vector<std::int32_t> statusEdges() const;
    // Whether each part shows its whole text (visible, and as wide and as tall as the text
    // needs within the bar).
    std::vector<bool> statusTextsWhole() const;
    // What the window shows, one item a line, as it publishes it on its X window for tools that
    // look at it from outside (the end-to-end test reads it as the property
    // "_SPLICOR_WINDOW_STATE"): "status N whole|cut TEXT" for each part, "scroll VALUE MINIMUM
    // MAXIMUM enabled|disabled", and "grid", "scrollbar", "statusbar" with each one's X Y WIDTH
    // HEIGHT in the window's coordinates; while the notice is open, "notice LINE" for each of
    // its lines.
    std::string stateText() const;

    // platform::Window
    void setStatusParts(const std::vector<std::int32_t>& rightEdges) override;
    void setStatusText(int part, const std::string& text) override;
    void setTitle(const std::string& text) override;
    void setScrollInfo(std::int32_t minimum, std::int32_t maximum, std::uint32_t page,
                       std::int32_t position) override;
    void setScrollPos(std::int32_t position) override;
    void invalidate() override;
    void update() override;
    void showNotice(const std::string& text) override;

    // WindowHost
    platform::Window* window() override { return this; }
    void destroyWindow() override;
    void postQuitMessage(int exitCode) override;
    platform::PaintContext* beginPaint() override { return paintContext_; }
    void endPaint() override {}
    std::string chooseFile(bool open, const std::string& folder) override;
    std::int16_t shiftKeyState() override;
    void acceptDroppedFiles() override;
    void raiseWindow() override;
    StatusWidths statusWidths() override { return statusWidths_; }
    std::vector<std::string> arguments() override { return arguments_; }
    LRESULT defWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The wheel turned anywhere over the window moves the grid: over the menu bar it arrives
    // here, over the scroll bar and the status bar the filter takes it first.
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class GridWidget;

    // Runs `call` on the user-interface thread, after every call posted before it: at once when
    // called there with nothing waiting, else posted.
    void post(std::function<void()> call);
    void buildMenu();
    void buildAccelerators();
    void onScrollAction(int action);
    void onScrollValueChanged(int value);
    // Puts the bar back where the document last set it: a move the document did not take (no
    // document, or one not ready) does not leave the bar out of step with the grid.
    void showDocumentScrollPosition();
    // Puts stateText() on the X window, when there is one.
    void publishState();
    // Called by the grid while it paints: the paint context of WM_PAINT.
    void paintGrid(platform::PaintContext& context);
    void gridResized(int width, int height);
    void gridKeyPressed(QKeyEvent* event);
    void gridMouse(UINT message, QMouseEvent* event);
    void gridWheel(QWheelEvent* event);

    std::vector<std::string> arguments_;
    Procedure procedure_;
    GridWidget* grid_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    StatusParts* statusParts_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    std::vector<QShortcut*> accelerators_;
    // The notice, while it is open, and the lines it shows.
    QMessageBox* notice_ = nullptr;
    std::vector<std::string> noticeLines_;
    StatusWidths statusWidths_;
    platform::PaintContext* paintContext_ = nullptr;  // set only while the grid paints
    bool invalid_ = false;
    int documentScrollPosition_ = 0;  // the bar's position as the document last set it  // a
                                      // repaint has been asked for and not yet done
    std::atomic<bool> destroyed_{false};
    std::atomic<int> queuedCalls_{0};  // posted calls not yet run
};

// Loads the toolkit's own Japanese texts (the file dialogs, the question before replacing a
// file, the scroll bar's menu), so the whole window speaks the language of its menu. Returns
// whether they were found.
bool installToolkitTranslations(QCoreApplication& application);

// The size of a new window: 960 x 700, or less on a screen whose free area (`available`, the
// screen without its panels) would not hold that with the window's frame around it.
constexpr int kFirstWindowWidth = 960;
constexpr int kFirstWindowHeight = 700;
QSize firstWindowSize(QSize available);

// A title as the window shows it: the toolkit reads "[*]" in a title as the place of a
// modification mark, so a literal one is doubled.
QString literalTitle(const std::string& text);

// A mouse message's key-state flags (MK_...) for Qt's button and modifier state.
WPARAM mouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
// The virtual-key code of a Qt key, or 0 for a key the program has no code for.
std::uint32_t virtualKey(int qtKey);

}  // namespace shell
