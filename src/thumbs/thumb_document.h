#pragma once

// ThumbDocument: one queued source video. It holds the file's frames (one per key frame of the
// video stream, with its media time span and its thumbnail), the user's marks (deletions, cursor,
// selection), the view's scroll state, and the names of its two cache files in the thumbnail
// directory:
//
//   cacheBase + ".thum"       the thumbnail cache file (see cache_file.h)
//   cacheBase + "-thum.txt"   the thumbnail index file: CR LF lines holding the source path, the
//                             video stream number, the frame count N, the N frame start times and
//                             the end time of the last frame (media times, decimal)
//
// cacheBase is the thumbnail directory followed by the source's file name. Every document has
// files of its own: when a file of that name is held already (another source with the same
// file name), extraction takes the first free name of "NAME-2", "NAME-3", ...; a name too long
// for the file system with the suffixes is shortened with a hash of it (see cacheNameFor).
//
// Both files stay while the document is open, also across runs of the program: a document still
// open at exit comes back at the next start from its index file. Resetting or destroying the
// document deletes them. The index file is written whole or not at all (see
// platform/own_files.h); an index file that is not whole and well formed is set aside, renamed
// "...-thum.txt.rejected" with its cache file, and never becomes a document.
//
// Ownership and threads. The Controller owns documents and hands each from thread to thread: the
// loader thread extracts a document while no other thread can reach it; loadBitmaps runs on the
// thread that makes the document current, or on the document's preload thread while it waits in
// the ready list; the user-interface thread paints and edits the current document. No lock
// guards a document, so exactly one thread uses its tables at a time. A preload thread owns them
// from startPreload until waitForPreload (or the destructor) returns: call waitForPreload before
// a document whose preload may still run is made current or otherwise touched.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "asf/media_time.h"
#include "media/wmsdk.h"
#include "platform/bitmap.h"
#include "platform/own_files.h"
#include "platform/paint_context.h"
#include "platform/thread.h"

namespace platform {
// The main window's services; implemented by the window.
class Window;
}  // namespace platform

namespace thumbs {

class CacheFile;

using asf::MediaTime;

// A solid pen for the view's outlines.
using Pen = platform::Pen;

// The thumbnail record format as a bitmap info block: header and one (unused) colour entry.
struct BitmapInfo {
    media::BITMAPINFOHEADER bmiHeader;
    std::uint32_t bmiColors[1];
};

class ThumbDocument {
public:
    // The document of one source file. An empty path makes a document to be filled by
    // loadIndexFile. thumbnailDirectory ends in "/". window may be null (no window yet).
    ThumbDocument(std::string path, std::string thumbnailDirectory, std::int32_t width,
                  std::int32_t height, platform::Window* mainWindow);
    // Stops a running preload and waits for it, then deletes both cache files.
    ~ThumbDocument();
    ThumbDocument(const ThumbDocument&) = delete;
    ThumbDocument& operator=(const ThumbDocument&) = delete;

    // Back to an empty document: no frames, no bitmaps, no marks, numbered saves from 1; deletes
    // both cache files (a missing file is fine). Keeps cacheBase, the client size, window,
    // videoStream and backgroundOnly.
    void reset();

    std::string sourcePath() const { return sourcePath_; }
    // The names of the two cache files are cacheBase followed by these.
    static constexpr char kCacheFileSuffix[] = ".thum";
    static constexpr char kIndexFileSuffix[] = "-thum.txt";
    // What a rejected index file and its cache file get after their names.
    static constexpr char kRejectedTag[] = "rejected";
    // The name (not the path) extraction gives variant `variant` (1, 2, ...) of the cache files
    // of a source named `sourceName`; and whether `name` is one a source named `sourceName` may
    // have, in this run or an earlier one.
    static std::string cacheNameFor(const std::string& sourceName, int variant);
    static bool isCacheNameOf(const std::string& name, const std::string& sourceName);
    std::string cacheFilePath() const { return cacheBase + kCacheFileSuffix; }
    std::string indexFilePath() const { return cacheBase + kIndexFileSuffix; }

