#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "platform/qt_paint_context.h"
#include "shell/file_dialogs.h"
#include "shell/resources.h"

namespace shell {

// The client area: the thumbnail grid. Its size is the size the procedure hears of.
class GridWidget : public QWidget {
public:
    explicit GridWidget(MainWindow* owner) : QWidget(owner), owner_(owner) {
        setFocusPolicy(Qt::StrongFocus);
        // Moves arrive with no button held too, as they do on any window.
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        // The window background, erased before every paint.
        painter.fillRect(rect(), Qt::white);
        platform::QtPaintContext context(painter);
        owner_->paintGrid(context);
    }
    void resizeEvent(QResizeEvent*) override { owner_->gridResized(width(), height()); }
    void keyPressEvent(QKeyEvent* event) override { owner_->gridKeyPressed(event); }
    void mousePressEvent(QMouseEvent* event) override { owner_->gridMouse(WM_LBUTTONDOWN, event); }
    // The window has no double-click style: a double click is two presses and two releases
    // (QWidget's default turns the second into a press).
    void mouseReleaseEvent(QMouseEvent* event) override { owner_->gridMouse(WM_LBUTTONUP, event); }
    void mouseMoveEvent(QMouseEvent* event) override { owner_->gridMouse(WM_MOUSEMOVE, event); }
    void wheelEvent(QWheelEvent* event) override { owner_->gridWheel(event); }
    // Tab is a key like any other here, not a move to the next widget.
    bool focusNextPrevChild(bool) override { return false; }

private:
    MainWindow* owner_;
};

// Five sunken parts, each reaching from the previous part's right edge to its own; -1 reaches
// the right edge of the bar. Parts whose edges cross are simply not seen.
class StatusParts : public QWidget {
public:
    explicit StatusParts(QWidget* parent) : QWidget(parent) {
        for (int i = 0; i < 5; ++i) {
            auto* label = new QLabel(this);
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setIndent(2);
            labels_.push_back(label);
        }
        setFixedHeight(fontMetrics().height() + 8);
    }

    void setEdges(const std::vector<std::int32_t>& edges) {
        edges_ = edges;
        place();
    }
    void setText(int part, const std::string& text) {
        if (part >= 0 && part < static_cast<int>(labels_.size())) {
            texts_[static_cast<std::size_t>(part)] = text;
            labels_[static_cast<std::size_t>(part)]->setText(QString::fromStdString(text));
        }
    }
    const std::vector<std::int32_t>& edges() const { return edges_; }
    std::vector<std::string> texts() const { return {texts_, texts_ + 5}; }

protected:
    void resizeEvent(QResizeEvent*) override { place(); }

private:
    void place() {
        std::int32_t left = 0;
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            bool shown = i < edges_.size();
            std::int32_t right = shown ? edges_[i] : left;
            if (right == -1) {
                right = width();
            }
            labels_[i]->setVisible(shown && right > left);
            if (right > left) {
                labels_[i]->setGeometry(left, 0, right - left, height());
            }
            left = std::max(left, right);
        }
    }

    std::vector<QLabel*> labels_;
    std::vector<std::int32_t> edges_;
    std::string texts_[5];
};

MainWindow::MainWindow(std::vector<std::string> arguments, Procedure procedure)
    : arguments_(std::move(arguments)), procedure_(std::move(procedure)) {
    setWindowTitle(QString::fromStdString(loadString(IDS_APP_TITLE)));
    QIcon icon;
    icon.addFile(QString::fromLatin1(iconPath(IDI_SPLICOR)));
    icon.addFile(QString::fromLatin1(iconPath(IDI_SMALL)));
    setWindowIcon(icon);

    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    grid_ = new GridWidget(this);
    scrollBar_ = new QScrollBar(Qt::Vertical, client);
    scrollBar_->setRange(0, 0);
    scrollBar_->setEnabled(false);
    row->addWidget(grid_, 1);
    row->addWidget(scrollBar_);
    column->addLayout(row, 1);
    statusParts_ = new StatusParts(client);
    column->addWidget(statusParts_);
    setCentralWidget(client);
    QObject::connect(scrollBar_, &QScrollBar::actionTriggered, this,
                     [this](int action) { onScrollAction(action); });
    QObject::connect(scrollBar_, &QScrollBar::sliderReleased, this, [this] {
        sendMessage(WM_VSCROLL, makeWParam(SB_THUMBPOSITION, scrollBar_->sliderPosition()), 0);
        sendMessage(WM_VSCROLL, makeWParam(SB_ENDSCROLL, 0), 0);
    });

    buildMenu();
    buildAccelerators();
    // The size the window system picks for a new window.
    resize(960, 700);
    grid_->setFocus();
}

