#pragma once

// An ASF file opened for a reader: the parsed file with the profile and header data readers
// show, and the mapping from container failures to runtime codes.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "asf/file.h"
#include "asf/sample.h"
#include "media/header_data.h"
#include "media/profile.h"

namespace media {

struct SourceFile {
    std::unique_ptr<asf::File> file;
    std::shared_ptr<const ProfileData> profile;
    HeaderData header;

    // The stream's description in the file, or nullptr.
    const asf::Stream* stream(WORD number) const;
    // The sample's media time and duration (100-ns units): the duration from its Sample
    // Duration extension, else from the audio byte rate, else the video frame time (when it is
    // a believable one).
    QWORD sampleTime(const asf::Sample& sample) const;
    QWORD sampleDuration(const asf::Sample& sample) const;
    // Where the samples of all streams end (media time): the latest time plus duration among
    // them. Read from the packets of the last seconds of sending, which hold the samples played
    // last (a packet is sent at most the preroll before its samples play; a few seconds more
    // are read for encoders that stretch that). 0 without samples.
    QWORD samplesEnd() const;
    // Where reading may start so that every sample playing at `time` or later is read. A first
    // guess: packets are sent in order, most of them at most the preroll (and a few seconds more)
    // before their samples play. Then, backwards from the guess, every stream of `streams` is
    // looked for until a payload of it plays clearly before `time`: a stream's objects are sent in
    // the order they play, give or take reordered frames, so nothing of that stream sent earlier
    // plays at `time` or later. Each packet on the way with a payload of a stream not settled yet
    // that plays at `time` or later moves the start back to it. A stream that is never met has
    // nothing before the start. So a file that sends a stream further ahead than the guess allows
    // is read from earlier, never cut short. 0 when a packet on the way cannot be read whole.
    std::uint64_t firstPacketFor(QWORD time, const std::set<std::uint8_t>& streams) const;
};

// The runtime code for a container status.
HRESULT hresultFromStatus(asf::Status status);

// Opens and describes a file. Protected (DRM) content is refused with NS_E_DRM_NO_RIGHTS.
HRESULT openSourceFile(const std::u16string& path, SourceFile& out);

// The times of `stream`'s clean points from `from` on (a few earlier ones may come too), in the
// order the file sends them, up to and including the first at or after `until`; the reading
// starts at firstPacketFor(from), so no clean point at `from` or later is missed. It also ends
// at the first sample of the stream timed after `past` (give or take the frames a codec
// reorders, every clean point up to `past` has been met by then). S_FALSE when the list
// stopped early, S_OK when it reached the end of the file.
HRESULT readCleanPoints(const std::u16string& path, WORD stream, QWORD from, QWORD until,
                        std::vector<QWORD>& times, QWORD past = UINT64_MAX);

// Opens the file and gives samplesEnd(), and in *cutShort whether the file holds fewer packets
// than its Data Object declares (it was cut short before it was opened).
HRESULT readSamplesEnd(const std::u16string& path, QWORD& end, bool* cutShort = nullptr);

// Where the last key frame's stretch of a file ends: the later of its header's `duration` and
// `samplesEnd`, as some headers say less than the file holds; for a file cut short before it
// was opened, `samplesEnd`, as nothing past what is there can be kept.
QWORD lastStretchEnd(QWORD duration, QWORD samplesEnd, bool cutShort);

}  // namespace media
