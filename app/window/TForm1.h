// The program's main window: the file browser on the left, the report, search and export
// tabs on the right, the current file along the bottom, and the menus. The handlers only
// gather what the controls hold, call the commands of Commands.h and show their results;
// the commands run on a thread of their own (TBackgroundJob.h).
#pragma once

#include <QListWidget>
#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/commands/Commands.h"
#include "app/window/TAboutBox.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFileSystemWatcher;
class QFrame;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QResizeEvent;
class QShowEvent;
class QSplitter;
class QTabWidget;
class QTimer;
class QTreeWidget;

namespace vorlix::app {

class TBackgroundJob;

// Where the window's messages go: information boxes for the user, a recorder in tests.
class TMessages {
  public:
    virtual ~TMessages() = default;
    virtual void Show(const QString& text) = 0;
    // A question to answer with Yes (true) or No.
    virtual bool Ask(const QString& question) = 0;
};

// Modal information boxes captioned with the application title; questions in boxes with
// Yes and No, No being the default.
class TMessageBoxes final : public TMessages {
  public:
    explicit TMessageBoxes(QWidget* parent) : parent_(parent) {}
    void Show(const QString& text) override;
    bool Ask(const QString& question) override;

  private:
    QWidget* parent_;
};

// The print dialogs of "Print", "Print Preview" and "Printer Setup", which tests replace.
class TPrintDialogs {
  public:
    virtual ~TPrintDialogs() = default;
    // The choice of printer, copies and pages, or a PDF file; false when cancelled.
    virtual bool ChoosePrinter(QPrinter& printer, QWidget* parent) = 0;
    // The choice of printer and of its paper, orientation and margins, kept by `printer`.
    virtual void SetupPrinter(QPrinter& printer, QWidget* parent) = 0;
    // The pages that `print` draws, shown on screen, from where they can be printed.
    virtual void Preview(QPrinter& printer, const std::function<void(QPrinter&)>& print,
                         QWidget* parent) = 0;
};

// The toolkit's own print, printer setup and preview dialogs.
class TSystemPrintDialogs final : public TPrintDialogs {
  public:
    bool ChoosePrinter(QPrinter& printer, QWidget* parent) override;
    void SetupPrinter(QPrinter& printer, QWidget* parent) override;
    void Preview(QPrinter& printer, const std::function<void(QPrinter&)>& print,
                 QWidget* parent) override;
};

// A table whose row 0 is its fixed header row, so that row numbers and the row count
// include the header: search results fill rows 1, 2, ... and a fresh grid has 20 rows.
// Copying (Ctrl+C) puts the selected block on the clipboard as tab-separated rows.
class TStringGrid : public QTableWidget {
    Q_OBJECT
  public:
    TStringGrid(int columns, int rows, QWidget* parent = nullptr);
    int RowCount() const { return rowCount() + 1; }
    void SetRowCount(int rows) { setRowCount(rows > 1 ? rows - 1 : 0); }
    QString Cell(int column, int row) const;
    // With `tip` the cell shows its whole text as a tool tip, for texts wider than the column.
    void SetCell(int column, int row, const QString& text, bool tip = false);
    // The selected block: a line per row, its cells separated by tabs (a cell holding a tab,
    // a line break or a leading double quote is quoted, its quotes doubled).
    QString SelectedText() const;
    // The columns' widths, which they keep as the least; the columns listed in `growing`
    // share the room the grid has beyond them, in proportion to their widths, until the
    // user drags a column to a width of their own.
    void SetColumnWidths(std::vector<int> widths, std::vector<int> growing);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitColumns();

    std::vector<int> widths_;
    std::vector<int> growing_;
    bool fitting_ = false;    // the widths being set by FitColumns, not by the user
    bool userSized_ = false;  // a column was dragged: its widths are the user's
};

// The file list, with two signals of its own: Enter on the current file (the plain
// "activated" signal would also come from a single click where the desktop opens items that
// way), and moves of the current file by the user's keys, told apart from the program's own
// changes of the selection.
class TFileListBox : public QListWidget {
    Q_OBJECT
  public:
    using QListWidget::QListWidget;

