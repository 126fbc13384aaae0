#pragma once

// How file names reach the Controller from the open dialog and from a drop.

#include <string>
#include <vector>

namespace shell {

// A dialog's result for the files chosen: nothing for none, the path and a zero byte for one,
// else the directory of the first file and the bare names of those in it, each followed by a
// zero byte (files elsewhere keep their full path). One more zero byte ends the list.
std::string dialogResult(const std::vector<std::string>& chosenPaths);

// The files an open dialog's result names, in its order: its only string as it is (the full path
// of a single file), or the first string (the directory of several) joined with each later string
// by one "/". Later strings holding a "/" are passed over. Nothing for an empty result.
std::vector<std::string> openDialogPaths(const std::string& result);

// The text of a save dialog's result: its first string.
std::string saveDialogPath(const std::string& result);

// The dropped paths that end exactly in ".wmv" or ".asf" (byte for byte, so ".WMV" does not),
// sorted by unsigned byte comparison of the whole path. Paths are never cut.
std::vector<std::string> acceptedDroppedPaths(const std::vector<std::string>& dropped);

// The local files of a drop's "text/uri-list" (RFC 2483): one URI a line, "#" lines are comments.
// Only "file:" URIs of this machine count ("file:///p", "file://localhost/p", "file:/p", or the
// machine's own host name); their percent escapes are decoded to the bytes they stand for, so a
// name that is not UTF-8 comes back as it is on disk.
std::vector<std::string> localPathsFromUriList(const std::string& uriList);

}  // namespace shell
