#include "app/TForm1.h"

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

#include "app/TBackgroundJob.h"
#include "platform/ScreenMetrics.h"

#ifndef VORLIX_SOURCE_HELP_DIR
#define VORLIX_SOURCE_HELP_DIR ""
#endif
#ifndef VORLIX_INSTALLED_HELP_DIR
#define VORLIX_INSTALLED_HELP_DIR "../share/vorlix/help"
#endif

namespace vorlix::app {

namespace fs = std::filesystem;

namespace {

constexpr int kClientWidth = 789;
constexpr int kClientHeight = 494;
constexpr int kBrowserWidth = 200;
constexpr int kGridRows = 20;
constexpr int kGridColumnWidths[] = {134, 49, 41, 39, 241};
constexpr const char* kGridTitles[] = {"       File", " Sheet", " Row", " Col",
                                       "         Contents"};
constexpr int kPathRole = Qt::UserRole;
// The window frame the desktop is likely to add (a title bar above, thin borders), while
// the real one is not known yet: before the window is first shown.
constexpr QMargins kFrameEstimate(4, 36, 4, 4);
// How long a folder's changes are gathered before the file list is read again.
constexpr int kRefreshDelayMs = 150;
// The progress bar's steps from start to end.
constexpr int kProgressSteps = 1000;
const QString kHelpPage = QStringLiteral("index.html");

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
std::string S(const QString& text) {
    return text.toStdString();
}
std::string BareName(const std::string& file) {
    return fs::path(file).filename().string();
}
// The folder part of a current file; the current directory for a bare name.
fs::path FolderOf(const std::string& file) {
    const fs::path folder = fs::path(file).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

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

template <typename Widget, typename... Args>
Widget* Make(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* Label(const char* name, const QString& text, QWidget* buddy = nullptr) {
    auto* label = Make<QLabel>(name, text);
    if (buddy) label->setBuddy(buddy);
    return label;
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

// The first local .xls file among the dropped addresses, or empty.
QString DroppedWorkbook(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() &&
            url.fileName().endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
            return url.toLocalFile();
    }
    return {};
}

// The number of UTF-16 units of the characters of `line` from `from` on that fit into
// `width`; at least one character, so that every line makes progress.
qsizetype FittingUnits(const QFontMetrics& metrics, const QString& line, qsizetype from,
                       int width) {
    qsizetype end = from;
    int used = 0;
    while (end < line.size()) {
        const qsizetype next =
            line.at(end).isHighSurrogate() && end + 1 < line.size() ? end + 2 : end + 1;
        const int advance = metrics.horizontalAdvance(line.mid(end, next - end));
        if (end > from && used + advance > width) break;
        used += advance;
        end = next;
    }
    return end - from;
}

// A cell of copied rows, quoted where a tab, a line break or a leading quote would split
// or change it when pasted.
QString CopiedField(const QString& text) {
    const bool quote = text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\n')) ||
                       text.contains(QLatin1Char('\r')) || text.startsWith(QLatin1Char('"'));
    if (!quote) return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

// --- Messages and the result grid ----------------------------------------------------------

void TMessageBoxes::Show(const QString& text) {
    // A long message (the files of a batch export) shows its start; the whole text is a
    // click away, so that the box fits the screen.
    constexpr qsizetype kShownLines = 20;
    const QStringList lines = text.split(QLatin1Char('\n'));
    const bool cut = lines.size() > kShownLines;
    QMessageBox box(
        QMessageBox::Information, QString::fromUtf8(kApplicationTitle),
        cut ? lines.first(kShownLines).join(QLatin1Char('\n')) + QStringLiteral("\n...") : text,
        QMessageBox::Ok, parent_);
    if (cut) box.setDetailedText(text);
    box.exec();
}

bool TMessageBoxes::Ask(const QString& question) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationTitle), question,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

TStringGrid::TStringGrid(int columns, int rows, QWidget* parent) : QTableWidget(parent) {
    setColumnCount(columns);
    SetRowCount(rows);
}

QString TStringGrid::Cell(int column, int row) const {
    const QTableWidgetItem* item =
        row == 0 ? horizontalHeaderItem(column) : this->item(row - 1, column);
    return item ? item->text() : QString();
}

void TStringGrid::SetCell(int column, int row, const QString& text, bool tip) {
    if (row == 0) {
        setHorizontalHeaderItem(column, new QTableWidgetItem(text));
        return;
    }
    QTableWidgetItem* item = this->item(row - 1, column);
    if (!item && text.isEmpty()) return;
    if (!item) {
        item = new QTableWidgetItem;
        setItem(row - 1, column, item);
    }
    item->setText(text);
    item->setToolTip(tip ? text : QString());
}

QString TStringGrid::SelectedText() const {
    QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) {
        return a.topRow() != b.topRow() ? a.topRow() < b.topRow() : a.leftColumn() < b.leftColumn();
    });
    QStringList lines;
    for (const QTableWidgetSelectionRange& range : ranges) {
        for (int row = range.topRow(); row <= range.bottomRow(); ++row) {
            QStringList fields;
            for (int column = range.leftColumn(); column <= range.rightColumn(); ++column)
                fields << CopiedField(Cell(column, row + 1));
            lines << fields.join(QLatin1Char('\t'));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

void TStringGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        const QString text = SelectedText();
        if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void TFileListBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentItem()) {
        event->accept();
        Q_EMIT EnterPressed();
        return;
    }
    const QListWidgetItem* before = currentItem();
    QListWidget::keyPressEvent(event);
    if (currentItem() && currentItem() != before) Q_EMIT CurrentMovedByKey();
}

// --- Printing ------------------------------------------------------------------------------

int PrintLines(QPrinter& printer, const QStringList& lines) {
    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    const QFontMetrics metrics(painter.font(), &printer);
    const int lineHeight = metrics.height();
    const int width = printer.width();
    const int lastTop = printer.height() - 2 * lineHeight;

    // The printed lines of each page first, so that copies and page ranges can repeat or
    // leave out whole pages.
    std::vector<QStringList> pages(1);
    int top = 0;
    const auto placeLine = [&](const QString& text) {
        if (top > 0 && top > lastTop) {
            pages.emplace_back();
            top = 0;
        }
        pages.back() << text;
        top += lineHeight;
    };
    for (const QString& line : lines) {
        if (line.isEmpty()) {
            placeLine(line);
            continue;
        }
        for (qsizetype from = 0; from < line.size();) {
            const qsizetype units = FittingUnits(metrics, line, from, width);
            placeLine(line.mid(from, units));
            from += units;
        }
    }

    const int count = static_cast<int>(pages.size());
    int first = 1;
    int last = count;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage();
        last = std::min(count, std::max(printer.toPage(), first));
    }
    // A printer that cannot make copies itself gets the pages that many times: the whole
    // report again for collated copies, else each page again.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    const int reportCopies = printer.collateCopies() ? copies : 1;
    const int pageCopies = printer.collateCopies() ? 1 : copies;
    bool started = false;
    for (int r = 0; r < reportCopies; ++r) {
        for (int page = first; page <= last; ++page) {
            for (int c = 0; c < pageCopies; ++c) {
                if (started) printer.newPage();
                started = true;
                int y = metrics.ascent();
                for (const QString& text : pages[static_cast<std::size_t>(page - 1)]) {
                    painter.drawText(0, y, text);
                    y += lineHeight;
                }
            }
        }
    }
    painter.end();
    return count;
}

TWindowPlacement PlaceOnScreen(QSize preferred, QSize minimum, QMargins frame, QRect available) {
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize room(available.width() - frameWidth, available.height() - frameHeight);
    const QSize size = preferred.boundedTo(room).expandedTo(minimum);
    const QSize outer(size.width() + frameWidth, size.height() + frameHeight);
    const QPoint centred(available.left() + (available.width() - outer.width()) / 2,
                         available.top() + (available.height() - outer.height()) / 2);
    return {size, QPoint(std::max(centred.x(), available.left()),
                         std::max(centred.y(), available.top()))};
}

// --- Print dialogs --------------------------------------------------------------------------

bool TSystemPrintDialogs::ChoosePrinter(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

void TSystemPrintDialogs::SetupPrinter(QPrinter& printer, QWidget* parent) {
    // The print dialog without what belongs to one print job: the printer, and behind its
    // "Properties" the paper, orientation and margins. Its accepting button only closes it.
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
    dialog.setWindowTitle(QStringLiteral("Printer Setup"));
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (const auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
    }
    dialog.exec();
}

void TSystemPrintDialogs::Preview(QPrinter& printer, const std::function<void(QPrinter&)>& print,
                                  QWidget* parent) {
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog1"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&print](QPrinter* target) { print(*target); });
    dialog.exec();
}

// --- The window ----------------------------------------------------------------------------

TForm1::TForm1(std::unique_ptr<TMessages> messages, QWidget* parent)
    : QMainWindow(parent),
      messages_(messages ? std::move(messages) : std::make_unique<TMessageBoxes>(this)),
      printDialogs_(std::make_unique<TSystemPrintDialogs>()),
      urlOpener_(OpenInBrowser) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("   Vorlix  Excel Utilities"));
    setWindowIcon(ProgramIcon());
    setAcceptDrops(true);

