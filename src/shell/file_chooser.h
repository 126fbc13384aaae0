#pragma once

// The program's own open and save dialog, used where the desktop offers no dialog of its own.
//
// The toolkit's dialog lists folders through Qt, which leaves out every name that does not
// decode in the locale, so a file named "caf\xE9.wmv" cannot be chosen there. This dialog lists
// a folder with the POSIX calls and keeps each entry's bytes beside its shown name, so every
// name on disk can be chosen, and every folder entered, as it is. A byte that is not UTF-8 is
// shown as U+FFFD, as the toolkit shows it elsewhere (the title, the path fields).
//
// It looks and behaves like the toolkit's dialog, with the toolkit's own (translated) texts: the
// folder with its parents to go back to, a button to the parent folder, the folder's subfolders
// and its ".wmv" and ".asf" files (hidden entries left out), a file name to type, the one file
// type, and Open or Save with Cancel. A name typed may be relative to the folder shown or
// absolute; a folder typed or chosen is entered. Return chooses what is selected or typed.

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace shell {

// The one file type offered, as shown.
constexpr const char* kFileTypeText = "WMV files(*.wmv;*.asf)";

class FileChooser : public QDialog {
public:
    enum class Mode {
        Open,  // several existing files
        Save,  // one file, new or existing: replacing is asked first; ".wmv" added to a bare name
    };

    // Shows `folder` (bytes on disk) first; when it is empty or cannot be listed, the folder the
    // last dialog chose from, else the working folder, else "/".
    FileChooser(Mode mode, QWidget* parent = nullptr, const std::string& folder = "");

    // The folder shown, as its bytes on disk. Fails, showing the same folder, when `folder`
    // cannot be listed.
    const std::string& folder() const { return folder_; }
    bool setFolder(const std::string& folder);

    // Once accepted, the paths chosen, as their bytes on disk, in the order of the list.
    const std::vector<std::string>& chosen() const { return chosen_; }

    QTreeWidget* list() const { return list_; }
    QLineEdit* nameEdit() const { return nameEdit_; }

    // Chooses what is typed, else what is selected; enters a folder instead.
    void accept() override;

private:
    void selectionChanged();
    // The paths a typed text names: one name, or several in double quotes.
    std::vector<std::string> typedPaths() const;
    // Ends the dialog with `paths` if they may be chosen; returns whether they are.
    bool choose(std::vector<std::string> paths);

    Mode mode_;
    std::string folder_;
    std::vector<std::string> chosen_;
    QString selectionText_;  // the name field's text as the selection last set it
    QComboBox* lookIn_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
};

// The bytes on disk of the entry of `folder` (bytes) that reads as `name`: the entry named by
// the UTF-8 bytes of `name` if there is one, else the one entry whose name reads so; else (none,
// or two reading alike) the UTF-8 bytes of `name`.
std::string nameInFolder(const std::string& folder, const QString& name);

// `path` (absolute, or relative to `folder`) with each of its names found on disk as
// nameInFolder finds them; "." stays, ".." goes up one name.
std::string pathInFolder(const std::string& folder, const QString& path);

}  // namespace shell
