// The window procedure message by message, on a real Controller and real documents, with the
// window and the system faked.

#include "shell/window_proc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "control/controller.h"
#include "fake_host.h"
#include "platform/bitmap.h"
#include "platform/file_search.h"
#include "platform/thread.h"
#include "shell/messages.h"
#include "shell/resources.h"
#include "shell/window_host.h"
#include "status/status_bar.h"
#include "thumbs/thumb_document.h"

using namespace shell;
using Edges = std::vector<std::int32_t>;
using Names = std::vector<std::string>;

namespace {

const std::string kNoneLoading = "読込中ファイル無し";
const std::string kLoading = "読込中..  ";

class WindowProcedure : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/splicor-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        thumbnailDirectory = root + "/thum/";
        std::filesystem::create_directory(thumbnailDirectory);
        theStatusBar = new status::StatusBar;
        theController = new control::Controller(thumbnailDirectory, theStatusBar);
    }

    void TearDown() override {
        theController->shutdown();
        delete theController;
        theController = nullptr;
        delete theStatusBar;
        theStatusBar = nullptr;
        std::filesystem::remove_all(root);
    }

    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return mainWindowProc(host, message, wParam, lParam);
    }

    // WM_CREATE, and the loader's first pass over the command line's files; their names.
    Names create() {
        std::size_t mark = host.texts(2).size();
        send(WM_CREATE);
        // WM_CREATE itself shows the loading part once.
        return loadedSince(mark, 2);
    }

    // Waits until the loader, woken after the status part 2 had `mark` texts, has gone idle
    // again (the part said so `idleTexts` times since) and stopped; the file names it took, in
    // order. A loader woken while still running makes one more pass: once it has stopped, no
    // pass is left to come.
    Names loadedSince(std::size_t mark, int idleTexts = 1) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            Names texts = host.texts(2);
            auto idle = std::count(texts.begin() + static_cast<std::ptrdiff_t>(mark), texts.end(),
                                   kNoneLoading);
            if (idle >= idleTexts && platform::suspendCount(theController->loaderThreadId) > 0) {
                Names names;
                for (std::size_t i = mark; i < texts.size(); ++i) {
                    if (texts[i].rfind(kLoading, 0) == 0) {
                        names.push_back(texts[i].substr(kLoading.size()));
                    }
                }
                return names;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "the loader did not go idle";
        return {};
    }

    Names drop(const Names& paths) {
        std::size_t mark = host.texts(2).size();
        DroppedFiles dropped{paths};
        EXPECT_EQ(send(WM_DROPFILES, reinterpret_cast<WPARAM>(&dropped)), 0);
        return loadedSince(mark);
    }

    // A document of `frames` frames without bitmaps in a 640 x 480 client area (4 columns of
    // 4 rows), made current as the loader would.
    thumbs::ThumbDocument* showDocument(int frames, bool ready) {
        auto* document =
            new thumbs::ThumbDocument(root + "/shown.wmv", thumbnailDirectory, 0, 0, &host);
        for (int i = 0; i < frames; ++i) {
            document->appendFrame(i * 10'000'000ull, (i + 1) * 10'000'000ull, nullptr,
                                  static_cast<std::uint32_t>(i));
        }
        document->ready = ready;
        document->layout(&host, 640, 480);
        theController->currentDocument = document;
        return document;
    }

    std::size_t cutListFiles() const {
        return platform::findFilesWithSuffix(thumbnailDirectory, "-cut.txt").size();
    }

    std::string root;
    std::string thumbnailDirectory;
    testsupport::FakeHost host;
};

LPARAM at(int x, int y) {
    return makeLParam(x, y);
}