    CreateMenus();
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    // The browser and the tabs share the width; the user can move the border between them.
    Splitter1 = Make<QSplitter>("Splitter1", Qt::Horizontal);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(CreateBrowser());
    PageControl1 = Make<QTabWidget>("PageControl1");
    PageControl1->addTab(CreateReportTab(), QStringLiteral("    File Information         "));
    PageControl1->addTab(CreateSearchTab(), QStringLiteral("    Search Files     "));
    PageControl1->addTab(CreateExportTab(), QStringLiteral("    Export to CSV or Text File     "));
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kBrowserWidth, kClientWidth - kBrowserWidth});
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(CreateStatusPanel());
    setCentralWidget(client);

    watcher_ = new QFileSystemWatcher(this);
    job_ = new TBackgroundJob(this);
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kRefreshDelayMs);

    // A dropped workbook is meant for the window, not as text for a field.
    Memo1->setAcceptDrops(false);
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setAcceptDrops(false);

    ConnectHandlers();
    FormCreate();

    aboutBox_ = new TAboutBox(this);
    aboutBox_->hide();

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    FitOnScreen();
}

// The work still running ends before the controls it reports to go away.
TForm1::~TForm1() {
    job_->Stop();
}

void TForm1::CreateMenus() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    const auto add = [this](QMenu* menu, const char* name, const QString& text,
                            const QKeySequence& keys) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        return action;
    };
    m1Open = add(file, "m1Open", QStringLiteral("&Open Excel File"), QKeySequence::Open);
    m1Close = add(file, "m1Close", QStringLiteral("&Close Excel File"), QKeySequence::Close);
    file->addSeparator();
    m1Print = add(file, "m1Print", QStringLiteral("&Print"), QKeySequence::Print);
    m1PrintPreview = add(file, "m1PrintPreview", QStringLiteral("Print Pre&view"), {});
    m1PrintSetup = add(file, "m1PrintSetup", QStringLiteral("P&rinter Setup"), {});
    file->addSeparator();
    m1Exit = add(file, "m1Exit", QStringLiteral("E&xit"), QKeySequence::Quit);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    Contents1 = add(help, "Contents1", QStringLiteral("&Contents"), QKeySequence::HelpContents);
    Index1 = add(help, "Index1", QStringLiteral("&Index"), {});
    help->addSeparator();
    About1 = add(help, "About1", QStringLiteral("&About"), {});

    // Keys without a menu item of their own.
    const auto key = [this](const char* name, const QKeySequence& keys) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        addAction(action);
        return action;
    };
    Find1 = key("Find1", QKeySequence::Find);
    Refresh1 = key("Refresh1", QKeySequence::Refresh);
    Cancel1 = key("Cancel1", QKeySequence::Cancel);
    Cancel1->setEnabled(false);
}

