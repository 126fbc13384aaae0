#pragma once

// The open and save dialogs, with their results in the form the window procedure reads (see
// WindowHost::chooseFile). Both offer the one filter "WMV files(*.wmv;*.asf)" and propose no
// name.

#include <string>

class QFileDialog;
class QWidget;

namespace shell {

// Several existing files at once.
std::string runOpenDialog(QWidget* parent);
// One file, new or existing; replacing an existing file is asked first, and a name typed
// without an extension gets ".wmv".
std::string runSaveDialog(QWidget* parent);

// The dialogs as the two functions above set them up, for running them.
void setUpOpenDialog(QFileDialog& dialog);
void setUpSaveDialog(QFileDialog& dialog);

}  // namespace shell