TEST_F(WindowProcedure, CreationShowsTheFivePartsAndQueuesTheCommandLineInItsOrder) {
    host.commandLine = {"splicor", root + "/b.asf", root + "/a.wmv", root + "/c.WMV"};
    EXPECT_EQ(create(), (Names{"b.asf", "a.wmv", "c.WMV"})) << "no sorting, no extension test";

    EXPECT_EQ(host.edges.front(), (Edges{110, 195, 500, 610, 900}));
    EXPECT_EQ(theController->mainWindow.load(), &host);
    EXPECT_TRUE(host.acceptsDrops);
    EXPECT_EQ(theStatusBar->baseTitle, "splicor2 0.019");
    std::vector<std::pair<int, std::string>> first = host.allTexts();
    first.resize(5);
    EXPECT_EQ(first, (std::vector<std::pair<int, std::string>>{{0, "0  ファイル読込済み"},
                                                               {1, "0  ファイル待ち"},
                                                               {2, kNoneLoading},
                                                               {3, "0  ファイル分割待ち"},
                                                               {4, "分割中ファイル無し"}}));

    EXPECT_EQ(send(WM_DESTROY), 0);
    EXPECT_EQ(host.quitCodes, std::vector<int>{0});
    EXPECT_EQ(send(WM_CLOSE), 0);
    EXPECT_EQ(host.defaultHandled, std::vector<UINT>{WM_CLOSE}) << "closing is the system's";
}

TEST_F(WindowProcedure, StatusEdgesFollowTheWidthAsComputedEvenWhenNegative) {
    send(WM_SIZE, SIZE_RESTORED, makeLParam(900, 480));
    EXPECT_EQ(host.edges.back(), (Edges{110, 195, 492, 602, 900}));
    EXPECT_EQ(theController->clientWidth.load(), 900u);
    EXPECT_EQ(theController->clientHeight.load(), 480u);
    send(WM_SIZE, SIZE_RESTORED, makeLParam(306, 10));
    EXPECT_EQ(host.edges.back(), (Edges{110, 195, 195, 305, 306})) << "part 4 takes the odd pixel";
    send(WM_SIZE, SIZE_RESTORED, makeLParam(305, 10));
    EXPECT_EQ(host.edges.back(), (Edges{110, 195, 195, 305, 305}));
    send(WM_SIZE, SIZE_RESTORED, makeLParam(0, 0));
    EXPECT_EQ(host.edges.back(), (Edges{110, 195, 43, 153, 0}));
    send(WM_SIZE, SIZE_RESTORED, makeLParam(50000, 40000));
    EXPECT_EQ(theController->clientWidth.load(), 50000u) << "both words are unsigned";
    EXPECT_EQ(theController->clientHeight.load(), 40000u);

    // A font that needs wider parts 0, 1 and 3 keeps their order; 2 and 4 share the rest.
    host.widths = {150, 120, 160};
    send(WM_SIZE, SIZE_RESTORED, makeLParam(1000, 400));
    EXPECT_EQ(host.edges.back(), (Edges{150, 270, 555, 715, 1000}));
}

TEST_F(WindowProcedure, DropsTakeExactExtensionsOnlyInByteOrderAndAlwaysStartLoading) {
    create();
    EXPECT_EQ(drop({root + "/x.WMV"}), Names{});
    EXPECT_EQ(host.invalidations(), 1) << "repainted although nothing was taken";
    EXPECT_EQ(drop({root + "/clip.txt", "/", root + "/x.Asf"}), Names{});
    EXPECT_EQ(host.invalidations(), 2);
    EXPECT_EQ(drop({root + "/x.wmv", root + "/x.asf"}), (Names{"x.asf", "x.wmv"}));
    EXPECT_EQ(drop({root + "/b.wmv", root + "/A.wmv", root + "/a.wmv"}),
              (Names{"A.wmv", "a.wmv", "b.wmv"}));
    // A name far beyond the old 255-byte drop buffer arrives whole.
    std::string longName(300, 'n');
    longName += ".wmv";
    EXPECT_EQ(drop({root + "/" + longName}), Names{longName});
}

TEST_F(WindowProcedure, FilesOfALaterStartAreQueuedAsTheCommandLineAndTheWindowComesForward) {
    create();
    std::size_t mark = host.texts(2).size();
    HandedOverFiles handed{{root + "/b.asf", root + "/a.wmv", root + "/c.WMV"}};
    EXPECT_EQ(send(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&handed)), 1);
    EXPECT_EQ(loadedSince(mark), (Names{"b.asf", "a.wmv", "c.WMV"}))
        << "no sorting, no extension test";
    EXPECT_EQ(host.raises, 1);

    // Without files the window only comes forward.
    mark = host.texts(2).size();
    HandedOverFiles none;
    EXPECT_EQ(send(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&none)), 1);
    EXPECT_EQ(host.raises, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(host.texts(2).size(), mark) << "the loader was woken for nothing";
}

