#pragma once

// splicor-cli: the media engine from a terminal. Listings go to standard output in the formats
// documented with each command; errors go to standard error with the failure in words, and the
// exit status is 0 only on success.

#include <iosfwd>
#include <string>

namespace cli {

int run(int argc, char** argv);

// Each command writes its listing to `out` and returns the exit status.
int infoCommand(const std::string& path, std::ostream& out);
// One line per key frame of the video stream a thumbnail document would pick (the last video
// stream in profile order): its media time in 100-ns units.
int keyframesCommand(const std::string& path, std::ostream& out);
// One line per compressed sample of every stream, in delivery order:
// "stream time duration cleanpoint size md5".
int packetsCommand(const std::string& path, std::ostream& out);
// Extracts the thumbnails as a document does, into a temporary thumbnail directory that is
// removed afterwards, and writes them to pngPath as a contact sheet: rows of ten 160 x 120
// cells in key-frame order, each pixel as the thumbnail record holds it. Lists
// "N thumbnails" on success.
int thumbsCommand(const std::string& path, const std::string& pngPath, std::ostream& out);

}  // namespace cli