    // Appends one frame. `record` is the number of its thumbnail record in the cache file.
    void appendFrame(MediaTime start, MediaTime end, std::unique_ptr<platform::Bitmap> bitmap,
                     std::uint32_t record);
    // Puts a frame without a bitmap in at `index` (later frames move up); an index past the end
    // appends it.
    void insertFrame(std::int32_t index, MediaTime start, MediaTime end, std::uint32_t record);
    // Removes frame `index` (later frames move down) and its bitmap. The cache files keep every
    // record; the frames left keep their own record numbers. An index out of range does nothing.
    void removeFrame(std::int32_t index);
    // The time ranges a cut keeps, as a malloc'd array of (start, end) pairs and its number of
    // values (two per range); the caller frees it with free(). With a selection, the selected run
    // of frames; else every run of frames that follow each other without a gap. A document
    // without frames leaves both outputs untouched.
    void getRanges(MediaTime** ranges, std::int32_t* count) const;

    // Extraction (loader thread). Reads the key frames of the source's video stream, writes one
    // thumbnail record per key frame to the cache file and then the index file, and makes a
    // bitmap per frame unless backgroundOnly. Each frame runs to the next key frame; the last
    // one to the end of the file: the later of "Duration" and the end of the samples. Sets ready on
    // success; on failure ready stays false and the files made so far stay until the document is
    // reset or destroyed.
    void extract();
    void extractFrames(std::string path, platform::Window* mainWindow, bool noBitmaps);
    // The steps of extraction. readFirstFrame reads the video stream's first sample, gives its
    // time and stores it. storeFrame scales one decoded sample (of the picture size) into the
    // cache file's next record and, unless noBitmaps, into a bitmap that it adds to
    // createdBitmaps and hands out; it fails, writing nothing, when the sample is shorter than
    // the picture it should hold.
    media::HRESULT readFirstFrame(media::IWMSyncReader* reader, MediaTime* time,
                                  platform::Window* mainWindow,
                                  std::unique_ptr<platform::Bitmap>& bitmap, bool noBitmaps,
                                  CacheFile& cacheFile);
    media::HRESULT storeFrame(media::ComPtr<media::INSSBuffer> sample, platform::Window* mainWindow,
                              std::unique_ptr<platform::Bitmap>& bitmap, bool noBitmaps,
                              CacheFile& cacheFile);

    // Restores the frames from an index file written by extraction (on a document constructed
    // with an empty path and the thumbnail directory). False, leaving the document empty and not
    // ready, for anything else: a missing file or one that is not regular, a truncated or
    // malformed one (every line ends in CR LF, start times never go back), a count that does
    // not match the values, or an index file whose name is not one of its source file's. After
    // a failure the rejected file and its cache file are set aside (kRejectedTag).
    bool loadIndexFile(const std::string& indexPath);

    // Makes a bitmap for every frame that has none, from the cache file. With `resume`, then
    // resumes resumeThreadA and resumeThreadB whatever happened. True when every frame has a
    // bitmap at the end; false when stopped by the destructor, when the cache file cannot be
    // opened or lacks a record, or when the quota refuses a bitmap (frames loaded so far keep
    // theirs).
    bool loadBitmaps(bool resume);
    // Gives up every bitmap (they are made again from the cache file when needed). Not while a
    // preload of this document runs.
    void releaseBitmaps();
    // Starts a preload thread that runs loadBitmaps(true) and so resumes both threads when it is
    // done. Waits first for an earlier preload of this document.
    void startPreload(platform::ThreadId threadA, platform::ThreadId threadB);
    // Returns once no preload of this document runs. Called by the document's owner (the
    // thread that started the preload) before it makes the document current or touches its
    // tables; never by two threads at once.
    void waitForPreload();
    // Makes frame `index`'s bitmap from the open cache file (painting). When the quota refuses
    // it, gives up this document's oldest bitmap and tries once more. Does nothing when the file
    // is not open; the slot stays empty when both tries fail.
    void loadBitmap(platform::Window* mainWindow, std::int32_t index, const CacheFile& cacheFile);

    // Nearest-neighbour scaling of a bottom-up 24-bit picture into a bottom-up 24-bit one. The
    // source rows are padded to a multiple of 4 bytes; the destination's are not (its width is
    // 160, a multiple of 4). The source holds at least its stride times its height in bytes.
    static void scaleFrame(const std::uint8_t* source, std::uint8_t* destination,
                           std::int32_t sourceWidth, std::int32_t sourceHeight,
                           std::int32_t destinationWidth, std::int32_t destinationHeight);

