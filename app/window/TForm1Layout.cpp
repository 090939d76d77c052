// The main window's controls, menus and layout, their signals, and its size and place on
// the screen.
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

#include "app/window/WindowSupport.h"

namespace vorlix::app {

namespace fs = std::filesystem;
using namespace window;

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
    // Alt and the marked letter shows a page from anywhere in the window.
    PageControl1->addTab(CreateReportTab(), QStringLiteral("    File &Information         "));
    PageControl1->addTab(CreateSearchTab(), QStringLiteral("    &Search Files     "));
    PageControl1->addTab(CreateExportTab(), QStringLiteral("    Export to CS&V or Text File     "));
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
    // The tabs handle Ctrl+Tab only while one of their own controls has the focus; these
    // change pages wherever the focus is (the file list, the current file's name).
    NextPage1 = key("NextPage1", {});
    NextPage1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)});
    // Shift+Tab comes as Backtab.
    PreviousPage1 = key("PreviousPage1", {});
    PreviousPage1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                 QKeySequence(Qt::CTRL | Qt::Key_PageUp)});
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
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->horizontalHeader()->setStretchLastSection(false);
    StringGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid1->verticalHeader()->setDefaultSectionSize(StringGrid1->fontMetrics().height() + 6);
    // The file and the contents, the long texts, share the room the grid has beyond the
    // columns' own widths.
    StringGrid1->SetColumnWidths(
        std::vector<int>(std::begin(kGridColumnWidths), std::end(kGridColumnWidths)), {0, 4});

    Edit1 = Make<QLineEdit>("Edit1");
    RadioButton5 = Make<QRadioButton>("RadioButton5", QStringLiteral("&This File"));
    RadioButton6 = Make<QRadioButton>("RadioButton6", QStringLiteral("Entire &Directory"));
    RadioButton5->setChecked(true);
    RadioButton3 = Make<QRadioButton>("RadioButton3", QStringLiteral("&Match"));
    RadioButton4 = Make<QRadioButton>("RadioButton4", QStringLiteral("In&cludes"));
    RadioButton4->setChecked(true);
    CheckBox1 = Make<QCheckBox>("CheckBox1", QStringLiteral("C&ase Sensitive"));
    BitBtn3 = Make<QPushButton>("BitBtn3", QStringLiteral(" Sea&rch   "));
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
    ProgressBar1->installEventFilter(this);  // its text is fitted to its width
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
    connect(NextPage1, &QAction::triggered, this, [this] { TurnPage(1); });
    connect(PreviousPage1, &QAction::triggered, this, [this] { TurnPage(-1); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, refreshTimer_,
            qOverload<>(&QTimer::start));
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        FillFileList(true);
        if (!Busy()) ForgetCurrentFileOutsideFolder();
    });
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

}  // namespace vorlix::app