MainWindow::~MainWindow() {
    destroyed_ = true;
}

QWidget* MainWindow::grid() const {
    return grid_;
}

void MainWindow::buildMenu() {
    fileMenu_ = menuBar()->addMenu(QString::fromUtf8(kFileMenuTitle));
    for (const MenuItem& item : kFileMenu) {
        if (item.id == 0) {
            fileMenu_->addSeparator();
            continue;
        }
        // The shortcut text rides in the item text after the tab; the keys themselves are the
        // accelerators below, so the menu holds no shortcut of its own.
        QAction* action = fileMenu_->addAction(QString::fromStdString(menuItemText(item)));
        action->setData(item.id);
        std::uint16_t id = item.id;
        QObject::connect(action, &QAction::triggered, this,
                         [this, id] { sendMessage(WM_COMMAND, makeWParam(id, 0), 0); });
    }
}

void MainWindow::buildAccelerators() {
    for (const Accelerator& accelerator : kAccelerators) {
        auto key = static_cast<Qt::Key>(Qt::Key_A + (accelerator.letter - 'A'));
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        shortcut->setContext(Qt::WindowShortcut);
        std::uint16_t id = accelerator.command;
        // High word 1: the command comes from an accelerator.
        QObject::connect(shortcut, &QShortcut::activated, this,
                         [this, id] { sendMessage(WM_COMMAND, makeWParam(id, 1), 0); });
        accelerators_.push_back(shortcut);
    }
}

void MainWindow::createAndShow() {
    sendMessage(WM_CREATE, 0, 0);
    show();
}

LRESULT MainWindow::sendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (destroyed_) {
        return 0;
    }
    return procedure_(*this, message, wParam, lParam);
}

void MainWindow::post(std::function<void()> call) {
    if (destroyed_) {
        return;
    }
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    // Queued calls to one object from one thread are delivered in the order they were made.
    QMetaObject::invokeMethod(
        this,
        [this, call = std::move(call)] {
            if (!destroyed_) {
                call();
            }
        },
        Qt::QueuedConnection);
}

std::vector<std::string> MainWindow::statusTexts() const {
    return statusParts_->texts();
}

std::vector<std::int32_t> MainWindow::statusEdges() const {
    return statusParts_->edges();
}

void MainWindow::setStatusParts(const std::vector<std::int32_t>& rightEdges) {
    post([this, rightEdges] { statusParts_->setEdges(rightEdges); });
}

void MainWindow::setStatusText(int part, const std::string& text) {
    post([this, part, text] { statusParts_->setText(part, text); });
}

void MainWindow::setTitle(const std::string& text) {
    post([this, text] { setWindowTitle(QString::fromStdString(text)); });
}

void MainWindow::setScrollInfo(std::int32_t minimum, std::int32_t maximum, std::uint32_t page,
                               std::int32_t position) {
    post([this, minimum, maximum, page, position] {
        // The bar offers positions up to maximum - page + 1; when the page covers the whole
        // range nothing scrolls and the bar is shown disabled.
        std::int64_t last = std::int64_t{maximum} - std::int64_t{page} + 1;
        bool scrolls = page > 0 ? last > minimum : maximum > minimum;
        if (page == 0) {
            last = maximum;
        }
        const QSignalBlocker blocker(scrollBar_);
        scrollBar_->setRange(minimum, static_cast<int>(std::max<std::int64_t>(minimum, last)));
        scrollBar_->setPageStep(static_cast<int>(std::max<std::uint32_t>(page, 1)));
        scrollBar_->setValue(position);
        scrollBar_->setEnabled(scrolls);
    });
}

void MainWindow::setScrollPos(std::int32_t position) {
    post([this, position] {
        const QSignalBlocker blocker(scrollBar_);
        scrollBar_->setValue(position);
    });
}

void MainWindow::invalidate() {
    post([this] {
        invalid_ = true;
        grid_->QWidget::update();
    });
}

void MainWindow::update() {
    post([this] {
        if (invalid_) {
            grid_->repaint();
        }
    });
}

void MainWindow::destroyWindow() {
    if (destroyed_) {
        return;
    }
    sendMessage(WM_DESTROY, 0, 0);
    destroyed_ = true;
    hide();
}

