#pragma once

// The open and save dialogs, with their results in the form the window procedure reads (see
// WindowHost::chooseFile). Both offer the one filter "WMV files(*.wmv;*.asf)" and propose no
// name. Where the desktop shows file dialogs of its own (a platform theme, the portal) those are
// used; elsewhere the program's own FileChooser, which lists every name on disk, where the
// toolkit's dialog leaves out names that are not UTF-8.

#include <string>

class QString;
class QWidget;

namespace shell {

// Several existing files at once. Both show `folder` (bytes on disk) first; when it is empty
// or cannot be listed, the folder the last dialog chose from.
std::string runOpenDialog(QWidget* parent, const std::string& folder);
// One file, new or existing; replacing an existing file is asked first, and a name typed
// without an extension gets ".wmv".
std::string runSaveDialog(QWidget* parent, const std::string& folder);

// The bytes of a path the toolkit gives. The toolkit reads file names as UTF-8 and shows a byte
// that is not UTF-8 as U+FFFD, which does not encode back to that byte: such a name, or folder,
// is looked up among its folder's entries by how the toolkit reads them. A new name (the save
// dialog's) keeps its UTF-8 bytes, in its folder as it is on disk; so does a name that reads
// like two names on disk, which is neither of them.
std::string pathOnDisk(const QString& path);

}  // namespace shell
