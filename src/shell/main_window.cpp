#include "shell/main_window.h"

#include <QtGui/qguiapplication_platform.h>
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
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/instance_channel.h"
#include "platform/qt_paint_context.h"
#include "shell/file_dialogs.h"
#include "shell/file_intake.h"
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
        // The window background, erased before every paint: the palette's colour for the
        // content of a view (Base: white in a light theme, dark in a dark one), as a list or an
        // icon view is painted, not the grey of the window's frame and bars (Window).
        painter.fillRect(rect(), palette().color(QPalette::Base));
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
            labels_[static_cast<std::size_t>(part)]->setText(QString::fromStdString(text));
        }
    }
    const std::vector<std::int32_t>& edges() const { return edges_; }
    // The texts as the labels hold them: what is drawn, not what was asked for.
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (QLabel* label : labels_) {
            result.push_back(label->text().toStdString());
        }
        return result;
    }
    // A part is whole when the part of it inside the bar is as wide and as tall as its text needs.
    std::vector<bool> whole() const {
        std::vector<bool> result;
        for (QLabel* label : labels_) {
            QSize seen = label->geometry().intersected(rect()).size();
            QSize needed = label->sizeHint();
            result.push_back(isVisible() && label->isVisible() && seen.width() >= needed.width() &&
                             seen.height() >= needed.height());
        }
        return result;
    }

    // The widths parts 0, 1 and 3 need for their texts with counts of up to four digits, in this
    // widget's font, and never less than the usual widths.
    StatusWidths neededWidths() const {
        QLabel probe;
        probe.setFont(labels_[0]->font());
        probe.setFrameStyle(labels_[0]->frameStyle());
        probe.setIndent(labels_[0]->indent());
        auto widest = [&probe](const char* words) {
            int width = 0;
            for (char digit = '0'; digit <= '9'; ++digit) {
                probe.setText(QString(4, QChar(digit)) + QStringLiteral("  ") +
                              QString::fromUtf8(words));
                width = std::max(width, probe.sizeHint().width());
            }
            return width;
        };
        StatusWidths widths;
        widths.ready = std::max(widths.ready, widest("ファイル読込済み"));
        widths.pending = std::max(widths.pending, widest("ファイル待ち"));
        widths.cutPending = std::max(widths.cutPending, widest("ファイル分割待ち"));
        return widths;
    }

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
    statusWidths_ = statusParts_->neededWidths();
    // The wheel over the bar moves the grid like the wheel anywhere else, not the bar alone;
    // over the status bar it does the same.
    scrollBar_->installEventFilter(this);
    statusParts_->installEventFilter(this);
    QObject::connect(scrollBar_, &QScrollBar::actionTriggered, this,
                     [this](int action) { onScrollAction(action); });
    QObject::connect(scrollBar_, &QScrollBar::valueChanged, this,
                     [this](int value) { onScrollValueChanged(value); });
    QObject::connect(scrollBar_, &QScrollBar::sliderReleased, this, [this] {
        sendMessage(WM_VSCROLL, makeWParam(SB_THUMBPOSITION, scrollBar_->sliderPosition()), 0);
        sendMessage(WM_VSCROLL, makeWParam(SB_ENDSCROLL, 0), 0);
        showDocumentScrollPosition();
    });

    buildMenu();
    buildAccelerators();
    resize(firstWindowSize(screen() != nullptr ? screen()->availableGeometry().size()
                                               : QSize(kFirstWindowWidth, kFirstWindowHeight)));
    grid_->setFocus();
}

MainWindow::~MainWindow() {
    destroyed_ = true;
    // Gone before the members it reports to, without reporting.
    if (notice_ != nullptr) {
        QObject::disconnect(notice_, nullptr, this, nullptr);
        delete notice_;
    }
}

QWidget* MainWindow::grid() const {
    return grid_;
}

