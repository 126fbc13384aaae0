// The Qt main window on the offscreen platform: what it shows when created, and the window
// messages it makes of Qt's events.

#include "shell/main_window.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "control/controller.h"
#include "platform/instance_channel.h"
#include "shell/file_chooser.h"
#include "shell/file_dialogs.h"
#include "shell/resources.h"
#include "shell/window_proc.h"
#include "status/status_bar.h"

using namespace shell;

// Under LeakSanitizer: what the libraries below Qt keep until the process ends is not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "shell_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A main window whose procedure records every message; WM_CLOSE takes the system's way.
class RecordedWindow : public ::testing::Test {
protected:
    RecordedWindow()
        : window({"splicor"},
                 [this](WindowHost& host, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
                     messages.push_back({message, wParam, lParam});
                     if (message == WM_DROPFILES) {
                         dropped = reinterpret_cast<const DroppedFiles*>(wParam)->paths;
                     }
                     if (message == WM_COPYDATA) {
                         dropped = reinterpret_cast<const HandedOverFiles*>(lParam)->paths;
                     }
                     if (message == WM_PAINT) {
                         paintedWithContext = host.beginPaint() != nullptr;
                     }
                     return message == WM_CLOSE ? host.defWindowProc(message, wParam, lParam) : 0;
                 }) {}

    void SetUp() override {
        window.createAndShow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::processEvents();
        messages.clear();
    }

    std::vector<Message> only(UINT message) const {
        std::vector<Message> found;
        for (const Message& m : messages) {
            if (m.message == message) {
                found.push_back(m);
            }
        }
        return found;
    }

    QApplication& app = application();
    std::vector<Message> messages;
    std::vector<std::string> dropped;
    bool paintedWithContext = false;
    MainWindow window;
};

TEST(MainWindow, OpensWithItsTitleMenuAndFiveStatusParts) {
    application();
    char pattern[] = "/tmp/splicor-window-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string thumbnailDirectory = std::string(pattern) + "/";
    theStatusBar = new status::StatusBar;
    theController = new control::Controller(thumbnailDirectory, theStatusBar);
    {
        MainWindow window({"splicor"}, mainWindowProc);
        window.createAndShow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::processEvents();

        EXPECT_EQ(window.windowTitle().toStdString(), "splicor2 0.019");
        EXPECT_FALSE(window.windowIcon().isNull());
        EXPECT_EQ(window.statusTexts(),
                  (std::vector<std::string>{"0  ファイル読込済み", "0  ファイル待ち",
                                            "読込中ファイル無し", "0  ファイル分割待ち",
                                            "分割中ファイル無し"}));
        EXPECT_EQ(window.statusEdges(),
                  shell::statusEdges(window.grid()->width(), window.statusWidths()));
        EXPECT_TRUE(window.scrollBar()->isVisible());
        EXPECT_FALSE(window.scrollBar()->isEnabled());

        QMenu* menu = window.fileMenu();
        EXPECT_EQ(menu->title().toStdString(), "ファイル(&F)");
        std::vector<std::pair<int, std::string>> items;
        for (QAction* action : menu->actions()) {
            items.emplace_back(action->isSeparator() ? 0 : action->data().toInt(),
                               action->text().toStdString());
            EXPECT_TRUE(action->shortcut().isEmpty()) << "the keys are the accelerators'";
        }
        EXPECT_EQ(items, (std::vector<std::pair<int, std::string>>{
                             {32781, "開く(&O) \tCtrl+O"},
                             {32782, "名前を付けて保存(&S) \tCtrl+S"},
                             {32783, "番号を付けて保存(&N) \tCtrl+D"},
                             {32786, "閉じる(&C) \tCtrl+W"},
                             {32791, "後ろへ送る(&B) \tCtrl+B"},
                             {32792, "元に戻す(&U) \tCtrl+Z"},
                             {0, ""},
                             {32784, "アプリケーションの終了(&X) \tCtrl+Q"}}));
        std::vector<std::string> keys;
        for (QShortcut* shortcut : window.accelerators()) {
            keys.push_back(shortcut->key().toString().toStdString());
        }
        EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+W", "Ctrl+Q", "Ctrl+D", "Ctrl+O", "Ctrl+S",
                                                  "Ctrl+B", "Ctrl+Z"}));

        theController->shutdown();
    }
    delete theController;
    theController = nullptr;
    delete theStatusBar;
    theStatusBar = nullptr;
    std::filesystem::remove_all(pattern);
}

