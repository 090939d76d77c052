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
#include <QFileInfo>
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

#ifndef VORLIX_SOURCE_HELP_DIR
#define VORLIX_SOURCE_HELP_DIR ""
#endif
#ifndef VORLIX_INSTALLED_HELP_DIR
#define VORLIX_INSTALLED_HELP_DIR "../share/vorlix/help"
#endif

#include "app/window/WindowSupport.h"

namespace vorlix::app {

namespace fs = std::filesystem;
using namespace window;

namespace {

// True when two names, each resolved against the current directory, name the same file.
bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code error;
    return fs::absolute(a, error).lexically_normal() == fs::absolute(b, error).lexically_normal();
}

QString ReplaceQuestion(const std::vector<fs::path>& existing) {
    QStringList names;
    for (const fs::path& file : existing)
        names << Q(file.filename().string());
    if (names.size() == 1)
        return QStringLiteral("The file %1 already exists. Do you want to replace it?")
            .arg(names[0]);
    return QStringLiteral("These files already exist: %1. Do you want to replace them?")
        .arg(names.join(QStringLiteral(", ")));
}

QString BatchReplaceQuestion(const std::vector<fs::path>& existing) {
    return QStringLiteral(
               "The file %1 already exists, and other files of this export may too. "
               "Do you want to replace the files that exist?")
        .arg(Q(existing.front().filename().string()));
}

// A batch of report lines as the text view shows them.
QString JoinLines(const std::vector<std::string>& lines) {
    QStringList joined;
    joined.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        joined.append(Q(line));
    return joined.join(QLatin1Char('\n'));
}

// The hits of a search, gathered on the job's thread and handed on a batch at a time: a
// search that finds a hit in every cell must not queue an update of the grid per hit.
class THitBatch {
  public:
    using TSink = std::function<void(std::vector<TSearchHit>&& hits, int first)>;
    explicit THitBatch(TSink sink) : sink_(std::move(sink)) {}
    void Add(const TSearchHit& hit, int k) {
        if (hits_.empty()) first_ = k;
        hits_.push_back(hit);
        if (hits_.size() >= kMaxHits || Clock::now() - sent_ >= kMaxDelay) Flush();
    }
    void Flush() {
        sent_ = Clock::now();
        if (hits_.empty()) return;
        sink_(std::move(hits_), first_);
        hits_.clear();
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxHits = 500;
    static constexpr std::chrono::milliseconds kMaxDelay{100};
    TSink sink_;
    std::vector<TSearchHit> hits_;
    int first_ = 0;
    Clock::time_point sent_ = Clock::now();
};

}  // namespace

// --- Seams -------------------------------------------------------------------------------

QPrinter& TForm1::Printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setDocName(QString::fromUtf8(kApplicationTitle));
    }
    return *printer_;
}

void TForm1::SetPrinter(std::unique_ptr<QPrinter> printer) {
    printer_ = std::move(printer);
}

QString TForm1::HelpDirectory() const {
    if (!helpDirectory_.isEmpty()) return helpDirectory_;
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                        QStringLiteral(VORLIX_INSTALLED_HELP_DIR));
    if (QFileInfo(installed + QLatin1Char('/') + kHelpPage).isFile()) return installed;
    return QStringLiteral(VORLIX_SOURCE_HELP_DIR);
}

void TForm1::SetUrlOpener(TUrlOpener opener) {
    urlOpener_ = opener;
    aboutBox_->SetUrlOpener(std::move(opener));
}

void TForm1::Message(const QString& text) {
    messages_->Show(text);
}

bool TForm1::Busy() const {
    return job_->Busy();
}