QWidget* TForm1::CreateBrowser() {
    DriveComboBox1 = Make<QComboBox>("DriveComboBox1");
    DirectoryListBox1 = Make<QTreeWidget>("DirectoryListBox1");
    DirectoryListBox1->setHeaderHidden(true);
    DirectoryListBox1->setRootIsDecorated(false);
    DirectoryListBox1->setIndentation(12);
    DirectoryListBox1->setExpandsOnDoubleClick(false);
    DirectoryListBox1->setItemsExpandable(false);
    FileListBox1 = Make<TFileListBox>("FileListBox1");
    FileListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("Browser"));
    panel->setMinimumWidth(120);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DriveComboBox1);
    layout->addWidget(DirectoryListBox1, 1);
    layout->addWidget(FileListBox1, 1);
    return panel;
}

QWidget* TForm1::CreateReportTab() {
    TabSheet1 = Make<QWidget>("TabSheet1");
    Memo1 = Make<QPlainTextEdit>("Memo1");
    // The report is read, selected and copied, never typed into; Tab leaves it.
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1->setTabChangesFocus(true);
    // Never typed into: nothing to undo, and no second copy of a long report kept for it.
    Memo1->setUndoRedoEnabled(false);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette tip = Memo1->palette();
    tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
    tip.setColor(QPalette::Text, tip.color(QPalette::ToolTipText));
    Memo1->setPalette(tip);
    BitBtn1 = Make<QPushButton>("BitBtn1", QStringLiteral("&Get File Information"));
    BitBtn1->setIcon(ThemeIcon("document-properties", QStyle::SP_FileDialogInfoView));
    CheckBox2 = Make<QCheckBox>("CheckBox2", QStringLiteral("Show &Contents"));
    BitBtn5 = Make<QPushButton>("BitBtn5", QStringLiteral("  C&lear"));
    BitBtn5->setIcon(ThemeIcon("edit-clear", QStyle::SP_DialogResetButton));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(12);
    buttons->addWidget(CheckBox2);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn5);
    auto* layout = new QVBoxLayout(TabSheet1);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);
    return TabSheet1;
}