TEST(MainWindow, ShowsEveryStatusTextWholeAndTitlesLiterally) {
    application();
    MainWindow window({"splicor"}, [](WindowHost&, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    window.createAndShow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    StatusWidths widths = window.statusWidths();
    EXPECT_GE(widths.ready, 110);
    EXPECT_GE(widths.pending, 85);
    EXPECT_GE(widths.cutPending, 110);
    // The texts with the widest counts the parts must hold, at the window's default size and the
    // edges the procedure gives it for that width.
    window.setStatusParts(shell::statusEdges(window.grid()->width(), widths));
    for (const char* digits : {"0", "17", "8888", "9999"}) {
        SCOPED_TRACE(digits);
        std::string count(digits);
        window.setStatusText(0, count + "  ファイル読込済み");
        window.setStatusText(1, count + "  ファイル待ち");
        window.setStatusText(2, "読込中ファイル無し");
        window.setStatusText(3, count + "  ファイル分割待ち");
        window.setStatusText(4, "分割中ファイル無し");
        QApplication::processEvents();
        EXPECT_EQ(window.statusTextsWhole(), std::vector<bool>(5, true));
    }

    // "[*]" is no placeholder here: the title shows what it was given.
    window.setTitle("/v/take[*]1.wmv - splicor2 0.019");
    EXPECT_EQ(window.windowHandle()->title().toStdString(), "/v/take[*]1.wmv - splicor2 0.019");
}

TEST(MainWindow, TheToolkitsOwnTextsAreJapanese) {
    ASSERT_TRUE(installToolkitTranslations(application()));
    FileChooser open(FileChooser::Mode::Open);
    EXPECT_EQ(open.windowTitle().toStdString(), "開く");
    std::vector<std::string> texts;
    for (const QWidget* widget : open.findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<const QLabel*>(widget)) {
            texts.push_back(label->text().toStdString());
        } else if (auto* button = qobject_cast<const QPushButton*>(widget)) {
            texts.push_back(button->text().toStdString());
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"開く(&O)", "キャンセル",
                                               "アドレス:", "ファイル名(&N):", "ファイルの種類:"}));
    FileChooser save(FileChooser::Mode::Save);
    EXPECT_EQ(save.windowTitle().toStdString(), "名前を付けて保存");
    EXPECT_NE(QScrollBar::tr("Scroll here"), QStringLiteral("Scroll here")) << "the bar's menu";
}