QWidget* MainWindow::statusBarArea() const {
    return statusParts_;
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
    // A call from this thread runs at once, unless calls from other threads still wait: then it
    // waits behind them, or an older call (a document laid out by the loader before the window
    // took its size) would undo a newer one.
    if (QThread::currentThread() == thread() && queuedCalls_ == 0) {
        call();
        return;
    }
    // Queued calls to one object are delivered in the order they were posted.
    ++queuedCalls_;
    QMetaObject::invokeMethod(
        this,
        [this, call = std::move(call)] {
            --queuedCalls_;
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

std::vector<bool> MainWindow::statusTextsWhole() const {
    return statusParts_->whole();
}

std::string MainWindow::stateText() const {
    std::ostringstream out;
    std::vector<std::string> texts = statusTexts();
    std::vector<bool> whole = statusTextsWhole();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out << "status " << i << (whole[i] ? " whole " : " cut ") << texts[i] << "\n";
    }
    out << "scroll " << scrollBar_->value() << ' ' << scrollBar_->minimum() << ' '
        << scrollBar_->maximum() << (scrollBar_->isEnabled() ? " enabled" : " disabled") << "\n";
    auto place = [this, &out](const char* name, const QWidget* widget) {
        QPoint origin = widget->mapTo(this, QPoint(0, 0));
        out << name << ' ' << origin.x() << ' ' << origin.y() << ' ' << widget->width() << ' '
            << widget->height() << "\n";
    };
    place("grid", grid_);
    place("scrollbar", scrollBar_);
    place("statusbar", statusParts_);
    for (const std::string& line : noticeLines_) {
        out << "notice " << line << "\n";
    }
    return out.str();
}

void MainWindow::publishState() {
#if QT_CONFIG(xcb)
    // Only on X itself: other platforms (offscreen among them) may answer for X without a
    // connection to one.
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || windowHandle() == nullptr ||
        QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    if (connection == nullptr) {
        return;
    }
    auto atom = [connection](const char* name) {
        xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return value;
    };
    static const xcb_atom_t property = atom("_SPLICOR_WINDOW_STATE");
    static const xcb_atom_t utf8 = atom("UTF8_STRING");
    if (property == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE) {
        return;
    }
    std::string state = stateText();
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(winId()),
                        property, utf8, 8, static_cast<std::uint32_t>(state.size()), state.data());
    xcb_flush(connection);
#endif
}

void MainWindow::setStatusParts(const std::vector<std::int32_t>& rightEdges) {
    post([this, rightEdges] {
        statusParts_->setEdges(rightEdges);
        publishState();
    });
}

void MainWindow::setStatusText(int part, const std::string& text) {
    post([this, part, text] {
        statusParts_->setText(part, text);
        publishState();
    });
}

void MainWindow::setTitle(const std::string& text) {
    post([this, text] { setWindowTitle(literalTitle(text)); });
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
        documentScrollPosition_ = scrollBar_->value();
        publishState();
    });
}

