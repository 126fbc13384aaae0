#include "shell/file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QLayout>

#include <vector>

#include "shell/file_chooser.h"
#include "shell/file_intake.h"

namespace shell {

namespace {

void setUpCommon(QFileDialog& dialog, const std::string& folder) {
    // The filter's text is shown as it stands; the patterns Qt reads follow it, hidden.
    dialog.setNameFilter(QString::fromLatin1(kFileTypeText) + QStringLiteral(" (*.wmv *.asf)"));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (!folder.empty()) {
        dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(folder)));
    }
}

// The toolkit makes no widgets of its own for a dialog the desktop shows (a platform theme's,
// or the portal's).
bool isDesktopDialog(const QFileDialog& dialog) {
    return dialog.layout() == nullptr;
}

std::string run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) {
        return "";
    }
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles()) {
        paths.push_back(pathOnDisk(file));
    }
    return dialogResult(paths);
}

std::string run(FileChooser& chooser) {
    return chooser.exec() == QDialog::Accepted ? dialogResult(chooser.chosen()) : "";
}

}  // namespace

std::string pathOnDisk(const QString& path) {
    return pathInFolder("", path);
}

std::string runOpenDialog(QWidget* parent, const std::string& folder) {
    QFileDialog dialog(parent);
    setUpCommon(dialog, folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (isDesktopDialog(dialog)) {
        return run(dialog);
    }
    FileChooser chooser(FileChooser::Mode::Open, parent, folder);
    return run(chooser);
}

std::string runSaveDialog(QWidget* parent, const std::string& folder) {
    QFileDialog dialog(parent);
    setUpCommon(dialog, folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDefaultSuffix(QStringLiteral("wmv"));
    if (isDesktopDialog(dialog)) {
        return run(dialog);
    }
    FileChooser chooser(FileChooser::Mode::Save, parent, folder);
    return run(chooser);
}

}  // namespace shell