TEST_F(WindowProcedure, TheOpenDialogQueuesTheNamesChosenNotTheirFolderOrNothingWhenCancelled) {
    create();
    std::size_t mark = host.texts(2).size();
    EXPECT_EQ(send(WM_COMMAND, makeWParam(CMD_OPEN, 1)), 0);
    EXPECT_EQ(host.dialogs, std::vector<bool>{true});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(host.texts(2).size(), mark) << "a cancelled dialog does not start the loader";

    host.dialogResult = root + std::string("/v\0b.wmv\0a.wmv\0sub/c.wmv\0\0", 27);
    send(WM_COMMAND, makeWParam(CMD_OPEN, 0));
    EXPECT_EQ(loadedSince(mark), (Names{"b.wmv", "a.wmv"}));
}

TEST_F(WindowProcedure, GuardedCommandsNeedACurrentDocumentThatIsReady) {
    create();
    const UINT guarded[] = {CMD_SAVE_AS, CMD_SAVE_NUMBERED, CMD_CLOSE, CMD_SEND_BACK, CMD_UNDO};
    for (UINT command : guarded) {
        EXPECT_EQ(send(WM_COMMAND, makeWParam(static_cast<int>(command), 1)), 0);
    }
    thumbs::ThumbDocument* loading = showDocument(5, false);
    for (UINT command : guarded) {
        send(WM_COMMAND, makeWParam(static_cast<int>(command), 1));
    }
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_EQ(theController->currentDocument.load(), loading);
    EXPECT_EQ(loading->nextSaveNumber, 1);
    EXPECT_EQ(host.invalidations(), 0);
    EXPECT_EQ(cutListFiles(), 0u);

    loading->ready = true;
    send(WM_COMMAND, makeWParam(CMD_SAVE_AS, 0));  // the dialog is cancelled
    EXPECT_EQ(host.dialogs, std::vector<bool>{false});
    EXPECT_EQ(host.dialogFolders, Names{root}) << "the save dialog starts beside the source";
    EXPECT_EQ(cutListFiles(), 0u) << "a cancelled save queues nothing";
    EXPECT_EQ(theStatusBar->cutPendingCount, 0);

    send(WM_COMMAND, makeWParam(CMD_CLOSE, 1));
    EXPECT_EQ(theController->currentDocument.load(), nullptr);
    EXPECT_EQ(host.invalidations(), 1);

    EXPECT_EQ(send(WM_COMMAND, makeWParam(CMD_EXIT, 0)), 0);
    EXPECT_EQ(host.destroys, 1);
    send(WM_COMMAND, makeWParam(32785, 0));
    EXPECT_EQ(host.defaultHandled, std::vector<UINT>{WM_COMMAND}) << "an id without an item";
}

TEST_F(WindowProcedure, UndoPutsBackTheLastDeleteOfAReadyDocument) {
    create();
    thumbs::ThumbDocument* document = showDocument(5, false);
    send(WM_KEYDOWN, thumbs::ThumbDocument::kKeyRight, 1);
    send(WM_KEYDOWN, thumbs::ThumbDocument::kKeyDelete, 1);
    ASSERT_EQ(document->frameStarts.size(), 4u);
    send(WM_COMMAND, makeWParam(CMD_UNDO, 1));
    EXPECT_EQ(document->frameStarts.size(), 4u) << "still loading: nothing to undo yet";

    document->ready = true;
    host.clearViewCalls();
    EXPECT_EQ(send(WM_COMMAND, makeWParam(CMD_UNDO, 1)), 0);
    ASSERT_EQ(document->frameStarts.size(), 5u);
    EXPECT_EQ(document->frameStarts[1], 10'000'000u);
    EXPECT_EQ(document->cursor, 1);
    EXPECT_EQ(host.invalidations(), 1);
    send(WM_COMMAND, makeWParam(CMD_UNDO, 0));
    EXPECT_EQ(document->frameStarts.size(), 5u);
    EXPECT_TRUE(host.defaultHandled.empty());
}

