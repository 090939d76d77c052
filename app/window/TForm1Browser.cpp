// The file browser of the main window: drives, folders, the workbooks of the folder, the
// current file, dropped files and paths given at start.
#include "app/window/TForm1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStorageInfo>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <type_traits>
#include <vector>

#include "app/window/TBackgroundJob.h"
#include "platform/ScreenMetrics.h"

#include "app/window/WindowSupport.h"

namespace vorlix::app {

namespace fs = std::filesystem;
using namespace window;

namespace {

// The first local .xls file among the dropped addresses, or empty.
QString DroppedWorkbook(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() &&
            url.fileName().endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
            // The path's bytes, percent-decoded: a name that is not UTF-8 survives.
            return Q(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())
                         .toStdString());
    }
    return {};
}

}  // namespace

// --- Start-up and the file browser ------------------------------------------------------

void TForm1::FormCreate() {
    if (const QScreen* s = QGuiApplication::primaryScreen())
        platform::SetScreenDpi(qRound(s->logicalDotsPerInchY()));
    FillDrives();
    ChangeDirectory(QDir::currentPath());
    PageControl1->setCurrentWidget(TabSheet1);
    for (int c = 0; c < 5; ++c)
        StringGrid1->SetCell(c, 0, QString::fromLatin1(kGridTitles[c]));
}

void TForm1::FillDrives() {
    std::map<QString, QString> volumes;  // root path -> label, in path order
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) volumes.emplace(volume.rootPath(), volume.name());
    }
    DriveComboBox1->clear();
    const QIcon drive = ThemeIcon("drive-harddisk", QStyle::SP_DriveHDIcon);
    for (const auto& [root, name] : volumes) {
        DriveComboBox1->addItem(
            drive, name.isEmpty() ? root : root + QStringLiteral("  [") + name + ']', root);
    }
    const QString home = QDir::homePath();
    DriveComboBox1->addItem(ThemeIcon("user-home", QStyle::SP_DirHomeIcon),
                            home + QStringLiteral("  [home folder]"), home);
}

// The drive is the entry whose folder holds the browser's folder most closely.
void TForm1::SelectDrive() {
    const QString folder = Q(directory_);
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < DriveComboBox1->count(); ++i) {
        const QString root = DriveComboBox1->itemData(i).toString();
        const bool holds = folder == root ||
                           folder.startsWith(root.endsWith('/') ? root : root + QLatin1Char('/'));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    DriveComboBox1->setCurrentIndex(best);
}

namespace {

// The file a current file's name stands for, resolved against the current directory; empty
// when it names none.
fs::path NamedFile(const std::string& currentFile) {
    if (currentFile.empty() || currentFile == "nil") return {};
    std::error_code error;
    const fs::path file = fs::absolute(currentFile, error).lexically_normal();
    return error ? fs::path() : file;
}

}  // namespace

bool TForm1::ChangeDirectory(const QString& folder) {
    // A bare name is resolved against the folder it was taken from, before that changes.
    const fs::path named = NamedFile(currentFile_);
    std::error_code error;
    fs::current_path(S(folder), error);
    if (error) {
        Message(QStringLiteral("Can not open the folder %1: %2")
                    .arg(folder, QString::fromLocal8Bit(error.message())));
        return false;
    }
    directory_ = fs::current_path(error).string();
    ForgetCurrentFileOutsideFolder(named);
    FillDirectoryList();
    FillFileList();
    SelectDrive();
    WatchDirectory();
    return true;
}

// Commands act on the current file, and the folder commands on its folder: a name left from
// another folder would make them read the workbook of that folder, or one of the same name
// here. A file of this folder that is gone is forgotten too. The fields that show its name
// are cleared; a name typed over them since stays.
void TForm1::ForgetCurrentFileOutsideFolder() {
    ForgetCurrentFileOutsideFolder(NamedFile(currentFile_));
}

void TForm1::ForgetCurrentFileOutsideFolder(const fs::path& named) {
    if (named.empty()) return;
    std::error_code error;
    const bool here = fs::equivalent(named.parent_path(), directory_, error);
    if (here && fs::exists(named, error)) return;
    const QString name = Q(named.filename().string());
    currentFile_.clear();
    if (Edit7->text() == Q(OutputNameFor(S(name), FileKind()))) Edit7->clear();
    if (Edit8->text() == name) Edit8->clear();
}

// The file list follows files added, removed or renamed in the folder it shows.
void TForm1::WatchDirectory() {
    refreshTimer_->stop();
    if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    watcher_->addPath(Q(directory_));
}