// One work at a time. The library keeps process-wide settings (the code page and list
// separator each workbook file object sets, the palette, the regional settings the values
// are rendered with) that the work reads and writes unguarded; while it runs, the window
// calls nothing of the library, only the helpers for output names and folder listings,
// which use none of them.
template <typename Work, typename Finish>
void TForm1::RunJob(Work work, Finish finish, std::function<void(const std::string&)> failed) {
    using Result = std::invoke_result_t<Work&, TJobControl&>;
    JobStarted();
    job_->Start([this, work = std::move(work), finish = std::move(finish),
                 failed = std::move(failed)](TJobControl& control) mutable {
        TBackgroundJob::TFinish then;
        try {
            auto result = std::make_shared<Result>(work(control));
            then = [finish, result] { finish(*result); };
        } catch (const TCancelled&) {
            // The commands end their own cancellation; one let through ends the work quietly.
        } catch (const std::exception& e) {
            then = [this, failed, error = std::string(e.what())] {
                if (failed) {
                    failed(error);
                } else {
                    Message(error);
                }
            };
        }
        return then;
    });
}

// The browser (the work's names are relative to its folder), the buttons that start work,
// and the names that the work fills in.
std::vector<QWidget*> TForm1::ControlsThatWait() const {
    return {DriveComboBox1, DirectoryListBox1, FileListBox1, BitBtn1, CheckBox2, BitBtn5,
            BitBtn3,        CreateBtn,         Edit4,        Edit7,   Edit8};
}

// The controls that would start other work, or change what the work reports to, wait;
// the focus leaves them for Cancel and comes back afterwards.
void TForm1::JobStarted() {
    ProgressBar1->setValue(0);
    progressText_.clear();
    ProgressBar1->setFormat(QString());
    ProgressBar1->setToolTip(QString());
    ProgressBar1->show();
    CancelBtn->show();
    Cancel1->setEnabled(true);
    const std::vector<QWidget*> waiting = ControlsThatWait();
    focusBeforeJob_ = QApplication::focusWidget();
    if (std::find(waiting.begin(), waiting.end(), focusBeforeJob_.data()) != waiting.end())
        CancelBtn->setFocus(Qt::OtherFocusReason);
    for (QWidget* control : waiting)
        control->setEnabled(false);
    for (QAction* action : {m1Open, m1Close, Refresh1})
        action->setEnabled(false);
}

void TForm1::JobEnded() {
    for (QWidget* control : ControlsThatWait())
        control->setEnabled(true);
    for (QAction* action : {m1Open, m1Close, Refresh1})
        action->setEnabled(true);
    const bool cancelHadFocus = CancelBtn->hasFocus();
    ProgressBar1->hide();
    CancelBtn->hide();
    Cancel1->setEnabled(false);
    if (cancelHadFocus && focusBeforeJob_) focusBeforeJob_->setFocus(Qt::OtherFocusReason);
    focusBeforeJob_.clear();
}

void TForm1::ShowProgress(const QString& text, double fraction) {
    ProgressBar1->setValue(qRound(fraction * kProgressSteps));
    progressText_ = text;
    ProgressBar1->setToolTip(text);
    FitProgressText();
}

void TForm1::FitProgressText() {
    if (progressText_.isEmpty()) {
        ProgressBar1->setFormat(QString());
        return;
    }
    // The bar draws its text inside its frame, with the percentage after it.
    const QFontMetrics metrics(ProgressBar1->font());
    const int room = ProgressBar1->contentsRect().width() -
                     metrics.horizontalAdvance(QStringLiteral("  100%")) -
                     2 * metrics.averageCharWidth();
    QString shown = metrics.elidedText(progressText_, Qt::ElideMiddle, std::max(room, 0));
    ProgressBar1->setFormat(shown.replace(QLatin1Char('%'), QStringLiteral("%%")) +
                            QStringLiteral("  %p%"));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ProgressBar1 && event->type() == QEvent::Resize) FitProgressText();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::TurnPage(int step) {
    const int count = PageControl1->count();
    PageControl1->setCurrentIndex((PageControl1->currentIndex() + step + count) % count);
}

void TForm1::CancelBtnClick() {
    job_->Cancel();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (job_->Busy()) {
        job_->Stop();
        JobEnded();
    }
    QMainWindow::closeEvent(event);
}

// --- Menus -------------------------------------------------------------------------------