QWidget* TForm1::CreateSearchTab() {
    TabSheet2 = Make<QWidget>("TabSheet2");
    StringGrid1 = Make<TStringGrid>("StringGrid1", 5, kGridRows);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setShowGrid(true);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    // Columns keep their widths as the window grows; the user drags them wider.
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->horizontalHeader()->setStretchLastSection(false);
    StringGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid1->verticalHeader()->setDefaultSectionSize(StringGrid1->fontMetrics().height() + 6);
    for (int c = 0; c < 5; ++c)
        StringGrid1->setColumnWidth(c, kGridColumnWidths[c]);

    Edit1 = Make<QLineEdit>("Edit1");
    RadioButton5 = Make<QRadioButton>("RadioButton5", QStringLiteral("&This File"));
    RadioButton6 = Make<QRadioButton>("RadioButton6", QStringLiteral("Entire &Directory"));
    RadioButton5->setChecked(true);
    RadioButton3 = Make<QRadioButton>("RadioButton3", QStringLiteral("&Match"));
    RadioButton4 = Make<QRadioButton>("RadioButton4", QStringLiteral("&Includes"));
    RadioButton4->setChecked(true);
    CheckBox1 = Make<QCheckBox>("CheckBox1", QStringLiteral("Case Sensiti&ve"));
    BitBtn3 = Make<QPushButton>("BitBtn3", QStringLiteral(" &Search   "));
    BitBtn3->setIcon(ThemeIcon("edit-find", QStyle::SP_FileDialogContentsView));
    Edit3 = Make<QLineEdit>("Edit3", QStringLiteral("0"));
    Edit3->setReadOnly(true);
    Edit3->setFixedWidth(60);

    auto* where = Make<QGroupBox>("GroupBox1");
    auto* whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(RadioButton5);
    whereLayout->addWidget(RadioButton6);
    auto* how = Make<QGroupBox>("GroupBox2");
    auto* howLayout = new QVBoxLayout(how);
    howLayout->addWidget(RadioButton3);
    howLayout->addWidget(RadioButton4);

    auto* find = new QHBoxLayout;
    find->addWidget(Label("Label1", QStringLiteral("Fi&nd:"), Edit1));
    find->addWidget(Edit1, 1);
    auto* options = new QHBoxLayout;
    options->addWidget(where);
    options->addWidget(how);
    options->addWidget(CheckBox1);
    options->addStretch(1);
    auto* run = new QHBoxLayout;
    run->addWidget(BitBtn3);
    run->addStretch(1);
    run->addWidget(Label("Label2", QStringLiteral("F&ound:"), Edit3));
    run->addWidget(Edit3);
    auto* layout = new QVBoxLayout(TabSheet2);
    layout->addWidget(StringGrid1, 1);
    layout->addLayout(find);
    layout->addLayout(options);
    layout->addLayout(run);
    return TabSheet2;
}