void MainWindow::postQuitMessage(int exitCode) {
    QCoreApplication::exit(exitCode);
}

std::string MainWindow::chooseFile(bool open) {
    return open ? runOpenDialog(this) : runSaveDialog(this);
}

std::int16_t MainWindow::shiftKeyState() {
    bool held = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    return held ? static_cast<std::int16_t>(-0x8000) : std::int16_t{0};
}

void MainWindow::acceptDroppedFiles() {
    setAcceptDrops(true);
}

LRESULT MainWindow::defWindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        destroyWindow();
    }
    return 0;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box, Alt+F4 or the window manager: WM_CLOSE, which destroys the window.
    event->ignore();
    sendMessage(WM_CLOSE, 0, 0);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    DroppedFiles dropped;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            dropped.paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    event->acceptProposedAction();
    sendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(&dropped), 0);
}

void MainWindow::onScrollAction(int action) {
    std::uint16_t code;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINEUP;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINEDOWN;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGEUP;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGEDOWN;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = SB_TOP;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = SB_BOTTOM;
            break;
        case QAbstractSlider::SliderMove:
            // The thumb follows the pointer while it is dragged; the document hears of it only on
            // release (SB_THUMBPOSITION).
            sendMessage(WM_VSCROLL, makeWParam(SB_THUMBTRACK, scrollBar_->sliderPosition()), 0);
            return;
        default:
            return;
    }
    // Only the document moves the bar: undo the step Qt has already taken.
    scrollBar_->setSliderPosition(scrollBar_->value());
    sendMessage(WM_VSCROLL, makeWParam(code, 0), 0);
    sendMessage(WM_VSCROLL, makeWParam(SB_ENDSCROLL, 0), 0);
}

void MainWindow::paintGrid(platform::PaintContext& context) {
    invalid_ = false;
    paintContext_ = &context;
    sendMessage(WM_PAINT, 0, 0);
    paintContext_ = nullptr;
}

void MainWindow::gridResized(int width, int height) {
    sendMessage(WM_SIZE, SIZE_RESTORED, makeLParam(width, height));
}

void MainWindow::gridKeyPressed(QKeyEvent* event) {
    std::uint32_t key = virtualKey(event->key());
    if (key == 0) {
        return;
    }
    // Keys pressed with Alt are system keys, which the procedure leaves to the system.
    UINT message = event->modifiers().testFlag(Qt::AltModifier) ? WM_SYSKEYDOWN : WM_KEYDOWN;
    sendMessage(message, key, 1);
}

void MainWindow::gridMouse(UINT message, QMouseEvent* event) {
    QPoint point = event->position().toPoint();
    // No capture: a move or a release outside the client area does not reach the window.
    if (message != WM_LBUTTONDOWN && !grid_->rect().contains(point)) {
        return;
    }
    if (message != WM_MOUSEMOVE && event->button() != Qt::LeftButton) {
        return;
    }
    sendMessage(message, mouseKeyState(event->buttons(), event->modifiers()),
                makeLParam(point.x(), point.y()));
}

void MainWindow::gridWheel(QWheelEvent* event) {
    int delta = event->angleDelta().y();
    if (delta == 0) {
        return;
    }
    QPoint global = event->globalPosition().toPoint();
    sendMessage(
        WM_MOUSEWHEEL,
        makeWParam(static_cast<int>(mouseKeyState(event->buttons(), event->modifiers())), delta),
        makeLParam(global.x(), global.y()));
}

WPARAM mouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    WPARAM flags = 0;
    if (buttons.testFlag(Qt::LeftButton)) {
        flags |= MK_LBUTTON;
    }
    if (buttons.testFlag(Qt::RightButton)) {
        flags |= MK_RBUTTON;
    }
    if (buttons.testFlag(Qt::MiddleButton)) {
        flags |= MK_MBUTTON;
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        flags |= MK_SHIFT;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        flags |= MK_CONTROL;
    }
    return flags;
}

std::uint32_t virtualKey(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        return static_cast<std::uint32_t>(qtKey);  // the same codes as ASCII
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return static_cast<std::uint32_t>(0x70 + (qtKey - Qt::Key_F1));
    }
    switch (qtKey) {
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Shift:
            return 0x10;
        case Qt::Key_Control:
            return 0x11;
        case Qt::Key_Alt:
            return 0x12;
        case Qt::Key_Pause:
            return 0x13;
        case Qt::Key_CapsLock:
            return 0x14;
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        default:
            return 0;
    }
}

}  // namespace shell