// Every name on disk is listed and comes back as its bytes, chosen by keys or typed; folders,
// named in any bytes, are entered.
TEST(FileChooser, ListsEveryNameAndGivesBackItsBytes) {
    application();
    char pattern[] = "/tmp/splicor-chooser-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string inner = folder + "/d\xE9j\xE0";
    std::filesystem::create_directory(inner);
    for (const char* name :
         {"caf\xE9.wmv", "c.asf", "take.WMV", "notes.txt", ".hidden.wmv", "d\xE9j\xE0/inner.wmv"}) {
        std::ofstream(folder + "/" + name) << "x";
    }
    auto listed = [](const FileChooser& chooser) {
        std::vector<std::string> names;
        for (int i = 0; i < chooser.list()->topLevelItemCount(); ++i) {
            names.push_back(chooser.list()->topLevelItem(i)->text(0).toStdString());
        }
        return names;
    };
    // choose(TEXT, N): types TEXT into the list, extends the selection N rows down, and
    // presses Return.
    auto choose = [&folder](const char* text, int shiftDowns) {
        FileChooser chooser(FileChooser::Mode::Open);
        chooser.setFolder(folder);
        chooser.show();
        QTest::keyClicks(chooser.list(), QString::fromLatin1(text));
        for (int i = 0; i < shiftDowns; ++i) {
            QTest::keyClick(chooser.list(), Qt::Key_Down, Qt::ShiftModifier);
        }
        QTest::keyClick(chooser.list(), Qt::Key_Return);
        return chooser.result() == QDialog::Accepted ? chooser.chosen()
                                                     : std::vector<std::string>{};
    };

    FileChooser chooser(FileChooser::Mode::Open);
    ASSERT_TRUE(chooser.setFolder(folder));
    EXPECT_EQ(listed(chooser),
              (std::vector<std::string>{"d\uFFFDj\uFFFD", "c.asf", "caf\uFFFD.wmv", "take.WMV"}));
    EXPECT_EQ(choose("caf", 0), std::vector<std::string>{folder + "/caf\xE9.wmv"});
    EXPECT_EQ(choose("c", 1),
              (std::vector<std::string>{folder + "/c.asf", folder + "/caf\xE9.wmv"}));

    // A folder typed by the name it shows is entered, and its files chosen there.
    chooser.nameEdit()->setText(QStringLiteral("d\uFFFDj\uFFFD"));
    chooser.accept();
    EXPECT_EQ(chooser.folder(), inner);
    EXPECT_EQ(listed(chooser), std::vector<std::string>{"inner.wmv"});
    EXPECT_EQ(chooser.nameEdit()->text(), QString());
    std::filesystem::remove_all(pattern);
}

TEST(SaveDialog, AddsTheExtensionAndAsksBeforeReplacingInAnyFolder) {
    application();
    char pattern[] = "/tmp/splicor-save-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/d\xE9j\xE0";
    std::filesystem::create_directory(folder);
    // The dialog starts in the folder it is given, named in any bytes.
    auto save = [&folder](const char* typed) {
        FileChooser dialog(FileChooser::Mode::Save, nullptr, folder);
        EXPECT_EQ(dialog.folder(), folder);
        dialog.nameEdit()->setText(QString::fromUtf8(typed));
        dialog.accept();  // as the Save button does
        return dialog.result() == QDialog::Accepted ? dialog.chosen().at(0) : std::string();
    };
    EXPECT_EQ(save("clip"), folder + "/clip.wmv") << "a name without extension gets .wmv";
    EXPECT_EQ(save("clip.asf"), folder + "/clip.asf");
    EXPECT_EQ(save("新"), folder + "/新.wmv");

    std::ofstream(folder + "/old.wmv") << "x";
    bool asked = false;
    QTimer::singleShot(0, [&asked] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            asked = true;
            box->close();  // declines to replace
        }
    });
    EXPECT_EQ(save("old"), std::string()) << "replacing declined: nothing chosen";
    EXPECT_TRUE(asked);
    std::filesystem::remove_all(pattern);
}

// The toolkit reads a byte that is not UTF-8 in a file name as U+FFFD; a chosen path still
// names the file on disk, in a folder named so too.
TEST(FileDialogs, PathsFromTheToolkitFindTheirBytesOnDisk) {
    char pattern[] = "/tmp/splicor-open-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/d\xE9j\xE0";
    const std::string name = "caf\xE9.wmv";
    std::filesystem::create_directory(folder);
    std::ofstream(folder + "/" + name) << "x";
    std::ofstream(folder + "/ok.wmv") << "x";
    auto shown = [](const std::string& bytes) {
        return QFile::decodeName(QByteArray::fromStdString(bytes));
    };

    EXPECT_EQ(pathOnDisk(shown(folder + "/" + name)), folder + "/" + name);
    EXPECT_EQ(pathOnDisk(shown(folder + "/ok.wmv")), folder + "/ok.wmv");
    // A new name (the save dialog's) keeps its UTF-8 bytes in the folder as it is on disk.
    EXPECT_EQ(pathOnDisk(shown(folder) + QStringLiteral("/新.wmv")), folder + "/新.wmv");
    // Two names that read alike: neither is taken for the other.
    std::ofstream(folder + "/caf\xE8.wmv") << "x";
    EXPECT_NE(pathOnDisk(shown(folder + "/" + name)), folder + "/" + name);
    std::filesystem::remove_all(pattern);
}