QWidget* TForm1::CreateExportTab() {
    TabSheet3 = Make<QWidget>("TabSheet3");
    Edit4 = Make<QLineEdit>("Edit4");
    Edit7 = Make<QLineEdit>("Edit7");
    RadioButton7 = Make<QRadioButton>("RadioButton7", QStringLiteral("O&ne Sheet"));
    RadioButton8 =
        Make<QRadioButton>("RadioButton8", QStringLiteral("All Sheets into Se&parate Files"));
    RadioButton9 = Make<QRadioButton>("RadioButton9", QStringLiteral("&All Sheets into One File"));
    RadioButton7->setChecked(true);
    RadioButton10 = Make<QRadioButton>("RadioButton10", QStringLiteral("&CSV   (Comma delimited)"));
    RadioButton13 = Make<QRadioButton>("RadioButton13", QStringLiteral("&TXT   (Tab delimited)"));
    RadioButton10->setChecked(true);
    CheckBox3 =
        Make<QCheckBox>("CheckBox3", QStringLiteral("&Batch Mode - All Files in this Directory"));
    CreateBtn = Make<QPushButton>("CreateBtn", QStringLiteral("C&reate File(s)"));
    CreateBtn->setIcon(ThemeIcon("document-save", QStyle::SP_DialogSaveButton));

    auto* names = new QFormLayout;
    names->addRow(Label("Label3", QStringLiteral("Fi&le:"), Edit4), Edit4);
    names->addRow(Label("Label4", QStringLiteral("&Output File:"), Edit7), Edit7);
    auto* mode = Make<QGroupBox>("GroupBox3");
    auto* modeLayout = new QVBoxLayout(mode);
    modeLayout->addWidget(RadioButton7);
    modeLayout->addWidget(RadioButton8);
    modeLayout->addWidget(RadioButton9);
    auto* type = Make<QGroupBox>("GroupBox4", QStringLiteral("File Type"));
    auto* typeLayout = new QVBoxLayout(type);
    typeLayout->addWidget(RadioButton10);
    typeLayout->addWidget(RadioButton13);
    auto* groups = new QHBoxLayout;
    groups->addWidget(mode);
    groups->addWidget(type);
    auto* create = new QHBoxLayout;
    create->addWidget(CreateBtn);
    create->addStretch(1);

    auto* layout = new QVBoxLayout(TabSheet3);
    layout->addLayout(names);
    layout->addLayout(groups);
    layout->addWidget(CheckBox3);
    layout->addStretch(1);
    layout->addLayout(create);
    return TabSheet3;
}