void MainWindow::setScrollPos(std::int32_t position) {
    post([this, position] {
        const QSignalBlocker blocker(scrollBar_);
        scrollBar_->setValue(position);
        documentScrollPosition_ = scrollBar_->value();
        publishState();
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

void MainWindow::showNotice(const std::string& text) {
    post([this, text] {
        // Every line of the text, one after the other: a notice the user has not closed yet
        // grows, so that nothing told while it was open is lost behind it.
        std::string rest = text;
        for (std::size_t end; (end = rest.find('\n')) != std::string::npos;
             rest.erase(0, end + 1)) {
            noticeLines_.push_back(rest.substr(0, end));
        }
        noticeLines_.push_back(rest);
        if (notice_ == nullptr) {
            notice_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("お知らせ"), QString(),
                                      QMessageBox::Ok, this);
            notice_->setWindowModality(Qt::NonModal);
            notice_->setAttribute(Qt::WA_DeleteOnClose);
            // It does not take the keyboard from what the user is typing into.
            notice_->setAttribute(Qt::WA_ShowWithoutActivating);
            QObject::connect(notice_, &QObject::destroyed, this, [this] {
                notice_ = nullptr;
                noticeLines_.clear();
                publishState();
            });
        }
        QStringList lines;
        for (const std::string& line : noticeLines_) {
            lines << QString::fromStdString(line);
        }
        notice_->setText(lines.join(QLatin1Char('\n')));
        notice_->show();
        publishState();
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

std::string MainWindow::chooseFile(bool open, const std::string& folder) {
    return open ? runOpenDialog(this, folder) : runSaveDialog(this, folder);
}

std::int16_t MainWindow::shiftKeyState() {
    bool held = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    return held ? static_cast<std::int16_t>(-0x8000) : std::int16_t{0};
}

void MainWindow::acceptDroppedFiles() {
    setAcceptDrops(true);
}

void MainWindow::raiseWindow() {
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void MainWindow::handOver(std::shared_ptr<platform::FileHandOver> files) {
    QMetaObject::invokeMethod(
        this,
        [this, files] {
            if (destroyed_) {
                files->decline();
                return;
            }
            if (!files->take()) {
                return;  // its sender has been told they were not taken
            }
            HandedOverFiles handed{files->paths()};
            sendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&handed));
        },
        Qt::QueuedConnection);
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
    const QMimeData* mime = event->mimeData();
    const QString uriList = QStringLiteral("text/uri-list");
    if (mime->hasFormat(uriList)) {
        // The list's own bytes: QUrl would turn a name that is not UTF-8 into another name.
        dropped.paths = localPathsFromUriList(mime->data(uriList).toStdString());
    } else {
        for (const QUrl& url : mime->urls()) {
            if (url.isLocalFile()) {
                dropped.paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
            }
        }
    }
    event->acceptProposedAction();
    sendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(&dropped), 0);
}

void MainWindow::wheelEvent(QWheelEvent* event) {
    gridWheel(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == scrollBar_ || watched == statusParts_) && event->type() == QEvent::Wheel) {
        gridWheel(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
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
        case QAbstractSlider::SliderToMaximum: {
            // The bar's menu ("Top", "Bottom"): the document goes to the thumb position asked
            // for, and the bar follows it (the document ignores SB_TOP and SB_BOTTOM).
            int position = action == QAbstractSlider::SliderToMinimum ? scrollBar_->minimum()
                                                                      : scrollBar_->maximum();
            scrollBar_->setSliderPosition(scrollBar_->value());
            sendMessage(WM_VSCROLL, makeWParam(SB_THUMBPOSITION, position), 0);
            sendMessage(WM_VSCROLL, makeWParam(SB_ENDSCROLL, 0), 0);
            return;
        }
        case QAbstractSlider::SliderMove:
            // The thumb follows the pointer while it is dragged, and the document moves the grid
            // with it (SB_THUMBTRACK); the release says where it ended (SB_THUMBPOSITION).
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

void MainWindow::onScrollValueChanged(int value) {
    // The document's own moves are made with the bar's signals blocked, and a dragged thumb is
    // told as it moves (onScrollAction): what is left moved the bar directly (the menu's "Scroll
    // here"). The document takes that position and sets the bar where it ends up.
    if (scrollBar_->isSliderDown()) {
        return;
    }
    sendMessage(WM_VSCROLL, makeWParam(SB_THUMBPOSITION, value), 0);
    sendMessage(WM_VSCROLL, makeWParam(SB_ENDSCROLL, 0), 0);
    showDocumentScrollPosition();
}

void MainWindow::showDocumentScrollPosition() {
    const QSignalBlocker blocker(scrollBar_);
    scrollBar_->setValue(documentScrollPosition_);
}

void MainWindow::paintGrid(platform::PaintContext& context) {
    invalid_ = false;
    paintContext_ = &context;
    sendMessage(WM_PAINT, 0, 0);
    paintContext_ = nullptr;
}

void MainWindow::gridResized(int width, int height) {
    sendMessage(WM_SIZE, SIZE_RESTORED, makeLParam(width, height));
    // Once the scroll bar and the status bar have their new places too.
    QTimer::singleShot(0, this, [this] { publishState(); });
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
    event->accept();
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

bool installToolkitTranslations(QCoreApplication& application) {
    // Dates and sizes in the dialogs follow too.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    auto* translator = new QTranslator(&application);
    if (!translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

QSize firstWindowSize(QSize available) {
    // Room for the frame the window manager adds around the window and its title bar.
    constexpr int kFrameRoom = 48;
    return QSize(std::max(0, std::min(kFirstWindowWidth, available.width() - kFrameRoom)),
                 std::max(0, std::min(kFirstWindowHeight, available.height() - kFrameRoom)));
}

QString literalTitle(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
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
