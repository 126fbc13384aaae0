#include "shell/file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include <filesystem>
#include <system_error>
#include <vector>

#include "shell/file_intake.h"

namespace shell {

namespace {

// The filter's text is shown as it stands; the patterns Qt reads follow it, hidden.
const char* const kFilter = "WMV files(*.wmv;*.asf) (*.wmv *.asf)";

void setUpCommon(QFileDialog& dialog) {
    dialog.setNameFilter(QString::fromLatin1(kFilter));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
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

}  // namespace

std::string pathOnDisk(const QString& path) {
    std::string encoded = QFile::encodeName(path).toStdString();
    std::error_code error;
    if (std::filesystem::symlink_status(encoded, error).type() !=
        std::filesystem::file_type::not_found) {
        return encoded;
    }
    QFileInfo info(path);
    QString name = info.fileName();
    if (name.isEmpty() || info.path() == path) {
        return encoded;
    }
    std::string folder = pathOnDisk(info.path());
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string raw = entry.path().filename().native();
        if (QFile::decodeName(QByteArray::fromStdString(raw)) == name) {
            if (!found.empty()) {
                return encoded;  // two names read alike: neither is the one
            }
            found = raw;
        }
    }
    std::string separator = folder.empty() || folder.back() == '/' ? "" : "/";
    return folder + separator + (found.empty() ? QFile::encodeName(name).toStdString() : found);
}

void setUpOpenDialog(QFileDialog& dialog) {
    setUpCommon(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
}

void setUpSaveDialog(QFileDialog& dialog) {
    setUpCommon(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDefaultSuffix(QStringLiteral("wmv"));
}

std::string runOpenDialog(QWidget* parent) {
    QFileDialog dialog(parent);
    setUpOpenDialog(dialog);
    return run(dialog);
}

std::string runSaveDialog(QWidget* parent) {
    QFileDialog dialog(parent);
    setUpSaveDialog(dialog);
    return run(dialog);
}

}  // namespace shell