void TForm1::BitBtn2Click() {
    m1ExitClick();
}

void TForm1::m1OpenClick() {
    BitBtn1Click();
}

void TForm1::m1CloseClick() {
    if (Busy()) return;
    currentFile_ = "nil";
    BitBtn5Click();
}

void TForm1::m1ExitClick() {
    close();
}

void TForm1::m1PrintClick() {
    const QString report = Memo1->toPlainText();
    if (report.isEmpty()) return;
    if (!printDialogs_->ChoosePrinter(Printer(), this)) return;
    if (PrintLines(Printer(), report.split(QLatin1Char('\n'))) == 0)
        Message(QStringLiteral("The report could not be printed: no printer is ready."));
}

void TForm1::m1PrintPreviewClick() {
    const QString report = Memo1->toPlainText();
    if (report.isEmpty()) return;
    const QStringList lines = report.split(QLatin1Char('\n'));
    printDialogs_->Preview(
        Printer(), [&lines](QPrinter& printer) { PrintLines(printer, lines); }, this);
}

void TForm1::m1PrintSetupClick() {
    printDialogs_->SetupPrinter(Printer(), this);
}

void TForm1::OpenHelp(const QString& fragment) {
    const QString page = HelpDirectory() + QLatin1Char('/') + kHelpPage;
    if (!QFileInfo(page).isFile()) {
        Message(QStringLiteral("The help page %1 is missing.").arg(QDir::toNativeSeparators(page)));
        return;
    }
    QUrl url = QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath());
    if (!fragment.isEmpty()) url.setFragment(fragment);
    if (!urlOpener_(url))
        Message(QStringLiteral("No web browser could be started to show %1.").arg(url.toString()));
}

void TForm1::Contents1Click() {
    OpenHelp({});
}

void TForm1::Index1Click() {
    OpenHelp(QStringLiteral("index"));
}

void TForm1::About1Click() {
    aboutBox_->exec();
}

// --- File information report --------------------------------------------------------------

void TForm1::BitBtn1Click() {
    if (Busy()) return;
    if (FileListBox1->count() == 0) {
        Message(kNoExcelFiles);
        return;
    }
    SelectFirstFileIfNone();
    currentFile_ = SelectedFile();
    Edit8->setText(FileListBox1->currentItem()->text());
    ShowFileInformation();
}

void TForm1::CheckBox2Click() {
    BitBtn1Click();
}

void TForm1::BitBtn5Click() {
    if (Busy()) return;
    Memo1->clear();
    Edit7->clear();
    Edit8->clear();
}

// The summary shows as soon as the workbook is read; the contents follow a batch of lines
// at a time.
void TForm1::ShowFileInformation() {
    Memo1->clear();
    RunJob(
        [this, file = currentFile_, contents = CheckBox2->isChecked()](TJobControl& control) {
            bool first = true;
            return FileInformation(
                file, contents, u"", &control, [this, &first](std::vector<std::string>&& lines) {
                    job_->Post(
                        [this, text = JoinLines(lines), first] { AppendReport(text, first); });
                    first = false;
                });
        },
        [this](const TReport& report) {
            if (!report.Message.empty()) Message(report.Message);
        });
}

void TForm1::AppendReport(const QString& lines, bool first) {
    if (first) {
        Memo1->setPlainText(lines);
        Memo1->moveCursor(QTextCursor::Start);
        Memo1->setFocus();
        return;
    }
    // Added at the end without moving the view or the reader's cursor.
    QTextCursor end(Memo1->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QLatin1Char('\n') + lines);
}

// --- Text search ---------------------------------------------------------------------------

void TForm1::BitBtn3Click() {
    if (Busy()) return;
    if (FileListBox1->count() == 0) {
        Message(kNoExcelFiles);
        return;
    }
    if (!Edit8->text().isEmpty()) {
        currentFile_ = S(Edit8->text());
    } else {
        SelectFirstFileIfNone();
        currentFile_ = SelectedFile();
    }
    searchText_ = app::SearchTextFor(S(Edit1->text()), CheckBox1->isChecked());
    if (RadioButton5->isChecked()) {
        SearchThisFile();
    } else {
        SearchDirectory();
    }
}

