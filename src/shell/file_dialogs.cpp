#include "shell/file_dialogs.h"

#include <QFile>
#include <QFileDialog>

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
        paths.push_back(QFile::encodeName(file).toStdString());
    }
    return dialogResult(paths);
}

}  // namespace

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
