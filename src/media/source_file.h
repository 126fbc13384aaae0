#pragma once

// An ASF file opened for a reader: the parsed file with the profile and header data readers
// show, and the mapping from container failures to runtime codes.

#include <memory>
#include <string>

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
    // Duration extension, else from the audio byte rate, else the video frame time.
    QWORD sampleTime(const asf::Sample& sample) const;
    QWORD sampleDuration(const asf::Sample& sample) const;
    // Where the samples of all streams end (media time): the latest time plus duration among
    // them. Read from the packets of the last seconds of sending, which hold the samples played
    // last (a packet is sent at most the preroll before its samples play; a few seconds more
    // are read for encoders that stretch that). 0 without samples.
    QWORD samplesEnd() const;
};

// The runtime code for a container status.
HRESULT hresultFromStatus(asf::Status status);

// Opens and describes a file. Protected (DRM) content is refused with NS_E_DRM_NO_RIGHTS.
HRESULT openSourceFile(const std::u16string& path, SourceFile& out);

// Opens the file and gives samplesEnd(), and in *cutShort whether the file holds fewer packets
// than its Data Object declares (it was cut short before it was opened).
HRESULT readSamplesEnd(const std::u16string& path, QWORD& end, bool* cutShort = nullptr);

// Where the last key frame's stretch of a file ends: the later of its header's `duration` and
// `samplesEnd`, as some headers say less than the file holds; for a file cut short before it
// was opened, `samplesEnd`, as nothing past what is there can be kept.
QWORD lastStretchEnd(QWORD duration, QWORD samplesEnd, bool cutShort);

}  // namespace media
