#pragma once

// What a reader shows of an opened file: its profile and its header data, built once from the
// parsed ASF header.

#include <memory>

#include "media/header_data.h"
#include "media/profile.h"

namespace asf {
class File;
class Guid;
}  // namespace asf

namespace media {

// The runtime's GUID for a GUID as stored in a file.
GUID toRuntimeGuid(const asf::Guid& guid);

// The profile of the file's streams, in header order (visible streams, then hidden ones).
std::shared_ptr<const ProfileData> buildProfile(const asf::File& file);

// The attributes, codec descriptions, script commands and markers of the file. Besides the
// stored attributes, stream 0 carries the ones the runtime derives from the header (Duration,
// Bitrate, Seekable, Stridable, Broadcast, Is_Protected, HasAudio, HasVideo, HasImage,
// HasScript, HasArbitraryDataStream, HasFileTransferStream, FileSize); they come first.
HeaderData buildHeaderData(const asf::File& file);

// A payload time from the file (ms, including the preroll) as a media time: 100-ns units
// counted from the start of the presentation, never below zero.
QWORD mediaTime(std::uint64_t presentationMs, std::uint64_t prerollMs);

}  // namespace media