TSearchOptions TForm1::SearchOptions() const {
    TSearchOptions options;
    options.Text = S(Edit1->text());
    options.Match = RadioButton3->isChecked();
    options.CaseSensitive = CheckBox1->isChecked();
    // A folder's workbooks are searched on every core.
    options.Jobs = DefaultJobs();
    return options;
}

void TForm1::ClearSearchResults() {
    hitsShown_ = 0;
    StringGrid1->clearSelection();
    for (int row = 1; row < StringGrid1->RowCount(); ++row) {
        for (int c = 0; c < StringGrid1->columnCount(); ++c)
            StringGrid1->SetCell(c, row, {});
    }
}

// The grid grows by a row per hit while the hits fill it from row 1 down.
void TForm1::RecordHits(const std::vector<TSearchHit>& hits, int first) {
    StringGrid1->SetRowCount(StringGrid1->RowCount() + static_cast<int>(hits.size()));
    int k = first;
    for (const TSearchHit& hit : hits) {
        StringGrid1->SetCell(0, k, Q(hit.File), true);
        StringGrid1->SetCell(1, k, QString::number(hit.Sheet));
        StringGrid1->SetCell(2, k, QString::number(hit.Row));
        StringGrid1->SetCell(3, k, QString::number(hit.Col));
        StringGrid1->SetCell(4, k, Q(hit.Text), true);
        ++k;
    }
    hitsShown_ = k - 1;
    Edit3->setText(QString::number(hitsShown_));
}

void TForm1::SearchThisFile() {
    Edit3->setText(QStringLiteral("0"));
    ClearSearchResults();
    RunJob(
        [this, file = currentFile_, options = SearchOptions()](TJobControl& control) {
            THitBatch batch([this](std::vector<TSearchHit>&& hits, int first) {
                job_->Post([this, hits = std::move(hits), first] { RecordHits(hits, first); });
            });
            try {
                TSearchOutcome outcome = app::SearchThisFile(
                    file, options, [&batch](const TSearchHit& hit, int k) { batch.Add(hit, k); },
                    &control);
                batch.Flush();
                return outcome;
            } catch (...) {
                batch.Flush();  // the hits found before the error stay
                throw;
            }
        },
        [this, file = currentFile_](const TSearchOutcome& outcome) {
            // The workbook was read unless it was refused (a protected one ends silently).
            if (outcome.Hits > 0 || outcome.Message == kNoMatchFound)
                Edit8->setText(Q(BareName(file)));
            if (!outcome.Message.empty()) Message(outcome.Message);
        },
        [this](const std::string& error) {
            if (hitsShown_ == 0) Message(kNoMatchFound);
            Message(error);
        });
}

// After each workbook the grid, the current file and the count show how far it went.
void TForm1::SearchDirectory() {
    Edit8->clear();
    Edit3->setText(QStringLiteral("0"));
    ClearSearchResults();
    RunJob(
        [this, folder = FolderOf(currentFile_), options = SearchOptions()](TJobControl& control) {
            THitBatch batch([this](std::vector<TSearchHit>&& hits, int first) {
                job_->Post([this, hits = std::move(hits), first] { RecordHits(hits, first); });
            });
            const auto fileDone = [this, &batch](const std::string& name) {
                batch.Flush();
                job_->Post([this, name] {
                    currentFile_ = name;
                    Edit8->setText(Q(name));
                });
            };
            try {
                TSearchOutcome outcome = app::SearchDirectory(
                    folder, options, [&batch](const TSearchHit& hit, int k) { batch.Add(hit, k); },
                    fileDone, &control);
                batch.Flush();
                return outcome;
            } catch (...) {
                batch.Flush();
                throw;
            }
        },
        [this](const TSearchOutcome& outcome) {
            FileListBox1->setCurrentRow(-1);
            // The workbooks that could not be searched are named after the outcome's message.
            const std::string summary = SearchSummary(outcome);
            if (!summary.empty()) Message(summary);
        });
}