    // The grid view. The document is also the view of the main window while it is current: its
    // frames in 160 x 120 cells, row by row from the top left, the cursor cell framed in red and
    // the selected cells in blue, with the window's vertical scroll bar. All run on the
    // user-interface thread, except that layout also runs on the thread that makes the document
    // current. Before the first layout (columns 0) the input handlers do nothing.
    static constexpr std::int32_t kCellWidth = 160;
    static constexpr std::int32_t kCellHeight = 120;
    // Virtual-key codes the view acts on.
    static constexpr std::uint32_t kKeyShift = 16;
    static constexpr std::uint32_t kKeyPageUp = 33;
    static constexpr std::uint32_t kKeyPageDown = 34;
    static constexpr std::uint32_t kKeyEnd = 35;
    static constexpr std::uint32_t kKeyHome = 36;
    static constexpr std::uint32_t kKeyLeft = 37;
    static constexpr std::uint32_t kKeyUp = 38;
    static constexpr std::uint32_t kKeyRight = 39;
    static constexpr std::uint32_t kKeyDown = 40;
    static constexpr std::uint32_t kKeyDelete = 46;
    // Key-state flags of mouse messages.
    static constexpr std::uint32_t kMkLButton = 0x0001;
    static constexpr std::uint32_t kMkShift = 0x0004;

    // Stores the client size (unless width is -1, which keeps the stored one), recomputes the
    // columns and sets the scroll bar.
    void layout(platform::Window* mainWindow, std::int32_t width, std::int32_t height);
    // Paints the visible cells into the context; cells whose frame has no bitmap load it from the
    // cache file.
    void paint(platform::Window* mainWindow, platform::PaintContext& context);
    // Scroll-bar request: code 0 line up, 1 line down, 2 page up, 3 page down, 4 thumb released
    // at `position`, 5 thumb dragged to `position` (the grid follows the thumb while it moves);
    // others are ignored.
    void onVScroll(platform::Window* mainWindow, std::uint32_t request, std::int16_t position);
    // One row down for a negative delta, one row up otherwise.
    void onMouseWheel(platform::Window* mainWindow, std::int16_t delta);
    // shift is the key state masked with kMkShift.
    void onLButtonDown(platform::Window* mainWindow, std::int16_t x, std::int16_t y,
                       std::uint32_t shift);
    void onLButtonUp(platform::Window* mainWindow, std::int16_t x, std::int16_t y,
                     std::uint32_t shift);
    // keyState: every key-state flag of the message (kMkLButton for a drag).
    void onMouseMove(platform::Window* mainWindow, std::int16_t x, std::int16_t y,
                     std::uint32_t keyState);
    // shiftState: the keyboard's Shift state when the key is handled; non-zero when held.
    void onKeyDown(platform::Window* mainWindow, std::uint32_t virtualKey, std::int16_t shiftState);
    // Puts back the frames the last Delete removed, at their places, with the cursor, selection
    // and scroll position from before it; their bitmaps come from the cache file when they are
    // next painted. Each call goes one Delete further back, to the frames as extracted or
    // restored. False, changing nothing, when no Delete is left to undo.
    bool undoDelete(platform::Window* mainWindow);
    bool canUndoDelete() const { return !deletions.empty(); }

    // After this, destroying the document keeps its two cache files (a document still open when
    // the program ends comes back at the next start).
    void keepFilesOnDestroy() { keepFiles_ = true; }

private:
    bool keepFiles_ = false;
    std::string thumbnailDirectory_;
    // Creates the cache file under the first free name for the source and sets cacheBase.
    bool createCacheFile(CacheFile& cacheFile);
    // Selects the last video stream for key frames only and notes its number and size.
    bool selectVideoStream(media::IWMSyncReader* reader, media::IWMProfile* profile);
    // The index file's text for the frame tables, and writing it.
    std::string indexFileText() const;
    bool writeIndexFile() const;
    bool readIndexFile(const std::string& indexPath);
    bool loadMissingBitmaps();
    void keepBitmap(std::size_t slot, std::unique_ptr<platform::Bitmap> bitmap);
    void evictOldestBitmap();
    void deleteCacheFiles() const;