// The folder's ancestors from the root down, the folder itself, then its subfolders (hidden
// ones left out), each one level deeper than the one before.
void TForm1::FillDirectoryList() {
    DirectoryListBox1->clear();
    QTreeWidgetItem* parent = nullptr;
    const QIcon open = ThemeIcon("folder-open", QStyle::SP_DirOpenIcon);
    for (const fs::path& path : FolderAncestors(directory_)) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, Q(path == path.root_path() ? path.string() : path.filename().string()));
        item->setData(0, kPathRole, Q(path.string()));
        item->setToolTip(0, Q(path.string()));
        item->setIcon(0, open);
        if (parent) {
            parent->addChild(item);
        } else {
            DirectoryListBox1->addTopLevelItem(item);
        }
        parent = item;
    }
    if (!parent) return;

    const QIcon closed = ThemeIcon("folder", QStyle::SP_DirIcon);
    for (const fs::path& sub : ListSubfolders(directory_)) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, Q(sub.filename().string()));
        item->setData(0, kPathRole, Q(sub.string()));
        item->setToolTip(0, Q(sub.string()));
        item->setIcon(0, closed);
    }
    DirectoryListBox1->expandAll();
    DirectoryListBox1->setCurrentItem(parent);
    DirectoryListBox1->scrollToItem(parent);
}

void TForm1::FillFileList(bool keepSelection) {
    const QListWidgetItem* current = FileListBox1->currentItem();
    const QString selected = keepSelection && current ? current->text() : QString();
    FileListBox1->clear();
    try {
        for (const fs::path& file : ListVisibleWorkbooks(directory_)) {
            const QString name = Q(file.filename().string());
            auto* item = new QListWidgetItem(name, FileListBox1);
            item->setToolTip(name);
            if (name == selected) FileListBox1->setCurrentItem(item);
        }
    } catch (const std::exception&) {
        // An unreadable folder lists no workbooks.
    }
}

void TForm1::SelectFirstFileIfNone() {
    if (FileListBox1->currentRow() < 0 && FileListBox1->count() > 0) FileListBox1->setCurrentRow(0);
}

std::string TForm1::SelectedFile() const {
    const QListWidgetItem* item = FileListBox1->currentItem();
    return item ? (fs::path(directory_) / S(item->text())).string() : std::string();
}

void TForm1::DriveComboBox1Change() {
    const QString root = DriveComboBox1->currentData().toString();
    if (!root.isEmpty() && !ChangeDirectory(root)) SelectDrive();
}

void TForm1::DirectoryListBox1Change() {
    if (const QTreeWidgetItem* item = DirectoryListBox1->currentItem())
        ChangeDirectory(item->data(0, kPathRole).toString());
}

void TForm1::FileListBox1Click() {
    if (Busy() || PageControl1->currentWidget() == TabSheet1) return;
    const QListWidgetItem* item = FileListBox1->currentItem();
    if (!item) return;
    Edit8->setText(item->text());
    currentFile_ = S(Edit8->text());
}

void TForm1::FileListBox1DblClick() {
    if (Busy()) return;
    PageControl1->setCurrentWidget(TabSheet1);
    Edit8->setText(Q(BareName(currentFile_)));
    BitBtn1Click();
}

void TForm1::Edit8Change() {
    const QString text = Edit8->text();
    Edit4->setText(text);
    if (!text.isEmpty()) Edit7->setText(Q(OutputNameFor(S(text), FileKind())));
}

void TForm1::OpenDroppedFile(const QString& file) {
    if (Busy()) return;
    std::error_code error;
    const fs::path path = fs::absolute(S(file), error);
    if (error || !ChangeDirectory(Q(path.parent_path().string()))) return;
    PageControl1->setCurrentWidget(TabSheet1);
    const QString name = Q(path.filename().string());
    const QList<QListWidgetItem*> listed = FileListBox1->findItems(name, Qt::MatchExactly);
    if (!listed.isEmpty()) {
        FileListBox1->setCurrentItem(listed.first());
        BitBtn1Click();
        return;
    }
    currentFile_ = path.string();
    Edit8->setText(name);
    ShowFileInformation();
}

void TForm1::OpenPath(const QString& path) {
    const fs::path target = S(path);
    std::error_code error;
    if (fs::is_directory(target, error)) {
        ChangeDirectory(Q(fs::absolute(target, error).string()));
    } else if (fs::exists(target, error)) {
        OpenDroppedFile(path);
    } else {
        Message(QStringLiteral("%1 does not exist.").arg(QDir::toNativeSeparators(path)));
    }
}

void TForm1::Find1Click() {
    PageControl1->setCurrentWidget(TabSheet2);
    Edit1->setFocus(Qt::ShortcutFocusReason);
    Edit1->selectAll();
}

void TForm1::Refresh1Click() {
    FillDirectoryList();
    FillFileList(true);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!Busy() && !DroppedWorkbook(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (!Busy() && !DroppedWorkbook(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString file = DroppedWorkbook(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    OpenDroppedFile(file);
}

}  // namespace vorlix::app
