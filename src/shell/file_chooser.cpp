#include "shell/file_chooser.h"

#include <QCollator>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace shell {

namespace {

constexpr int kBytesRole = Qt::UserRole;       // QByteArray: the entry's name on disk
constexpr int kFolderRole = Qt::UserRole + 1;  // bool: the entry is a folder

// The folder the last dialog chose from; the next one starts there, as the toolkit's does.
std::string& lastFolder() {
    static std::string folder;
    return folder;
}

QString translated(const char* context, const char* text) {
    return QCoreApplication::translate(context, text);
}

QString shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The folder `path` is in: "/" for the root and its entries, "" for a bare name.
std::string parentOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return "";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;

Directory openDirectory(const std::string& folder) {
    return Directory(opendir(folder.empty() ? "." : folder.c_str()), closedir);
}

bool isFolder(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

bool isMediaName(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".wmv" || extension == ".asf";
}

struct Entry {
    std::string name;  // as on disk
    QString shownName;
    bool folder;
    std::int64_t size;
    std::int64_t modified;  // seconds since the epoch
};

// The folder's subfolders and media files, hidden ones left out, as the toolkit's dialog lists
// them: a link counts as what it leads to, and one that leads nowhere is left out. False when
// the folder cannot be read.
bool readFolder(const std::string& folder, std::vector<Entry>& entries) {
    Directory directory = openDirectory(folder);
    if (!directory) {
        return false;
    }
    while (const dirent* entry = readdir(directory.get())) {
        std::string name = entry->d_name;
        struct stat status;
        if (name[0] == '.' || fstatat(dirfd(directory.get()), entry->d_name, &status, 0) != 0) {
            continue;
        }
        bool folderEntry = S_ISDIR(status.st_mode);
        if (folderEntry || (S_ISREG(status.st_mode) && isMediaName(name))) {
            entries.push_back({name, shown(name), folderEntry, status.st_size, status.st_mtime});
        }
    }
    return true;
}

}  // namespace

std::string nameInFolder(const std::string& folder, const QString& name) {
    std::string encoded = QFile::encodeName(name).toStdString();
    if (exists(joined(folder.empty() ? "." : folder, encoded))) {
        return encoded;
    }
    Directory directory = openDirectory(folder);
    std::string found;
    const dirent* entry = nullptr;
    while (directory && (entry = readdir(directory.get())) != nullptr) {
        if (shown(entry->d_name) == name) {
            if (!found.empty()) {
                return encoded;  // two names read alike: neither is the one
            }
            found = entry->d_name;
        }
    }
    return found.empty() ? encoded : found;
}

std::string pathInFolder(const std::string& folder, const QString& path) {
    std::string result = path.startsWith(QLatin1Char('/')) ? "/" : folder;
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String("..")) {
            result = parentOf(result);
        } else if (name != QLatin1String(".")) {
            result = joined(result, nameInFolder(result, name));
        }
    }
    return result;
}