QFrame* TForm1::CreateStatusPanel() {
    Panel3 = Make<QFrame>("Panel3");
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Edit8 = Make<QLineEdit>("Edit8");
    // The progress of the work that runs, and its Cancel button; hidden while none runs.
    ProgressBar1 = Make<QProgressBar>("ProgressBar1");
    ProgressBar1->setRange(0, kProgressSteps);
    ProgressBar1->setMinimumWidth(120);
    ProgressBar1->setMaximumWidth(320);
    ProgressBar1->hide();
    CancelBtn = Make<QPushButton>("CancelBtn", QStringLiteral("Canc&el"));
    CancelBtn->setIcon(ThemeIcon("process-stop", QStyle::SP_BrowserStop));
    CancelBtn->hide();
    BitBtn2 = Make<QPushButton>("BitBtn2", QStringLiteral("  E&xit"));
    BitBtn2->setIcon(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton));
    auto* maker = Label("Label6", QStringLiteral("Brendale Radizeduzu"));
    QFont makerFont = maker->font();
    makerFont.setItalic(true);
    maker->setFont(makerFont);

    auto* layout = new QHBoxLayout(Panel3);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(maker);
    layout->addSpacing(24);
    layout->addWidget(Label("Label5", QStringLiteral("C&urrent File:"), Edit8));
    layout->addWidget(Edit8, 1);
    layout->addSpacing(24);
    layout->addWidget(ProgressBar1, 1);
    layout->addWidget(CancelBtn);
    layout->addWidget(BitBtn2);
    return Panel3;
}

void TForm1::ConnectHandlers() {
    connect(DriveComboBox1, &QComboBox::activated, this, &TForm1::DriveComboBox1Change);
    connect(DirectoryListBox1, &QTreeWidget::itemActivated, this, &TForm1::DirectoryListBox1Change);
    // A keyboard move selects a file as a click does. The report starts on a double click or
    // Enter only: "activated" also fires on a single click where the style asks for that.
    connect(FileListBox1, &QListWidget::itemClicked, this, &TForm1::FileListBox1Click);
    connect(FileListBox1, &TFileListBox::CurrentMovedByKey, this, &TForm1::FileListBox1Click);
    connect(FileListBox1, &QListWidget::itemDoubleClicked, this, &TForm1::FileListBox1DblClick);
    connect(FileListBox1, &TFileListBox::EnterPressed, this, &TForm1::FileListBox1DblClick);
    connect(Edit8, &QLineEdit::textChanged, this, &TForm1::Edit8Change);
    connect(Edit4, &QLineEdit::textEdited, this, &TForm1::Edit4Change);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(m1Open, &QAction::triggered, this, &TForm1::m1OpenClick);
    connect(m1Close, &QAction::triggered, this, &TForm1::m1CloseClick);
    connect(m1Print, &QAction::triggered, this, &TForm1::m1PrintClick);
    connect(m1PrintPreview, &QAction::triggered, this, &TForm1::m1PrintPreviewClick);
    connect(m1PrintSetup, &QAction::triggered, this, &TForm1::m1PrintSetupClick);
    connect(m1Exit, &QAction::triggered, this, &TForm1::m1ExitClick);
    connect(Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(Index1, &QAction::triggered, this, &TForm1::Index1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(Find1, &QAction::triggered, this, &TForm1::Find1Click);
    connect(Refresh1, &QAction::triggered, this, &TForm1::Refresh1Click);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, refreshTimer_,
            qOverload<>(&QTimer::start));
    connect(refreshTimer_, &QTimer::timeout, this, [this] { FillFileList(true); });
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TForm1::CheckBox2Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TForm1::BitBtn5Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TForm1::BitBtn3Click);
    connect(CreateBtn, &QPushButton::clicked, this, &TForm1::CreateBtnClick);
    connect(RadioButton10, &QRadioButton::clicked, this, &TForm1::RadioButton10Click);
    connect(RadioButton13, &QRadioButton::clicked, this, &TForm1::RadioButton13Click);
    connect(CancelBtn, &QPushButton::clicked, this, &TForm1::CancelBtnClick);
    connect(Cancel1, &QAction::triggered, this, &TForm1::CancelBtnClick);
    connect(job_, &TBackgroundJob::Progress, this, &TForm1::ShowProgress);
    connect(job_, &TBackgroundJob::Ended, this, &TForm1::JobEnded);
    connect(job_, &TBackgroundJob::Failed, this, [this](const QString& error) { Message(error); });
}

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
    QString shown = text;
    ProgressBar1->setFormat(shown.replace(QLatin1Char('%'), QStringLiteral("%%")) +
                            QStringLiteral("  %p%"));
    ProgressBar1->setToolTip(text);
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

