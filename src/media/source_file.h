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
};

// The runtime code for a container status.
HRESULT hresultFromStatus(asf::Status status);

// Opens and describes a file. Protected (DRM) content is refused with NS_E_DRM_NO_RIGHTS.
HRESULT openSourceFile(const std::u16string& path, SourceFile& out);

}  // namespace media