FileChooser::FileChooser(Mode mode, QWidget* parent, const std::string& folder)
    : QDialog(parent), mode_(mode) {
    const bool open = mode == Mode::Open;
    setWindowTitle(translated("QFileDialog", open ? "Open" : "Save As"));
    // Made in the order the Tab key visits them, the name field's neighbour being the list.
    lookIn_ = new QComboBox(this);
    auto* up = new QToolButton(this);
    up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up->setToolTip(translated("QFileDialog", "Parent Directory"));
    up->setAutoRaise(true);
    list_ = new QTreeWidget(this);
    list_->setHeaderLabels({translated("QFileSystemModel", "Name"),
                            translated("QFileSystemModel", "Size"),
                            translated("QFileSystemModel", "Date Modified")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(open ? QAbstractItemView::ExtendedSelection
                                 : QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    nameEdit_ = new QLineEdit(this);
    auto* types = new QComboBox(this);
    types->addItem(QString::fromLatin1(kFileTypeText));
    const auto acceptRole = open ? QDialogButtonBox::Open : QDialogButtonBox::Save;
    auto* buttons = new QDialogButtonBox(acceptRole | QDialogButtonBox::Cancel, Qt::Vertical, this);
    buttons->button(acceptRole)->setText(translated("QFileDialog", open ? "&Open" : "&Save"));
    buttons->button(acceptRole)->setDefault(true);

    auto* grid = new QGridLayout(this);
    auto label = [this](const char* text, QWidget* buddy) {
        auto* widget = new QLabel(translated("QFileDialog", text), this);
        widget->setBuddy(buddy);
        return widget;
    };
    grid->addWidget(label("Look in:", lookIn_), 0, 0);
    grid->addWidget(lookIn_, 0, 1);
    grid->addWidget(up, 0, 2);
    grid->addWidget(list_, 1, 0, 1, 3);
    grid->addWidget(label("File &name:", nameEdit_), 2, 0);
    grid->addWidget(nameEdit_, 2, 1);
    grid->addWidget(label("Files of type:", types), 3, 0);
    grid->addWidget(types, 3, 1);
    grid->addWidget(buttons, 2, 2, 2, 1);
    grid->setColumnStretch(1, 1);

    connect(lookIn_, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { setFolder(lookIn_->itemData(index).toByteArray().toStdString()); });
    connect(up, &QToolButton::clicked, this, [this] { setFolder(parentOf(folder_)); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { selectionChanged(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, kFolderRole).toBool()) {
            setFolder(joined(folder_, item->data(0, kBytesRole).toByteArray().toStdString()));
        } else {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &FileChooser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FileChooser::reject);

    char* workingFolder = getcwd(nullptr, 0);
    if (!setFolder(folder) && !setFolder(lastFolder()) &&
        !(workingFolder && setFolder(workingFolder))) {
        setFolder("/");
    }
    std::free(workingFolder);
    nameEdit_->setFocus();
    resize(640, 400);
}

bool FileChooser::setFolder(const std::string& folder) {
    std::string clean = std::filesystem::path(folder).lexically_normal().native();
    while (clean.size() > 1 && clean.back() == '/') {
        clean.pop_back();
    }
    std::vector<Entry> entries;
    if (clean.empty() || clean[0] != '/' || !readFolder(clean, entries)) {
        return false;
    }
    folder_ = clean;
    // Folders first, then by name as people read it: "take2" before "take10".
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(entries.begin(), entries.end(), [&collator](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) {
            return a.folder;
        }
        int order = collator.compare(a.shownName, b.shownName);
        return order != 0 ? order < 0 : a.name < b.name;
    });

    QFileIconProvider icons;
    const QIcon folderIcon = icons.icon(QAbstractFileIconProvider::Folder);
    const QIcon fileIcon = icons.icon(QAbstractFileIconProvider::File);
    const QLocale locale;
    list_->clear();
    for (const Entry& entry : entries) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, entry.shownName);
        item->setIcon(0, entry.folder ? folderIcon : fileIcon);
        item->setData(0, kBytesRole, QByteArray::fromStdString(entry.name));
        item->setData(0, kFolderRole, entry.folder);
        if (!entry.folder) {
            item->setText(1, locale.formattedDataSize(entry.size));
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        }
        item->setText(2, locale.toString(QDateTime::fromSecsSinceEpoch(entry.modified),
                                         QLocale::ShortFormat));
    }
    lookIn_->clear();
    for (std::string path = folder_;; path = parentOf(path)) {
        lookIn_->addItem(folderIcon, shown(path), QByteArray::fromStdString(path));
        if (path == "/") {
            break;
        }
    }
    return true;
}

void FileChooser::selectionChanged() {
    QStringList names;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->isSelected() && !item->data(0, kFolderRole).toBool()) {
            names.push_back(item->text(0));
        }
    }
    // Several names are quoted, as the toolkit's dialog writes them. A name the user typed
    // stays until files are selected.
    QString text = names.size() == 1 ? names.front()
                   : names.isEmpty()
                       ? QString()
                       : QLatin1Char('"') + names.join(QStringLiteral("\" \"")) + QLatin1Char('"');
    if (!names.isEmpty() || nameEdit_->text() == selectionText_) {
        nameEdit_->setText(text);
    }
    selectionText_ = text;
}

std::vector<std::string> FileChooser::typedPaths() const {
    QString text = nameEdit_->text();
    QStringList names;
    if (text.startsWith(QLatin1Char('"'))) {
        QStringList parts = text.split(QLatin1Char('"'));
        for (int i = 1; i < parts.size(); i += 2) {
            if (!parts[i].isEmpty()) {
                names.push_back(parts[i]);
            }
        }
    } else {
        names.push_back(text);
    }
    std::vector<std::string> paths;
    for (QString name : names) {
        if (name == QLatin1String("~") || name.startsWith(QLatin1String("~/"))) {
            name = QDir::homePath() + name.mid(1);
        }
        paths.push_back(pathInFolder(folder_, name));
    }
    return paths;
}

void FileChooser::accept() {
    const QString text = nameEdit_->text();
    if (!text.trimmed().isEmpty() && text != selectionText_) {
        choose(typedPaths());
        return;
    }
    // What is selected: its files, else the first folder, which is entered.
    std::vector<std::string> files;
    std::string folder;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (!item->isSelected()) {
            continue;
        }
        std::string path = joined(folder_, item->data(0, kBytesRole).toByteArray().toStdString());
        if (!item->data(0, kFolderRole).toBool()) {
            files.push_back(path);
        } else if (folder.empty()) {
            folder = path;
        }
    }
    if (files.empty() && !folder.empty()) {
        setFolder(folder);
        return;
    }
    choose(std::move(files));
}

bool FileChooser::choose(std::vector<std::string> paths) {
    if (paths.empty()) {
        return false;
    }
    if (mode_ == Mode::Save) {
        paths.resize(1);
        std::string& path = paths.front();
        if (!isFolder(path) && platform::fileNamePart(path).find('.') == std::string::npos) {
            path += ".wmv";
        }
    }
    for (const std::string& path : paths) {
        if (isFolder(path)) {
            if (setFolder(path)) {
                nameEdit_->clear();
            }
            return false;
        }
        if (mode_ == Mode::Open && !exists(path)) {
            QMessageBox::warning(
                this, windowTitle(),
                translated("QFileDialog",
                           "%1\nFile not found.\nPlease verify the correct file name was given.")
                    .arg(shown(platform::fileNamePart(path))));
            return false;
        }
    }
    const std::string& first = paths.front();
    if (mode_ == Mode::Save && exists(first) &&
        QMessageBox::warning(
            this, windowTitle(),
            translated("QFileDialog", "%1 already exists.\nDo you want to replace it?")
                .arg(shown(platform::fileNamePart(first))),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
        return false;
    }
    chosen_ = std::move(paths);
    lastFolder() = folder_;
    QDialog::accept();
    return true;
}

}  // namespace shell