TEST_F(RecordedWindow, AcceleratorsBecomeCommandsAndNeverKeys) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::pair<Qt::Key, int> accelerators[] = {
        {Qt::Key_W, CMD_CLOSE}, {Qt::Key_Q, CMD_EXIT},    {Qt::Key_D, CMD_SAVE_NUMBERED},
        {Qt::Key_O, CMD_OPEN},  {Qt::Key_S, CMD_SAVE_AS}, {Qt::Key_B, CMD_SEND_BACK},
        {Qt::Key_Z, CMD_UNDO}};
    for (const auto& [key, command] : accelerators) {
        messages.clear();
        QTest::keyClick(window.grid(), key, Qt::ControlModifier);
        ASSERT_EQ(only(WM_COMMAND).size(), 1u) << command;
        EXPECT_EQ(only(WM_COMMAND)[0].wParam, makeWParam(command, 1));
        // Ctrl itself is a key (17), the letter is not.
        for (const Message& m : only(WM_KEYDOWN)) {
            EXPECT_EQ(m.wParam, 17u);
        }
    }
    // Other keys with Ctrl are keys; with Alt they are the system's.
    messages.clear();
    QTest::keyClick(window.grid(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(window.grid(), Qt::Key_Right);
    QTest::keyClick(window.grid(), Qt::Key_Delete, Qt::AltModifier);
    std::vector<WPARAM> keys;
    for (const Message& m : only(WM_KEYDOWN)) {
        keys.push_back(m.wParam);
    }
    EXPECT_EQ(keys, (std::vector<WPARAM>{17, 65, 39}));
    keys.clear();
    for (const Message& m : only(WM_SYSKEYDOWN)) {
        keys.push_back(m.wParam);
    }
    EXPECT_EQ(keys, (std::vector<WPARAM>{18, 46}));

    // The menu's items send the same commands.
    messages.clear();
    window.fileMenu()->actions().at(1)->trigger();
    ASSERT_EQ(only(WM_COMMAND).size(), 1u);
    EXPECT_EQ(only(WM_COMMAND)[0].wParam, makeWParam(CMD_SAVE_AS, 0));
}

TEST_F(RecordedWindow, MouseAndWheelCarryKeyStateAndSignedWords) {
    QWidget* grid = window.grid();
    auto send = [grid](QEvent::Type type, QPoint point, Qt::MouseButton button,
                       Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
        QMouseEvent event(type, point, grid->mapToGlobal(point), button, buttons, modifiers);
        QApplication::sendEvent(grid, &event);
    };
    send(QEvent::MouseButtonPress, {170, 130}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseMove, {200, 140}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    send(QEvent::MouseButtonRelease, {210, 150}, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
    send(QEvent::MouseMove, {5, 6}, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    // Without capture nothing outside the client area arrives; the right button is not routed.
    send(QEvent::MouseMove, {-30, 6}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    send(QEvent::MouseButtonRelease, {-30, 6}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    send(QEvent::MouseButtonPress, {5, 6}, Qt::RightButton, Qt::RightButton, Qt::NoModifier);

    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(messages[0].wParam, MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(messages[0].lParam, makeLParam(170, 130));
    EXPECT_EQ(messages[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(messages[1].wParam, MK_LBUTTON);
    EXPECT_EQ(messages[2].message, WM_LBUTTONUP);
    EXPECT_EQ(messages[2].wParam, MK_SHIFT);
    EXPECT_EQ(messages[2].lParam, makeLParam(210, 150));
    EXPECT_EQ(messages[3].wParam, 0u);

    messages.clear();
    QWheelEvent towardsUser({50, 50}, grid->mapToGlobal(QPoint(50, 50)), QPoint(), QPoint(0, -120),
                            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid, &towardsUser);
    ASSERT_EQ(only(WM_MOUSEWHEEL).size(), 1u);
    EXPECT_EQ(signedHiWord(only(WM_MOUSEWHEEL)[0].wParam), -120);
}

TEST_F(RecordedWindow, TheScrollBarAsksTheDocumentAndMovesOnlyWhenTold) {
    QScrollBar* bar = window.scrollBar();
    window.setScrollInfo(0, 4, 2, 0);  // positions 0 to 3
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->maximum(), 3);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(bar->value(), 0) << "no document answered, so the bar stays";
    bar->setSliderDown(true);
    bar->setSliderPosition(2);
    bar->setSliderDown(false);
    std::vector<std::pair<int, int>> requests;
    for (const Message& m : only(WM_VSCROLL)) {
        requests.emplace_back(loWord(m.wParam), signedHiWord(m.wParam));
    }
    EXPECT_EQ(requests, (std::vector<std::pair<int, int>>{{SB_LINEDOWN, 0},
                                                          {SB_ENDSCROLL, 0},
                                                          {SB_PAGEDOWN, 0},
                                                          {SB_ENDSCROLL, 0},
                                                          {SB_LINEUP, 0},
                                                          {SB_ENDSCROLL, 0},
                                                          {SB_PAGEUP, 0},
                                                          {SB_ENDSCROLL, 0},
                                                          {SB_THUMBTRACK, 2},
                                                          {SB_THUMBPOSITION, 2},
                                                          {SB_ENDSCROLL, 0}}));
    window.setScrollPos(1);
    EXPECT_EQ(bar->value(), 1);

    // The bar's menu moves the bar directly ("Scroll here") or asks for its ends ("Top",
    // "Bottom"): each becomes a thumb position for the document, and without a document that
    // takes it the bar stays where the document put it.
    messages.clear();
    bar->setValue(3);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    requests.clear();
    for (const Message& m : only(WM_VSCROLL)) {
        requests.emplace_back(loWord(m.wParam), signedHiWord(m.wParam));
    }
    EXPECT_EQ(requests, (std::vector<std::pair<int, int>>{{SB_THUMBPOSITION, 3},
                                                          {SB_ENDSCROLL, 0},
                                                          {SB_THUMBPOSITION, 0},
                                                          {SB_ENDSCROLL, 0},
                                                          {SB_THUMBPOSITION, 3},
                                                          {SB_ENDSCROLL, 0}}));
    EXPECT_EQ(bar->value(), 1);

    // The wheel over the bar, or over the status bar, is the window's wheel: the bar itself
    // does not move.
    messages.clear();
    for (QWidget* over : {static_cast<QWidget*>(bar), window.statusBarArea()}) {
        QPoint inside(over->width() / 2, over->height() / 2);
        QWheelEvent wheel(inside, over->mapToGlobal(inside), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &wheel);
    }
    ASSERT_EQ(only(WM_MOUSEWHEEL).size(), 2u);
    EXPECT_EQ(signedHiWord(only(WM_MOUSEWHEEL)[0].wParam), -120);
    EXPECT_EQ(bar->value(), 1);

    window.setScrollInfo(0, 4, 5, 0);
    EXPECT_FALSE(bar->isEnabled()) << "nothing to scroll: disabled";
    EXPECT_TRUE(bar->isVisible()) << "but not hidden";
}

TEST_F(RecordedWindow, SizesPaintsAndDropsBecomeMessages) {
    window.resize(700, 500);
    QApplication::processEvents();
    ASSERT_FALSE(only(WM_SIZE).empty());
    LPARAM size = only(WM_SIZE).back().lParam;
    EXPECT_EQ(loWord(static_cast<WPARAM>(size)), window.grid()->width());
    EXPECT_EQ(hiWord(static_cast<WPARAM>(size)), window.grid()->height());

    window.invalidate();
    window.update();
    EXPECT_FALSE(only(WM_PAINT).empty()) << "update paints what is invalid at once";
    EXPECT_TRUE(paintedWithContext);

    std::string longName = "/tmp/" + std::string(300, 'n') + ".wmv";
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(longName)),
                  QUrl::fromLocalFile(QStringLiteral("/tmp/a b.asf"))});
    window.acceptDroppedFiles();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    EXPECT_EQ(dropped, (std::vector<std::string>{longName, "/tmp/a b.asf"}));

    // A name that is not UTF-8 arrives as the bytes it has on disk.
    QMimeData raw;
    raw.setData(QStringLiteral("text/uri-list"), QByteArray("file:///tmp/caf%E9.wmv\r\n"));
    QDragEnterEvent rawEnter(QPoint(20, 20), Qt::CopyAction, &raw, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &rawEnter);
    QDropEvent rawDrop(QPointF(20, 20), Qt::CopyAction, &raw, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &rawDrop);
    EXPECT_EQ(dropped, (std::vector<std::string>{"/tmp/caf\xE9.wmv"}));
}

TEST_F(RecordedWindow, FilesHandedOverOnAnotherThreadArriveAsOneMessageUntilTheWindowIsGone) {
    using State = platform::FileHandOver::State;
    auto files =
        std::make_shared<platform::FileHandOver>(std::vector<std::string>{"/v/caf\xe9.wmv"});
    State outcome = State::waiting;
    std::thread listener([&] {
        window.handOver(files);
        outcome = files->waitUntilTaken(std::chrono::seconds(5));
    });
    for (int i = 0; i < 500 && only(WM_COPYDATA).empty(); ++i) {
        QTest::qWait(10);
    }
    listener.join();
    EXPECT_EQ(only(WM_COPYDATA).size(), 1u);
    EXPECT_EQ(dropped, std::vector<std::string>{"/v/caf\xe9.wmv"});
    EXPECT_EQ(outcome, State::taken);

    window.close();
    auto late = std::make_shared<platform::FileHandOver>(std::vector<std::string>{"/v/a.wmv"});
    window.handOver(late);
    QApplication::processEvents();
    EXPECT_EQ(late->waitUntilTaken(std::chrono::seconds(0)), State::declined);
    EXPECT_EQ(only(WM_COPYDATA).size(), 1u);
}

// The grid's background is the palette's, a dark theme's too.
TEST_F(RecordedWindow, PaintsTheGridInThePalettesBaseColour) {
    QPalette dark = window.palette();
    dark.setColor(QPalette::Base, QColor(0x20, 0x22, 0x24));
    dark.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    window.setPalette(dark);
    const QImage grid = window.grid()->grab().toImage();
    EXPECT_EQ(grid.pixelColor(5, 5), QColor(0x20, 0x22, 0x24));
    EXPECT_EQ(grid.pixelColor(grid.width() - 1, grid.height() - 1), QColor(0x20, 0x22, 0x24));
    EXPECT_FALSE(only(WM_PAINT).empty()) << "and the document paints over it";
}

TEST_F(RecordedWindow, ItsFirstSizeFitsTheScreen) {
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_LE(window.frameGeometry().width(), screen.width());
    EXPECT_LE(window.frameGeometry().height(), screen.height());
    EXPECT_EQ(firstWindowSize(QSize(1920, 1080)), QSize(960, 700)) << "where there is room";
    const QSize small = firstWindowSize(QSize(1024, 600));
    EXPECT_EQ(small.width(), 960);
    EXPECT_TRUE(small.height() >= 500 && small.height() < 600) << small.height();
}

TEST_F(RecordedWindow, ClosingDestroysTheWindowAndLaterCallsFromAnyThreadAreDropped) {
    // Calls from another thread arrive in their order.
    std::thread worker([this] {
        for (int i = 0; i < 50; ++i) {
            window.setStatusText(1, std::to_string(i));
        }
        window.setTitle("from a worker");
    });
    worker.join();
    // A call made here meanwhile is newer than theirs: it waits behind them.
    window.setStatusText(1, "newest");
    QApplication::processEvents();
    EXPECT_EQ(window.statusTexts()[1], "newest");
    EXPECT_EQ(window.windowTitle().toStdString(), "from a worker");

    window.close();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, WM_CLOSE);
    EXPECT_EQ(messages[1].message, WM_DESTROY);
    EXPECT_TRUE(window.destroyed());
    EXPECT_FALSE(window.isVisible());

    std::thread late([this] { window.setTitle("too late"); });
    late.join();
    window.setStatusText(1, "too late");
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle().toStdString(), "from a worker");
    EXPECT_EQ(window.statusTexts()[1], "newest");
}

}  // namespace