    std::string sourcePath_;  // full path of the source file; empty after reset

public:
    // The thumbnail directory followed by the cache name of the source (once extraction or
    // restoring has chosen it).
    std::string cacheBase;
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    platform::Window* window = nullptr;
    // True while bitmaps are loaded: set by startPreload (before its thread exists) and by
    // loadBitmaps, cleared by loadBitmaps as its last touch of the document.
    std::atomic<bool> preloadRunning{false};
    // Set by the destructor; a running loadBitmaps stops before its next frame.
    std::atomic<bool> stopRequested{false};
    std::int32_t dragX = 0;
    std::int32_t dragY = 0;
    // Written by the loader thread before extraction: others wait to be shown, so extraction
    // writes the cache file only and makes no bitmaps.
    bool backgroundOnly = false;
    // Set by another thread to make an extraction in progress give up before its next frame
    // (ready stays false, loadResult is E_ABORT).
    std::atomic<bool> abandonExtraction{false};
    // Told how far an extraction has come, on the loader thread: the share of the file's
    // length read, 0 to 100, each time it changes. May be empty.
    std::function<void(int)> extractionProgress;
    // Why the last extraction failed (S_OK when it did not): a failure of the reader, or
    // kNoVideo for a file without a video stream.
    media::HRESULT loadResult = media::S_OK;
    static constexpr media::HRESULT kNoVideo = media::makeHresult(0xA0050002u);
    // The result for a source replaced or written to while it was read (the code the cut queue
    // gives a job whose source changed), and for a thumbnail that could not be stored.
    static constexpr media::HRESULT kSourceChanged = media::makeHresult(0xA0050001u);
    static constexpr media::HRESULT kCacheNotWritten = media::makeHresult(0xA0050003u);
    // The source file as the thumbnails were made from it (or as it was when they were
    // restored), when it could be looked at.
    std::optional<platform::FileStamp> sourceStamp;
    // The number of the next numbered save; the Controller allows 1 to 99.
    std::int32_t nextSaveNumber = 1;
    // The frame tables are complete (extracted or restored).
    bool ready = false;

    // View state (the grid view's operations use these).
    std::int32_t columns = 0;
    std::int32_t topRow = 0;
    std::int32_t cursor = 0;
    std::int32_t selectionAnchor = -1;
    std::int32_t selectionEnd = -1;
    std::int32_t anchorTopRow = 0;
    std::int32_t endTopRow = 0;
    Pen cursorPen;
    Pen selectionPen;

    // What one Delete took away: the frames removed, each with the index it had, lowest first,
    // and the marks and scroll position as they were before it.
    struct Deletion {
        struct Frame {
            std::int32_t index;
            MediaTime start;
            MediaTime end;
            std::uint32_t record;
        };
        std::vector<Frame> frames;
        std::int32_t cursor;
        std::int32_t selectionAnchor;
        std::int32_t selectionEnd;
        std::int32_t anchorTopRow;
        std::int32_t endTopRow;
        std::int32_t topRow;
    };
    // The Deletes of this document, oldest first; in memory only, emptied by reset. Only Delete
    // and undoDelete change the frame tables of a ready document, so each entry's indexes hold
    // for the tables as the later entries' undoing leaves them.
    std::vector<Deletion> deletions;

    // Every bitmap this document holds, oldest first: the order in which they are given up when
    // the quota is full. Each points at the bitmap of one slot of frameBitmaps (during
    // extraction also at the bitmap of the frame whose end is not known yet).
    std::list<platform::Bitmap*> createdBitmaps;
    // The frame tables, always of one length: frame i is (frameStarts[i], frameEnds[i]) in media
    // time, its bitmap (null when not loaded) and its record number in the cache file.
    std::vector<MediaTime> frameStarts;
    std::vector<MediaTime> frameEnds;
    std::vector<std::unique_ptr<platform::Bitmap>> frameBitmaps;
    std::vector<std::uint32_t> frameRecords;

    // Size 40 and the source video's width and height; the rest zero.
    media::BITMAPINFOHEADER videoHeader{};
    // The size of the pictures the reader hands out when it was asked for thumbnail-sized ones
    // (it then decodes them at a reduced size where it can); 0 x 0: videoHeader's.
    std::int32_t pictureWidth = 0;
    std::int32_t pictureHeight = 0;
    // The record format: 160 x 120, bottom-up, 24 bits, uncompressed.
    media::BITMAPINFOHEADER thumbHeader{};
    BitmapInfo thumbInfo{};

    platform::Thread preloadThread;
    platform::ThreadId preloadThreadId = platform::kNoThread;
    // The threads the preload resumes when it ends (the loader and the cut worker).
    platform::ThreadId resumeThreadA = platform::kNoThread;
    platform::ThreadId resumeThreadB = platform::kNoThread;
    // The video stream the thumbnails come from; cut jobs of this document carry it.
    media::WORD videoStream = 0;
};

// The preload thread's body: loadBitmaps(true) on the document.
void preloadThreadMain(ThumbDocument* document);

}  // namespace thumbs