TEST_F(WindowProcedure, InputReachesTheCurrentDocumentReadyOrNotWithItsValues) {
    // Without a document every input is dropped, and none goes to the system.
    const UINT routed[] = {WM_KEYDOWN,   WM_MOUSEMOVE, WM_LBUTTONDOWN,
                           WM_LBUTTONUP, WM_VSCROLL,   WM_MOUSEWHEEL};
    for (UINT message : routed) {
        EXPECT_EQ(send(message, 0x27, at(10, 10)), 0);
    }
    EXPECT_TRUE(host.defaultHandled.empty());

    thumbs::ThumbDocument* document = showDocument(20, false);
    // Shift is read from the keyboard when the key is handled, not from the message.
    host.shiftState = static_cast<std::int16_t>(-0x8000);
    send(WM_KEYDOWN, thumbs::ThumbDocument::kKeyShift, 1);
    send(WM_KEYDOWN, thumbs::ThumbDocument::kKeyRight, 1);
    EXPECT_EQ(document->cursor, 1);
    EXPECT_EQ(document->selectionAnchor, 0);
    EXPECT_EQ(document->selectionEnd, 1);
    host.shiftState = 0;
    send(WM_KEYDOWN, thumbs::ThumbDocument::kKeyRight, 1);
    EXPECT_EQ(document->cursor, 2);
    EXPECT_EQ(document->selectionEnd, -1);

    // Click on frame 2, Shift+click on frame 5: the Shift flag reaches both handlers, so the
    // release elsewhere changes nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, at(330, 10));
    send(WM_LBUTTONUP, 0, at(330, 10));
    send(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(170, 130));
    send(WM_LBUTTONUP, MK_SHIFT, at(490, 130));
    EXPECT_EQ(document->selectionAnchor, 2);
    EXPECT_EQ(document->selectionEnd, 5);
    EXPECT_EQ(document->cursor, 5);

    // A move drags only with the left button held.
    send(WM_MOUSEMOVE, 0, at(10, 250));
    EXPECT_EQ(document->cursor, 5);
    send(WM_MOUSEMOVE, MK_LBUTTON, at(490, 130));
    EXPECT_EQ(document->cursor, 7);
    EXPECT_EQ(document->selectionEnd, 7);

    // Coordinates are signed words: left of the window is column 0, not a huge one.
    send(WM_LBUTTONDOWN, MK_LBUTTON, at(-20, 250));
    EXPECT_EQ(document->cursor, 8);

    send(WM_MOUSEWHEEL, makeWParam(0, -WHEEL_DELTA), at(100, 100));
    EXPECT_EQ(document->topRow, 1) << "a notch towards the user scrolls down";
    send(WM_MOUSEWHEEL, makeWParam(0, WHEEL_DELTA), at(100, 100));
    EXPECT_EQ(document->topRow, 0);

    document->ready = true;  // the scroll bar acts on ready documents only
    send(WM_VSCROLL, makeWParam(SB_PAGEDOWN, 0));
    EXPECT_EQ(document->topRow, 2);
    send(WM_VSCROLL, makeWParam(SB_THUMBPOSITION, 1));
    EXPECT_EQ(document->topRow, 1);
    send(WM_VSCROLL, makeWParam(SB_THUMBTRACK, 0));
    EXPECT_EQ(document->topRow, 0) << "the grid follows a dragged thumb";
    EXPECT_TRUE(host.defaultHandled.empty());
}

TEST_F(WindowProcedure, PaintsTheCurrentDocumentIntoTheContextOfThePaint) {
    platform::RasterPaintContext context(640, 480);
    host.paintContext = &context;
    send(WM_PAINT);
    EXPECT_EQ(host.endPaints, 1) << "a paint without a document still ends";
    EXPECT_EQ(context.pixel(80, 60), 0xFFFFFFu);

    thumbs::ThumbDocument* document = showDocument(0, true);
    std::vector<std::uint8_t> record(platform::Bitmap::kRecordBytes, 0x40);
    document->appendFrame(0, 1, platform::Bitmap::create(record.data()), 0);
    send(WM_PAINT);
    EXPECT_EQ(host.endPaints, 2);
    EXPECT_EQ(context.pixel(80, 60), 0x404040u);
}

}  // namespace