  Q_SIGNALS:
    // The user moved the current file with the keyboard (arrows, page keys, a typed name).
    void CurrentMovedByKey();
    // Enter or Return was pressed on the current file.
    void EnterPressed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The printed form of the report: each line in the printer's current font from the top
// left of the printable area, broken before the first character that does not fit the
// width, a new page when the next line's top would lie below the printable height less
// two line heights. Prints the printer's number of copies itself where the printer does
// not (PDF files), collated or not as asked. Returns the number of pages of one copy, 0
// when the printer could not start.
int PrintLines(QPrinter& printer, const QStringList& lines);

// Where a window goes on a screen: its size (without the frame) and the position of its
// frame's top left corner.
struct TWindowPlacement {
    QSize Size;
    QPoint FramePosition;
};
// The `preferred` size, made smaller where the window and its `frame` would not fit into
// the `available` area (never below `minimum`), centred in that area; the frame's top left
// corner always lies inside it, so that the title bar and the menus can be reached.
TWindowPlacement PlaceOnScreen(QSize preferred, QSize minimum, QMargins frame, QRect available);

class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    // Without `messages` the window shows information boxes.
    explicit TForm1(std::unique_ptr<TMessages> messages = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The workbook the commands act on: a full path, a bare name resolved against the
    // current directory, "nil" after "Close Excel File", or empty.
    const std::string& CurrentFile() const { return currentFile_; }
    const std::string& SearchText() const { return searchText_; }
    // A report, search or export runs on its own thread: the window goes on answering,
    // shows its progress and offers to cancel it; the controls that would start other work
    // wait until it is over.
    bool Busy() const;

    // The printer "Print" and "Printer Setup" use; the default printer unless replaced.
    QPrinter& Printer();
    void SetPrinter(std::unique_ptr<QPrinter> printer);
    // The print, preview and printer setup dialogs; the toolkit's own unless replaced.
    void SetPrintDialogs(std::unique_ptr<TPrintDialogs> dialogs) {
        printDialogs_ = std::move(dialogs);
    }
    // The folder holding the help page index.html: the installed one, else the sources'.
    QString HelpDirectory() const;
    void SetHelpDirectory(const QString& folder) { helpDirectory_ = folder; }
    void SetUrlOpener(TUrlOpener opener);
    TAboutBox& AboutBox() const { return *aboutBox_; }

    // The file browser moves to `folder`, which becomes the process's current directory.
    bool ChangeDirectory(const QString& folder);
    // A workbook dropped on the window: it becomes the current file and is reported on.
    void OpenDroppedFile(const QString& file);
    // The file or folder named when the program starts: a folder is opened, a file's
    // folder is opened and the file reported on as if dropped.
    void OpenPath(const QString& path);
    // Sizes and places the window to fit the screen it is on, frame included.
    void FitOnScreen();

  public Q_SLOTS:
    void FormCreate();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void FileListBox1Click();
    void FileListBox1DblClick();
    void Edit8Change();
    void BitBtn2Click();
    void m1OpenClick();
    void m1CloseClick();
    void m1ExitClick();
    void m1PrintClick();
    void m1PrintPreviewClick();
    void m1PrintSetupClick();
    void Contents1Click();
    void Index1Click();
    void About1Click();
    void Find1Click();
    void Refresh1Click();
    void BitBtn1Click();
    void CheckBox2Click();
    void BitBtn5Click();
    void BitBtn3Click();
    void CreateBtnClick();
    // A workbook's name typed into "File:" gives the output name, as Edit8Change does.
    void Edit4Change();
    void RadioButton10Click();
    void RadioButton13Click();
    // Cancels the work that runs (also Escape).
    void CancelBtnClick();

  protected:
    // Closing the window cancels the work that runs and waits for it to end.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Fits the progress text to the bar when the bar changes size.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateMenus();
    QWidget* CreateBrowser();
    QWidget* CreateReportTab();
    QWidget* CreateSearchTab();
    QWidget* CreateExportTab();
    QFrame* CreateStatusPanel();
    void ConnectHandlers();

    void FillDrives();
    void SelectDrive();
    void FillDirectoryList();
    // With `keepSelection` the selected file stays selected when it is still there.
    void FillFileList(bool keepSelection = false);
    void WatchDirectory();
    void SelectFirstFileIfNone();
    std::string SelectedFile() const;

    void ShowFileInformation();
    // A batch of the report's lines: the first replaces the text, the others follow it.
    void AppendReport(const QString& lines, bool first);
    void SearchThisFile();
    void SearchDirectory();
    void ExportFile();
    void ExportDirectory();
    void ClearSearchResults();
    // Hits number `first`, `first` + 1, ...
    void RecordHits(const std::vector<TSearchHit>& hits, int first);
    TSearchOptions SearchOptions() const;
    TExportMode ExportMode() const;
    TTextFileKind FileKind() const;
    TExportSettings ExportSettings() const;
    void OpenHelp(const QString& fragment);

    void Message(const QString& text);
    void Message(const std::string& text) { Message(QString::fromStdString(text)); }
    void Message(const char* text) { Message(QString::fromUtf8(text)); }
    // Runs `work` on the job's thread, then `finish` with its result on the window's
    // thread. An error it raises goes to `failed`, or is shown without it.
    template <typename Work, typename Finish>
    void RunJob(Work work, Finish finish,
                std::function<void(const std::string& error)> failed = {});
    std::vector<QWidget*> ControlsThatWait() const;
    void JobStarted();
    void JobEnded();
    void ShowProgress(const QString& text, double fraction);
    // The progress text with the middle of a long name left out, so that it fits the bar.
    void FitProgressText();
    // Shows the page `step` pages on from the current one, round the end.
    void TurnPage(int step);
    // Forgets the current file when it no longer names a workbook of the browser's folder:
    // after a change of folder, or when it was deleted.
    void ForgetCurrentFileOutsideFolder();
    // The same for the file the current file's name stood for (resolved before a change of
    // folder).
    void ForgetCurrentFileOutsideFolder(const std::filesystem::path& named);

    std::unique_ptr<TMessages> messages_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<TPrintDialogs> printDialogs_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* refreshTimer_ = nullptr;  // gathers the changes of a folder into one refresh
    bool placedAfterShow_ = false;
    TUrlOpener urlOpener_;
    QString helpDirectory_;
    std::string currentFile_;
    std::string searchText_;
    std::string directory_;  // the folder the browser shows
    TBackgroundJob* job_ = nullptr;
    int hitsShown_ = 0;                 // the hits of the search in the grid
    QString progressText_;              // the progress text in full
    QPointer<QWidget> focusBeforeJob_;  // the control that started the work

    QSplitter* Splitter1 = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    QTreeWidget* DirectoryListBox1 = nullptr;
    TFileListBox* FileListBox1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    TStringGrid* StringGrid1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QRadioButton* RadioButton6 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QRadioButton* RadioButton7 = nullptr;
    QRadioButton* RadioButton8 = nullptr;
    QRadioButton* RadioButton9 = nullptr;
    QRadioButton* RadioButton10 = nullptr;
    QRadioButton* RadioButton13 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QPushButton* CreateBtn = nullptr;
    QFrame* Panel3 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QAction* m1Open = nullptr;
    QAction* m1Close = nullptr;
    QAction* m1Print = nullptr;
    QAction* m1PrintPreview = nullptr;
    QAction* m1PrintSetup = nullptr;
    QAction* m1Exit = nullptr;
    QAction* Contents1 = nullptr;
    QAction* Index1 = nullptr;
    QAction* About1 = nullptr;
    QAction* Find1 = nullptr;          // Ctrl+F: to "Find:"
    QAction* Refresh1 = nullptr;       // F5: the folder read again
    QAction* Cancel1 = nullptr;        // Escape: the work that runs cancelled
    QAction* NextPage1 = nullptr;      // Ctrl+Tab: the next page
    QAction* PreviousPage1 = nullptr;  // Ctrl+Shift+Tab: the page before
    TAboutBox* aboutBox_ = nullptr;
};

}  // namespace vorlix::app