// --- Export --------------------------------------------------------------------------------

TExportMode TForm1::ExportMode() const {
    if (RadioButton8->isChecked()) return TExportMode::SeparateFiles;
    if (RadioButton9->isChecked()) return TExportMode::OneFile;
    return TExportMode::OneSheet;
}

TTextFileKind TForm1::FileKind() const {
    return RadioButton10->isChecked() ? tkCSV : tkTXT;
}

void TForm1::RadioButton10Click() {
    if (!Edit7->text().isEmpty()) Edit7->setText(Q(SwitchOutputType(S(Edit7->text()), tkCSV)));
}

void TForm1::RadioButton13Click() {
    if (!Edit7->text().isEmpty()) Edit7->setText(Q(SwitchOutputType(S(Edit7->text()), tkTXT)));
}

void TForm1::Edit4Change() {
    const QString text = Edit4->text();
    if (!text.isEmpty()) Edit7->setText(Q(OutputNameFor(S(text), FileKind())));
}

TExportSettings TForm1::ExportSettings() const {
    TExportSettings settings;
    settings.Mode = ExportMode();
    settings.Kind = FileKind();
    // A folder's workbooks are written on every core.
    settings.Jobs = DefaultJobs();
    return settings;
}

void TForm1::CreateBtnClick() {
    if (Busy()) return;
    const std::string named = S(Edit4->text());
    const bool batch = CheckBox3->isChecked();
    // After "Clear" nothing names a workbook or the file to write.
    if (!batch && named.empty() && Edit7->text().isEmpty()) {
        Message(kChooseWorkbook);
        return;
    }
    if (named.empty()) {
        if (!Edit8->text().isEmpty()) {
            currentFile_ = S(Edit8->text());
        } else {
            SelectFirstFileIfNone();
            currentFile_ = SelectedFile();
        }
    } else if (!SameFile(named, currentFile_)) {
        // The workbook named in "File:" is the one exported, whether typed there or taken
        // from the current file's name.
        currentFile_ = named;
    }
    if (batch) {
        ExportDirectory();
    } else {
        ExportFile();
    }
}

// A cancelled export tells only what it had written.
void TForm1::ExportFile() {
    RunJob(
        [this, file = currentFile_, output = S(Edit7->text()),
         settings = ExportSettings()](TJobControl& control) mutable {
            settings.ConfirmReplace = [this](const std::vector<fs::path>& existing) {
                return job_->Ask(
                    [this, existing] { return messages_->Ask(ReplaceQuestion(existing)); });
            };
            return app::ExportFile(file, output, settings, &control);
        },
        [this](const TExportOutcome& outcome) {
            if (outcome.Cancelled && outcome.Files.empty()) return;
            if (!outcome.Message.empty()) Message(ExportSummary(outcome));
        });
}

void TForm1::ExportDirectory() {
    RunJob(
        [this, folder = FolderOf(currentFile_),
         settings = ExportSettings()](TJobControl& control) mutable {
            // One question for the run: its answer holds for every file that exists.
            std::optional<bool> replace;
            settings.ConfirmReplace = [this, &replace](const std::vector<fs::path>& existing) {
                if (!replace) {
                    replace = job_->Ask([this, existing] {
                        return messages_->Ask(BatchReplaceQuestion(existing));
                    });
                }
                return *replace;
            };
            return app::ExportDirectory(
                folder, settings,
                [this](const std::string& name) {
                    job_->Post([this, name] {
                        currentFile_ = name;
                        Edit7->setText(Q(name));
                    });
                },
                &control);
        },
        [this](const TExportOutcome& outcome) {
            if (outcome.Cancelled && outcome.Files.empty()) return;
            if (!outcome.Message.empty()) Message(ExportSummary(outcome));
        });
}

}  // namespace vorlix::app