bool TForm1::ChangeDirectory(const QString& folder) {
    std::error_code error;
    fs::current_path(S(folder), error);
    if (error) {
        Message(QStringLiteral("Can not open the folder %1: %2")
                    .arg(folder, QString::fromLocal8Bit(error.message())));
        return false;
    }
    directory_ = fs::current_path(error).string();
    FillDirectoryList();
    FillFileList();
    SelectDrive();
    WatchDirectory();
    return true;
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
    const fs::path folder(directory_);
    QTreeWidgetItem* parent = nullptr;
    fs::path path;
    const QIcon open = ThemeIcon("folder-open", QStyle::SP_DirOpenIcon);
    for (const fs::path& part : folder) {
        if (part.empty()) continue;
        path /= part;
        auto* item = new QTreeWidgetItem;
        item->setText(0, Q(path == path.root_path() ? path.string() : part.string()));
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

    std::vector<fs::path> subfolders;
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kindError;
        if (!name.starts_with('.') && it->is_directory(kindError)) subfolders.push_back(it->path());
    }
    std::sort(subfolders.begin(), subfolders.end());
    const QIcon closed = ThemeIcon("folder", QStyle::SP_DirIcon);
    for (const fs::path& sub : subfolders) {
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

// Hidden files (names beginning with ".") are not listed.
void TForm1::FillFileList(bool keepSelection) {
    const QListWidgetItem* current = FileListBox1->currentItem();
    const QString selected = keepSelection && current ? current->text() : QString();
    FileListBox1->clear();
    try {
        for (const fs::path& file : ListWorkbooks(directory_)) {
            const QString name = Q(file.filename().string());
            if (name.startsWith(QLatin1Char('.'))) continue;
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
    const QFileInfo info(file);
    if (!ChangeDirectory(info.absolutePath())) return;
    PageControl1->setCurrentWidget(TabSheet1);
    const QList<QListWidgetItem*> listed =
        FileListBox1->findItems(info.fileName(), Qt::MatchExactly);
    if (!listed.isEmpty()) {
        FileListBox1->setCurrentItem(listed.first());
        BitBtn1Click();
        return;
    }
    currentFile_ = S(info.absoluteFilePath());
    Edit8->setText(info.fileName());
    ShowFileInformation();
}

void TForm1::OpenPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        ChangeDirectory(info.absoluteFilePath());
    } else if (info.exists()) {
        OpenDroppedFile(info.absoluteFilePath());
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

// --- Size and place on the screen --------------------------------------------------------

void TForm1::FitOnScreen() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                   outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (frame.isNull()) frame = kFrameEstimate;
    const TWindowPlacement placement =
        PlaceOnScreen(size(), minimumSizeHint(), frame, screen->availableGeometry());
    resize(placement.Size);
    move(placement.FramePosition);
}

// Once shown the real frame is known: a window that does not fit on the screen with it
// is made to fit.
void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (placedAfterShow_ || event->spontaneous()) return;
    placedAfterShow_ = true;
    QTimer::singleShot(0, this, [this] {
        const QScreen* screen = this->screen();
        if (screen && !isMaximized() && !isFullScreen() &&
            !screen->availableGeometry().contains(frameGeometry()))
            FitOnScreen();
    });
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
            if (!outcome.Message.empty()) Message(outcome.Message);
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
