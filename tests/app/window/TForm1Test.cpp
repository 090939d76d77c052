// The main window and the about box on Qt's offscreen platform: the controls, the file
// browser, the three commands driven through their handlers, printing, help and dropping.
// Messages go to a recorder instead of boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "app/window/TAboutBox.h"
#include "app/window/TForm1.h"
#include "app/window/WindowSupport.h"
#include "platform/RegionalSettings.h"
#include "platform/ScreenMetrics.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WorkbookFixtures.h"

namespace vorlix::app {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

struct TCellSpec {
    std::uint16_t row;
    std::uint16_t col;
    std::variant<double, std::string> value;
};
struct TSheetSpec {
    std::string name;
    std::vector<TCellSpec> cells;
};

// A workbook stream; texts go through the shared string table. With a password the
// workbook is encrypted with it (a user password, so the commands refuse it).
Bytes Book(const std::vector<TSheetSpec>& sheets, const std::u16string& password = u"") {
    std::vector<std::string> strings;
    for (const TSheetSpec& sheet : sheets) {
        for (const TCellSpec& cell : sheet.cells) {
            if (const auto* text = std::get_if<std::string>(&cell.value)) strings.push_back(*text);
        }
    }
    test::BiffBuilder b;
    b.Record(rec::kBof, test::BofBody(test::kGlobalsSubstream));
    if (!password.empty()) b.FilePass(password);
    for (const TSheetSpec& sheet : sheets)
        b.Record(rec::kBoundSheet8, test::BoundSheetBody(sheet.name));
    b.Record(rec::kSst, test::SstBody(strings));
    b.Record(rec::kEof, {});
    std::uint32_t nextString = 0;
    for (const TSheetSpec& sheet : sheets) {
        test::RecordList records;
        for (const TCellSpec& cell : sheet.cells) {
            if (const auto* number = std::get_if<double>(&cell.value)) {
                records.emplace_back(rec::kNumber,
                                     test::NumberBody(cell.row, cell.col, 0, *number));
            } else {
                records.emplace_back(rec::kLabelSst,
                                     test::LabelSstBody(cell.row, cell.col, 0, nextString++));
            }
        }
        test::AppendSubstream(b, test::kWorksheetSubstream, records);
    }
    return b.Build();
}

// 5 in A1, abc in B1, 2.5 in A3.
Bytes ExampleBook() {
    return Book({{"Sheet1", {{0, 0, 5.0}, {0, 1, std::string("abc")}, {2, 0, 2.5}}}});
}
// One sheet "Numbers" of `rows` rows of `cols` numbers, the row's number in each.
Bytes NumberBook(int rows, int cols = 1) {
    std::vector<TCellSpec> cells;
    cells.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            cells.push_back({static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(c),
                             static_cast<double>(r)});
    }
    return Book({{"Numbers", cells}});
}
// Two readable sheets with the same names read as a damaged workbook.
Bytes DamagedBook() {
    return Book({{"One", {}}, {"One", {}}});
}

struct TShown {
    QString text;
    bool hourglass;  // the wait cursor was still up
};

class TRecorder final : public TMessages {
  public:
    // Questions go to `asked` and get `answer`.
    TRecorder(std::vector<TShown>& log, std::vector<QString>& asked, const bool& answer)
        : log_(log), asked_(asked), answer_(answer) {}
    void Show(const QString& text) override {
        log_.push_back({text, QApplication::overrideCursor() != nullptr});
    }
    bool Ask(const QString& question) override {
        asked_.push_back(question);
        return answer_;
    }

  private:
    std::vector<TShown>& log_;
    std::vector<QString>& asked_;
    const bool& answer_;
};

class TForm1Test : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetRegionalSettings(platform::TRegionalSettings{});
        fs::current_path(dir_.path());
    }
    void TearDown() override {
        form_.reset();
        fs::current_path(savedDir_);
    }

    // The window, opened on the test's folder once its files are written.
    TForm1& Form() {
        if (!form_)
            form_ = std::make_unique<TForm1>(std::make_unique<TRecorder>(shown_, asked_, answer_));
        return *form_;
    }
    template <typename T>
    T* Find(const char* name) {
        T* widget = Form().findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QAbstractButton* Button(const char* name) { return Find<QAbstractButton>(name); }
    TStringGrid* Grid() { return Find<TStringGrid>("StringGrid1"); }
    QListWidget* FileList() { return Find<QListWidget>("FileListBox1"); }
    QStringList MemoLines() {
        const QString text = Find<QPlainTextEdit>("Memo1")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
    QStringList Messages() const {
        QStringList texts;
        for (const TShown& s : shown_)
            texts << s.text;
        return texts;
    }
    QStringList GridRow(int row) {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << Grid()->Cell(c, row);
        return cells;
    }

    void Write(const std::string& name, const Bytes& stream) {
        test::WriteWorkbook(dir_ / name, stream);
    }
    void Select(const QString& name) {
        const auto items = FileList()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        FileList()->setCurrentItem(items.first());
    }
    void ShowTab(int index) { Find<QTabWidget>("PageControl1")->setCurrentIndex(index); }
    void ClickFile(const QString& name, bool twice = false) {
        Form().show();
        const auto items = FileList()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        const QPoint at = FileList()->visualItemRect(items.first()).center();
        QTest::mouseClick(FileList()->viewport(), Qt::LeftButton, {}, at);
        if (twice) {  // the second press of a double click, then its release
            QTest::mouseDClick(FileList()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(FileList()->viewport(), Qt::LeftButton, {}, at);
        }
    }
    fs::path Here() const { return fs::current_path(); }
    QStringList FileNames() {
        QStringList names;
        for (int i = 0; i < FileList()->count(); ++i)
            names << FileList()->item(i)->text();
        return names;
    }
    // The window shown and active, so that keys reach it.
    void Activate() {
        Form().show();
        Form().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
    }
    // Lets events run until `done` holds, for at most `ms` milliseconds.
    static bool WaitFor(const std::function<bool()>& done, int ms = 5000, int step = 20) {
        for (QDeadlineTimer deadline(ms); !done();) {
            if (deadline.hasExpired()) return false;
            QTest::qWait(step);
        }
        return true;
    }
    // Lets events run until the work the window started is over and its results shown.
    void AwaitJob() {
        EXPECT_TRUE(WaitFor([this] { return !Form().Busy(); }, 60000, 2)) << "still working";
    }

    const fs::path savedDir_ = fs::current_path();
    test::TempDir dir_;
    std::vector<TShown> shown_;
    std::vector<QString> asked_;
    bool answer_ = true;  // to every question
    std::unique_ptr<TForm1> form_;
};

// --- The window as it starts ---------------------------------------------------------------

TEST_F(TForm1Test, StartsOnTheFirstTabWithAnEmptyResultGrid) {
    platform::SetScreenDpi(50);
    TForm1& form = Form();
    EXPECT_EQ(platform::ScreenDpi(),
              qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY()));
    EXPECT_EQ(form.windowTitle(), "   Vorlix  Excel Utilities");
    form.show();
    EXPECT_EQ(form.centralWidget()->size(), QSize(789, 494));  // the screen has room for it

    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentWidget(), Find<QWidget>("TabSheet1"));
    EXPECT_EQ(Grid()->RowCount(), 20);
    EXPECT_EQ(GridRow(0),
              QStringList({"       File", " Sheet", " Row", " Col", "         Contents"}));
    // The columns have their widths; the file and the contents take the room left over.
    ShowTab(1);
    QApplication::processEvents();
    const int widths[] = {134, 49, 41, 39, 241};
    int total = 0;
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(Grid()->columnWidth(c) == widths[c], c != 0 && c != 4) << c;
        EXPECT_GE(Grid()->columnWidth(c), widths[c]) << c;
        total += Grid()->columnWidth(c);
    }
    EXPECT_EQ(total, Grid()->viewport()->width());
    ShowTab(0);
    EXPECT_EQ(Edit("Edit3")->text(), "0");
    EXPECT_TRUE(form.CurrentFile().empty());
    EXPECT_TRUE(Messages().isEmpty());
}

// A control's text as shown, without the "&" that marks its mnemonic.
QString Shown(QString text) {
    return text.remove(QLatin1Char('&'));
}
// The letter that Alt takes to a control, or 0.
QChar Mnemonic(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1Char('&'));
    return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
}

TEST_F(TForm1Test, ControlsCarryTheirNamesAndTexts) {
    // Buttons and menu items alike have a "text" property; menu items keep their "&".
    const std::map<std::string, QString> texts = {
        {"BitBtn1", "Get File Information"},
        {"CheckBox2", "Show Contents"},
        {"BitBtn5", "  Clear"},
        {"RadioButton5", "This File"},
        {"RadioButton6", "Entire Directory"},
        {"RadioButton3", "Match"},
        {"RadioButton4", "Includes"},
        {"CheckBox1", "Case Sensitive"},
        {"BitBtn3", " Search   "},
        {"RadioButton7", "One Sheet"},
        {"RadioButton8", "All Sheets into Separate Files"},
        {"RadioButton9", "All Sheets into One File"},
        {"RadioButton10", "CSV   (Comma delimited)"},
        {"RadioButton13", "TXT   (Tab delimited)"},
        {"CheckBox3", "Batch Mode - All Files in this Directory"},
        {"CreateBtn", "Create File(s)"},
        {"BitBtn2", "  Exit"},
        {"m1Open", "&Open Excel File"},
        {"m1Close", "&Close Excel File"},
        {"m1Print", "&Print"},
        {"m1PrintPreview", "Print Pre&view"},
        {"m1PrintSetup", "P&rinter Setup"},
        {"m1Exit", "E&xit"},
        {"Contents1", "&Contents"},
        {"Index1", "&Index"},
        {"About1", "&About"},
    };
    for (const auto& [name, text] : texts) {
        if (QObject* control = Find<QObject>(name.c_str())) {
            const QString shown = control->property("text").toString();
            EXPECT_EQ(qobject_cast<QAction*>(control) ? shown : Shown(shown), text) << name;
        }
    }
    for (const char* checked : {"RadioButton5", "RadioButton4", "RadioButton7", "RadioButton10"})
        EXPECT_TRUE(Button(checked)->isChecked()) << checked;
    for (const char* unchecked : {"CheckBox1", "CheckBox2", "CheckBox3", "RadioButton9"})
        EXPECT_FALSE(Button(unchecked)->isChecked()) << unchecked;

    auto* tabs = Find<QTabWidget>("PageControl1");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(Shown(tabs->tabText(0)), "    File Information         ");
    EXPECT_EQ(Shown(tabs->tabText(1)), "    Search Files     ");
    EXPECT_EQ(Shown(tabs->tabText(2)), "    Export to CSV or Text File     ");
    EXPECT_EQ(tabs->widget(1), Find<QWidget>("TabSheet2"));
    EXPECT_EQ(tabs->widget(2), Find<QWidget>("TabSheet3"));

    // The labels, by the field they name; the maker's label names none.
    std::map<QString, QString> labels;
    for (QLabel* label : Form().findChildren<QLabel*>())
        labels[label->buddy() ? label->buddy()->objectName() : label->text()] =
            Shown(label->text());
    EXPECT_EQ(labels["Edit1"], "Find:");
    EXPECT_EQ(labels["Edit3"], "Found:");
    EXPECT_EQ(labels["Edit4"], "File:");
    EXPECT_EQ(labels["Edit7"], "Output File:");
    EXPECT_EQ(labels["Edit8"], "Current File:");
    EXPECT_TRUE(labels.contains("Brendale Radizeduzu"));
    EXPECT_EQ(Find<QGroupBox>("GroupBox4")->title(), "File Type");
    QStringList menus;
    for (QAction* menu : Find<QMenuBar>("MainMenu1")->actions())
        menus << menu->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Help"}));
    for (const char* name : {"DriveComboBox1", "DirectoryListBox1", "Memo1", "Panel3"})
        Find<QWidget>(name);
}

TEST_F(TForm1Test, MnemonicsReachTheControlsWithoutClashing) {
    // The letters Alt takes: the menus, the tabs and the bottom panel always, the controls
    // of the tab shown. Every button, tab and label of a field has one, and none is taken
    // twice.
    QWidget* panel = Find<QWidget>("Panel3");
    QString menus;
    for (QAction* menu : Find<QMenuBar>("MainMenu1")->actions())
        menus += Mnemonic(menu->text());
    auto* tabs = Find<QTabWidget>("PageControl1");
    for (int i = 0; i < tabs->count(); ++i) {
        EXPECT_FALSE(Mnemonic(tabs->tabText(i)).isNull()) << i;
        menus += Mnemonic(tabs->tabText(i));
    }
    for (int i = 0; i < tabs->count(); ++i) {
        QString letters = menus;
        for (QWidget* area : {panel, tabs->widget(i)}) {
            for (QAbstractButton* button : area->findChildren<QAbstractButton*>()) {
                if (button->text().isEmpty()) continue;  // the grid's corner
                EXPECT_FALSE(Mnemonic(button->text()).isNull())
                    << button->objectName().toStdString();
                letters += Mnemonic(button->text());
            }
            for (QLabel* label : area->findChildren<QLabel*>()) {
                if (!label->buddy()) continue;
                EXPECT_FALSE(Mnemonic(label->text()).isNull()) << label->text().toStdString();
                letters += Mnemonic(label->text());
            }
        }
        for (const QChar letter : letters)
            EXPECT_EQ(letters.count(letter), 1) << "tab " << i << ": " << letters.toStdString();
    }

    Activate();
    ShowTab(1);
    QTest::keyClick(&Form(), Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return Button("RadioButton6")->isChecked(); }));
    QTest::keyClick(&Form(), Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), Edit("Edit1"));
    QTest::keyClick(&Form(), Qt::Key_V, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([tabs] { return tabs->currentIndex() == 2; }));
    QTest::keyClick(&Form(), Qt::Key_I, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([tabs] { return tabs->currentIndex() == 0; }));
}

TEST_F(TForm1Test, CtrlTabChangesPagesWhereverTheFocusIs) {
    Write("a.xls", ExampleBook());
    Activate();
    auto* tabs = Find<QTabWidget>("PageControl1");
    const auto press = [this](QWidget* at, Qt::KeyboardModifiers modifiers, Qt::Key key) {
        at->setFocus();
        QTest::keyClick(at, key, modifiers);
        QApplication::processEvents();
    };
    press(FileList(), Qt::ControlModifier, Qt::Key_Tab);
    EXPECT_EQ(tabs->currentIndex(), 1);
    press(Edit("Edit8"), Qt::ControlModifier, Qt::Key_Tab);
    EXPECT_EQ(tabs->currentIndex(), 2);
    press(Edit("Edit7"), Qt::ControlModifier, Qt::Key_Tab);  // round to the first
    EXPECT_EQ(tabs->currentIndex(), 0);
    press(Find<QWidget>("Memo1"), Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Backtab);
    EXPECT_EQ(tabs->currentIndex(), 2);
    press(FileList(), Qt::ControlModifier, Qt::Key_PageUp);
    EXPECT_EQ(tabs->currentIndex(), 1);
}

TEST_F(TForm1Test, WindowGrowsWithItsListsReportAndGrid) {
    Activate();
    ASSERT_TRUE(
        QApplication::primaryScreen()->availableGeometry().contains(Form().frameGeometry()));
    EXPECT_GT(Form().maximumWidth(), 2000);
    EXPECT_GT(Form().maximumHeight(), 2000);
    EXPECT_LT(Form().minimumSizeHint().width(), 640);  // fits a 1280 pixel screen at scale 2
    EXPECT_LT(Form().minimumSizeHint().height(), 430);

    const std::vector<QWidget*> growing = {Find<QWidget>("Memo1"), Grid(),
                                           Find<QWidget>("DirectoryListBox1"), FileList()};
    std::vector<QSize> before;
    for (int tab = 0; tab < 2; ++tab) {  // each page's sizes are set when it shows
        ShowTab(tab);
        QApplication::processEvents();
    }
    for (QWidget* widget : growing)
        before.push_back(widget->size());
    Form().resize(Form().size() + QSize(300, 200));
    for (int tab = 1; tab >= 0; --tab) {
        ShowTab(tab);
        QApplication::processEvents();
    }
    for (std::size_t i = 0; i < growing.size(); ++i) {
        const std::string name = growing[i]->objectName().toStdString();
        EXPECT_GE(growing[i]->height(), before[i].height() + 100) << name;
        if (i < 2) {  // the file lists grow in height, the splitter gives them width
            EXPECT_GE(growing[i]->width(), before[i].width() + 250) << name;
        }
    }
    // The grid's file and contents columns widen with it, until the user sizes a column.
    ShowTab(1);
    QApplication::processEvents();
    const int file = Grid()->columnWidth(0);
    const int contents = Grid()->columnWidth(4);
    EXPECT_GE(contents, 241 + 150);
    EXPECT_GE(file, 134 + 80);
    EXPECT_EQ(file + 49 + 41 + 39 + contents, Grid()->viewport()->width());
    Grid()->setColumnWidth(1, 90);
    Form().resize(Form().size() - QSize(200, 0));
    QApplication::processEvents();
    EXPECT_EQ(Grid()->columnWidth(0), file);
    EXPECT_EQ(Grid()->columnWidth(1), 90);
    Form().showMaximized();
    EXPECT_TRUE(Form().isMaximized());
}

TEST(PlaceOnScreenTest, KeepsThePreferredSizeWhereItFitsAndTheTitleBarOnScreen) {
    const QSize preferred(789, 516);
    const QSize minimum(560, 380);
    const QMargins frame(4, 36, 4, 4);
    struct TCase {
        QRect available;
        QSize size;
        QPoint frameAt;
    };
    const TCase cases[] = {
        // Room enough: the preferred size, centred with its frame.
        {{0, 0, 1280, 900}, {789, 516}, {(1280 - 797) / 2, (900 - 556) / 2}},
        // A panel at the top and a second screen on the right: centred in that area.
        {{1280, 27, 1920, 1053}, {789, 516}, {1280 + (1920 - 797) / 2, 27 + (1053 - 556) / 2}},
        // 1280x900 at scale 2 leaves 640x450: smaller, the frame's corner in the area.
        {{0, 0, 640, 450}, {632, 410}, {0, 0}},
        {{0, 30, 640, 420}, {632, 380}, {0, 30}},
        // Smaller than the least the window needs: its title bar still shows.
        {{0, 0, 400, 300}, {560, 380}, {0, 0}},
    };
    for (const TCase& c : cases) {
        const TWindowPlacement placement = PlaceOnScreen(preferred, minimum, frame, c.available);
        EXPECT_EQ(placement.Size, c.size) << c.available.width() << 'x' << c.available.height();
        EXPECT_EQ(placement.FramePosition, c.frameAt)
            << c.available.width() << 'x' << c.available.height();
    }
}

// --- The file browser ----------------------------------------------------------------------

TEST_F(TForm1Test, BrowserListsTheWorkbooksOfTheChosenFolder) {
    Write("b.xls", ExampleBook());
    Write("A.XLS", ExampleBook());
    test::WriteFile(dir_ / "c.txt", {});
    test::WriteFile(dir_ / "old.xls.bak", {});
    fs::create_directory(dir_ / "folder.xls");
    fs::create_directory(dir_ / "sub");
    Write("sub/inner.xls", ExampleBook());
    const fs::path top = Here();

    QStringList files;
    for (int i = 0; i < FileList()->count(); ++i)
        files << FileList()->item(i)->text();
    EXPECT_EQ(files, QStringList({"A.XLS", "b.xls"}));
    EXPECT_GE(Find<QComboBox>("DriveComboBox1")->currentIndex(), 0);

    auto* folders = Find<QTreeWidget>("DirectoryListBox1");
    QTreeWidgetItem* current = folders->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->text(0).toStdString(), top.filename().string());
    ASSERT_EQ(current->childCount(), 2);  // folder.xls and sub, in name order
    EXPECT_EQ(current->child(1)->text(0), "sub");

    folders->setCurrentItem(current->child(1));
    Form().DirectoryListBox1Change();
    EXPECT_EQ(Here(), top / "sub");
    ASSERT_EQ(FileList()->count(), 1);
    EXPECT_EQ(FileList()->item(0)->text(), "inner.xls");
    // The folder above is listed among the ancestors and takes the browser back.
    folders->setCurrentItem(folders->currentItem()->parent());
    Form().DirectoryListBox1Change();
    EXPECT_EQ(Here(), top);
}

TEST_F(TForm1Test, FileListClickDependsOnTheActiveTab) {
    Write("a.xls", ExampleBook());
    Write("b.xls", ExampleBook());
    ClickFile("b.xls");
    EXPECT_TRUE(Edit("Edit8")->text().isEmpty());
    EXPECT_TRUE(Form().CurrentFile().empty());

    ShowTab(1);
    ClickFile("b.xls");
    EXPECT_EQ(Edit("Edit8")->text(), "b.xls");
    EXPECT_EQ(Form().CurrentFile(), "b.xls");
    EXPECT_EQ(Edit("Edit4")->text(), "b.xls");
    EXPECT_EQ(Edit("Edit7")->text(), "b.CSV");

    // A double click reports on the file on the first tab.
    ShowTab(2);
    ClickFile("a.xls", true);
    AwaitJob();
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 0);
    EXPECT_EQ(Form().CurrentFile(), (Here() / "a.xls").string());
    EXPECT_EQ(Edit("Edit8")->text(), "a.xls");
    EXPECT_EQ(MemoLines().value(0), "This file contains: 1 Worksheets");
}

// A desktop set to open items on a single click.
class TSingleClickStyle final : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_ItemView_ActivateItemOnSingleClick) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

TEST_F(TForm1Test, FileListFollowsTheKeyboardAndOpensOnlyOnDoubleClickOrEnter) {
    Write("a.xls", ExampleBook());
    Write("b.xls", ExampleBook());
    Write("c.xls", ExampleBook());
    auto* style = new TSingleClickStyle;
    style->setParent(&Form());
    FileList()->setStyle(style);
    const auto reported = [this] { return !MemoLines().isEmpty(); };

    // One click selects, and no more, where a click activates.
    ShowTab(1);
    ClickFile("b.xls");
    EXPECT_EQ(Edit("Edit8")->text(), "b.xls");
    EXPECT_EQ(Form().CurrentFile(), "b.xls");
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 1);
    EXPECT_FALSE(reported());

    // Keyboard moves select as a click does, including the first tab's rule.
    QTest::keyClick(FileList(), Qt::Key_Down);
    EXPECT_EQ(Edit("Edit8")->text(), "c.xls");
    EXPECT_EQ(Form().CurrentFile(), "c.xls");
    EXPECT_EQ(Edit("Edit7")->text(), "c.CSV");
    QTest::keyClick(FileList(), Qt::Key_Home);
    EXPECT_EQ(Form().CurrentFile(), "a.xls");
    ShowTab(0);
    QTest::keyClick(FileList(), Qt::Key_Down);
    EXPECT_EQ(FileList()->currentItem()->text(), "b.xls");
    EXPECT_EQ(Form().CurrentFile(), "a.xls");
    EXPECT_FALSE(reported());

    // Enter reports on the current file.
    ShowTab(2);
    QTest::keyClick(FileList(), Qt::Key_Return);
    AwaitJob();
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 0);
    EXPECT_EQ(Form().CurrentFile(), (Here() / "b.xls").string());
    EXPECT_TRUE(reported());

    // So does a double click.
    Form().BitBtn5Click();
    ShowTab(1);
    ClickFile("c.xls", true);
    AwaitJob();
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 0);
    EXPECT_EQ(Form().CurrentFile(), (Here() / "c.xls").string());
    EXPECT_TRUE(reported());
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(TForm1Test, FileListFollowsTheFolderOnDiskAndLeavesOutHiddenFiles) {
    Write("a.xls", ExampleBook());
    Write(".hidden.xls", ExampleBook());
    Activate();
    EXPECT_EQ(FileNames(), QStringList({"a.xls"}));
    EXPECT_EQ(FileList()->item(0)->toolTip(), "a.xls");  // the whole name, where it is cut
    Select("a.xls");

    // Files written, renamed or removed by others show without a word from the user; the
    // selected file stays selected.
    Write("b.xls", ExampleBook());
    EXPECT_TRUE(WaitFor([this] {
        return FileNames() == QStringList({"a.xls", "b.xls"});
    })) << FileNames().join(' ').toStdString();
    EXPECT_EQ(FileList()->currentItem()->text(), "a.xls");
    fs::rename(dir_ / "b.xls", dir_ / "c.xls");
    EXPECT_TRUE(WaitFor([this] { return FileNames() == QStringList({"a.xls", "c.xls"}); }));
    fs::remove(dir_ / "c.xls");
    EXPECT_TRUE(WaitFor([this] { return FileNames() == QStringList({"a.xls"}); }));

    // F5 reads the folder again at once, its subfolders too.
    Write("d.xls", ExampleBook());
    fs::create_directory(dir_ / "sub");
    QTest::keyClick(&Form(), Qt::Key_F5);
    EXPECT_EQ(FileNames(), QStringList({"a.xls", "d.xls"}));
    EXPECT_EQ(FileList()->currentItem()->text(), "a.xls");
    QTreeWidgetItem* folder = Find<QTreeWidget>("DirectoryListBox1")->currentItem();
    ASSERT_EQ(folder->childCount(), 1);
    EXPECT_EQ(folder->child(0)->text(0), "sub");
    EXPECT_EQ(folder->child(0)->toolTip(0).toStdString(), (Here() / "sub").string());

    // Another folder is followed instead of the first.
    Form().ChangeDirectory(QString::fromStdString((Here() / "sub").string()));
    EXPECT_TRUE(FileNames().isEmpty());
    Write("sub/e.xls", ExampleBook());
    Write("f.xls", ExampleBook());
    EXPECT_TRUE(WaitFor([this] { return FileNames() == QStringList({"e.xls"}); }));
    QTest::qWait(300);
    EXPECT_EQ(FileNames(), QStringList({"e.xls"}));
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(TForm1Test, CurrentFileFollowsTheFolder) {
    fs::create_directory(dir_ / "sub");
    Write("a.xls", ExampleBook());
    Write("sub/c.xls", ExampleBook());
    const fs::path top = Here();
    ShowTab(2);
    ClickFile("a.xls");
    ASSERT_EQ(Form().CurrentFile(), "a.xls");
    ASSERT_EQ(Edit("Edit4")->text(), "a.xls");

    // In another folder neither the current file nor "File:" names the first folder's
    // workbook: the export asks which workbook to write.
    Form().ChangeDirectory(QString::fromStdString((top / "sub").string()));
    EXPECT_TRUE(Form().CurrentFile().empty());
    EXPECT_TRUE(Edit("Edit8")->text().isEmpty());
    EXPECT_TRUE(Edit("Edit4")->text().isEmpty());
    EXPECT_TRUE(Edit("Edit7")->text().isEmpty());
    Form().CreateBtnClick();
    EXPECT_EQ(Messages(), QStringList({kChooseWorkbook}));
    shown_.clear();

    // A current file of this folder stays through a change to the same folder; once deleted
    // it is forgotten.
    ClickFile("c.xls");
    Form().ChangeDirectory(QString::fromStdString((top / "sub").string()));
    EXPECT_EQ(Edit("Edit8")->text(), "c.xls");
    fs::remove(top / "sub" / "c.xls");
    EXPECT_TRUE(WaitFor([this] { return Edit("Edit8")->text().isEmpty(); }));
    EXPECT_TRUE(Form().CurrentFile().empty());
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(TForm1Test, StartsOnTheFileOrFolderItIsGiven) {
    fs::create_directory(dir_ / "books");
    Write("books/one.xls", ExampleBook());
    const fs::path top = Here();

    Form().OpenPath(QString::fromStdString((top / "books").string()));
    EXPECT_EQ(Here(), top / "books");
    EXPECT_EQ(FileNames(), QStringList({"one.xls"}));
    EXPECT_TRUE(MemoLines().isEmpty());

    fs::current_path(top);
    Form().OpenPath("books/one.xls");  // as typed on the command line
    AwaitJob();
    EXPECT_EQ(Here(), top / "books");
    EXPECT_EQ(Form().CurrentFile(), (top / "books" / "one.xls").string());
    EXPECT_EQ(Edit("Edit8")->text(), "one.xls");
    EXPECT_EQ(MemoLines().value(2), "Sheet 1 (named Sheet1) has 3 cells");
    EXPECT_TRUE(Messages().isEmpty());

    Form().OpenPath("missing.xls");
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains("missing.xls"));
    EXPECT_EQ(Here(), top / "books");
}

// File names are bytes on Linux: a folder and names that are not UTF-8, or hold quotes or a
// newline, are listed, opened, reported on and exported under the names they have on disk.
TEST_F(TForm1Test, NamesThatAreNotTextStillOpenTheirFiles) {
    const std::string folder = "d\xFF";
    const std::string latin1 = "caf\xE9 \"menu\".xls";
    const std::string newline = "two\nlines.xls";
    fs::create_directory(dir_ / folder);
    Write(folder + "/" + latin1, ExampleBook());
    Write(folder + "/" + newline, ExampleBook());
    const fs::path top = Here();

    Form().OpenPath(window::Q((top / folder).string()));
    EXPECT_EQ(Here(), top / folder);
    ASSERT_EQ(FileList()->count(), 2);
    const std::vector<std::string> names = {latin1, newline};  // in byte order
    for (int row = 0; row < 2; ++row) {
        const std::string& name = names[static_cast<std::size_t>(row)];
        FileList()->setCurrentRow(row);
        Form().BitBtn1Click();
        AwaitJob();
        EXPECT_EQ(Form().CurrentFile(), (top / folder / name).string());
        EXPECT_EQ(MemoLines().value(2), "Sheet 1 (named Sheet1) has 3 cells");
    }
    Form().CreateBtnClick();  // the current file, the newline one
    AwaitJob();
    EXPECT_TRUE(fs::exists(top / folder / "two\nlines.CSV"));

    fs::current_path(top);
    Form().OpenPath(window::Q(folder + "/" + latin1));  // as given on the command line
    AwaitJob();
    EXPECT_EQ(Form().CurrentFile(), (top / folder / latin1).string());

    // Dropped from a file manager: a URL whose path holds the name's bytes, percent-encoded.
    const std::string dropped = (top / folder / newline).string();
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromEncoded("file://" + QByteArray::fromStdString(dropped).toPercentEncoding("/"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &drop);
    AwaitJob();
    EXPECT_EQ(Form().CurrentFile(), dropped);
    EXPECT_EQ(Messages(), QStringList({kExportDone}));
}

TEST_F(TForm1Test, Edit8ChangeFillsTheExportNames) {
    Edit("Edit8")->setText("sales.final.xls");
    EXPECT_EQ(Edit("Edit4")->text(), "sales.final.xls");
    EXPECT_EQ(Edit("Edit7")->text(), "sales.CSV");
    Edit("Edit8")->setText("book");
    EXPECT_EQ(Edit("Edit7")->text(), "CSV");

    Button("RadioButton13")->click();
    EXPECT_EQ(Edit("Edit7")->text(), "TXT");
    QTest::keyClicks(Edit("Edit8"), ".xls");  // typed: "book.xls"
    EXPECT_EQ(Edit("Edit7")->text(), "book.TXT");
    Button("RadioButton10")->click();
    EXPECT_EQ(Edit("Edit7")->text(), "book.CSV");

    // Emptying the current file empties "File:" but keeps the output name.
    Edit("Edit8")->clear();
    EXPECT_TRUE(Edit("Edit4")->text().isEmpty());
    EXPECT_EQ(Edit("Edit7")->text(), "book.CSV");
    Edit("Edit7")->clear();
    Button("RadioButton13")->click();
    EXPECT_TRUE(Edit("Edit7")->text().isEmpty());
}

// --- File information report ---------------------------------------------------------------

TEST_F(TForm1Test, ReportsTheSelectedWorkbook) {
    Write("book.xls", ExampleBook());
    Write("empty.xls", Book({{"Sheet1", {}}}));

    Form().BitBtn1Click();  // nothing selected: the first file
    AwaitJob();
    EXPECT_EQ(MemoLines(), QStringList({"This file contains: 1 Worksheets", "",
                                        "Sheet 1 (named Sheet1) has 3 cells"}));
    EXPECT_EQ(Form().CurrentFile(), (Here() / "book.xls").string());
    EXPECT_EQ(Edit("Edit8")->text(), "book.xls");
    EXPECT_EQ(Edit("Edit7")->text(), "book.CSV");

    Button("CheckBox2")->click();  // runs the report again, with the contents
    AwaitJob();
    EXPECT_EQ(MemoLines(), QStringList({"This file contains: 1 Worksheets", "",
                                        "Sheet 1 (named Sheet1) has 3 cells", "", "Sheet 1",
                                        "--------", "5; abc", "2.5", ""}));
    auto* memo = Find<QPlainTextEdit>("Memo1");
    EXPECT_EQ(memo->textCursor().position(), 0);
    EXPECT_FALSE(memo->textCursor().hasSelection());

    Select("empty.xls");
    Form().m1OpenClick();
    AwaitJob();
    EXPECT_EQ(MemoLines(),
              QStringList({"This file contains: 1 Worksheets", "",
                           "Sheet 1 (named Sheet1) is empty", "", "Sheet 1", "--------", "", ""}));

    Button("BitBtn5")->click();
    EXPECT_TRUE(MemoLines().isEmpty());
    EXPECT_TRUE(Edit("Edit7")->text().isEmpty());
    EXPECT_TRUE(Edit("Edit8")->text().isEmpty());
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(TForm1Test, ReportIsReadOnlyButSelectableAndTabLeavesIt) {
    Write("book.xls", ExampleBook());
    Activate();
    Form().BitBtn1Click();
    AwaitJob();
    auto* memo = Find<QPlainTextEdit>("Memo1");
    ASSERT_EQ(QApplication::focusWidget(), memo);
    const QString report = memo->toPlainText();

    QTest::keyClicks(memo, "typed");
    QTest::keyClick(memo, Qt::Key_Delete);
    QTest::keyClick(memo, Qt::Key_Return);
    EXPECT_EQ(memo->toPlainText(), report);

    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), report);

    QTest::keyClick(memo, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), memo);
    EXPECT_EQ(memo->toPlainText(), report);
}

TEST_F(TForm1Test, RefusedAndDamagedWorkbooksAreExplainedAndTheWindowGoesOn) {
    Form().BitBtn1Click();
    Form().CheckBox2Click();
    Form().BitBtn3Click();
    EXPECT_EQ(Messages(), QStringList(3, kNoExcelFiles));
    shown_.clear();

    Write("damaged.xls", DamagedBook());
    Write("locked.xls", Book({{"Sheet1", {}}}, u"secret"));
    test::WriteFile(dir_ / "text.xls", test::Body().ascii("Name,Value\r\n"));
    Write("zgood.xls", ExampleBook());
    Form().ChangeDirectory(QString::fromStdString(Here().string()));
    for (const char* name : {"text.xls", "locked.xls", "damaged.xls"}) {
        Select(name);
        Form().BitBtn1Click();
        AwaitJob();
        EXPECT_TRUE(MemoLines().isEmpty()) << name;
    }
    const QString text = QString::fromStdString((Here() / "text.xls").string()) +
                         " is a CSV or other delimited text file, not an Excel workbook";
    EXPECT_EQ(Messages(),
              QStringList({text, kPasswordProtected, "Invalid or duplicated sheet name."}));
    Select("zgood.xls");
    Form().BitBtn1Click();
    AwaitJob();
    EXPECT_EQ(MemoLines().size(), 3);

    // After "Clear" the export asks for a workbook; with an output name it takes the
    // selection when "File:" is empty.
    shown_.clear();
    Button("BitBtn5")->click();
    Form().CreateBtnClick();
    EXPECT_EQ(Messages(), QStringList({kChooseWorkbook}));
    shown_.clear();
    Edit("Edit7")->setText("out.CSV");
    for (const char* name : {"locked.xls", "text.xls"}) {
        Select(name);
        Form().CreateBtnClick();
        AwaitJob();
        EXPECT_EQ(Form().CurrentFile(), (Here() / name).string());
    }
    EXPECT_EQ(Messages(), QStringList({kPasswordProtected, text}));
}

// --- Text search ---------------------------------------------------------------------------

TEST_F(TForm1Test, CloseThenSearchThisFileSearchesTheSelectedFile) {
    Write("a.xls", Book({{"S", {{0, 0, std::string("nothing")}}}}));
    Write("b.xls", Book({{"S", {{4, 2, std::string("xABCx")}}}}));
    Select("b.xls");
    Form().BitBtn1Click();
    AwaitJob();
    Form().m1CloseClick();
    EXPECT_EQ(Form().CurrentFile(), "nil");
    EXPECT_TRUE(MemoLines().isEmpty());
    EXPECT_TRUE(Edit("Edit8")->text().isEmpty());

    Edit("Edit1")->setText("abc");
    Button("BitBtn3")->click();
    AwaitJob();
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(Form().CurrentFile(), (Here() / "b.xls").string());
    EXPECT_EQ(Form().SearchText(), "abc");  // folded by case
    EXPECT_EQ(GridRow(1), QStringList({"b.xls", "1", "5", "3", "xABCx"}));
    EXPECT_EQ(Edit("Edit8")->text(), "b.xls");

    Button("CheckBox1")->click();  // case sensitive: xABCx no longer holds "abc"
    Button("BitBtn3")->click();
    AwaitJob();
    EXPECT_EQ(Messages(), QStringList({kNoMatchFound}));
    EXPECT_EQ(GridRow(1), QStringList(5, QString()));
}

TEST_F(TForm1Test, EverySearchAddsARowPerHitAndRefillsFromTheTop) {
    Write("book.xls", Book({{"First", {{0, 0, std::string("other")}}},
                            {"Second",
                             {{0, 0, std::string("abc")},
                              {1, 3, std::string("xabcx")},
                              {7, 1, std::string("ABC")}}}}));
    Edit("Edit8")->setText("book.xls");
    Edit("Edit1")->setText("abc");
    Form().BitBtn3Click();
    AwaitJob();
    Form().BitBtn3Click();
    AwaitJob();
    EXPECT_EQ(Grid()->RowCount(), 26);
    EXPECT_EQ(GridRow(1), QStringList({"book.xls", "2", "1", "1", "abc"}));
    EXPECT_EQ(GridRow(2), QStringList({"book.xls", "2", "2", "4", "xabcx"}));
    EXPECT_EQ(GridRow(3), QStringList({"book.xls", "2", "8", "2", "ABC"}));
    EXPECT_EQ(GridRow(4), QStringList(5, QString()));
    EXPECT_EQ(Edit("Edit3")->text(), "3");

    Button("RadioButton3")->click();  // the whole text must match
    Form().BitBtn3Click();
    AwaitJob();
    EXPECT_EQ(Grid()->RowCount(), 28);
    EXPECT_EQ(GridRow(2), QStringList({"book.xls", "2", "8", "2", "ABC"}));
    EXPECT_EQ(GridRow(3), QStringList(5, QString()));
    EXPECT_EQ(Edit("Edit3")->text(), "2");

    Edit("Edit1")->setText("missing");
    Form().BitBtn3Click();
    AwaitJob();
    EXPECT_EQ(Grid()->RowCount(), 28);
    EXPECT_EQ(GridRow(1), QStringList(5, QString()));
    EXPECT_EQ(Edit("Edit3")->text(), "0");
    EXPECT_EQ(Messages(), QStringList({kNoMatchFound}));
}

TEST_F(TForm1Test, SearchFromTheKeyboardAndCopyBlocksOfHits) {
    Write(
        "book.xls",
        Book({{"First", {{0, 0, std::string("abc")}}},
              {"Second",
               {{1, 3, std::string("xabcx and a long tail")}, {7, 1, std::string("ABC\tq\"")}}}}));
    Activate();
    Edit("Edit8")->setText("book.xls");
    ShowTab(0);

    // Ctrl+F goes to "Find:", Enter searches.
    QTest::keyClick(&Form(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 1);
    ASSERT_EQ(QApplication::focusWidget(), Edit("Edit1"));
    QTest::keyClicks(Edit("Edit1"), "abc");
    QTest::keyClick(Edit("Edit1"), Qt::Key_Return);
    AwaitJob();
    EXPECT_EQ(Edit("Edit3")->text(), "3");
    EXPECT_EQ(Grid()->item(1, 4)->toolTip(), "xabcx and a long tail");
    EXPECT_EQ(Grid()->item(1, 0)->toolTip(), "book.xls");
    EXPECT_TRUE(Grid()->item(1, 2)->toolTip().isEmpty());

    // Ctrl+C copies the selected block as tab-separated rows.
    Grid()->setRangeSelected(QTableWidgetSelectionRange(1, 1, 2, 4), true);
    Grid()->setFocus();
    QTest::keyClick(Grid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "2\t2\t4\txabcx and a long tail\n2\t8\t2\t\"ABC\tq\"\"\"");

    // The next search starts without the old selection; the texts are gone anyway.
    Edit("Edit1")->setText("and");
    Form().BitBtn3Click();
    AwaitJob();
    EXPECT_TRUE(Grid()->selectedRanges().isEmpty());
    EXPECT_EQ(GridRow(1).value(4), "xabcx and a long tail");
    ASSERT_NE(Grid()->item(2, 4), nullptr);
    EXPECT_TRUE(Grid()->item(2, 4)->toolTip().isEmpty());

    // The Contents column can be dragged wider than it starts.
    QHeaderView* header = Grid()->horizontalHeader();
    const int edge = header->sectionViewportPosition(4) + header->sectionSize(4) - 1;
    const int middle = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, middle));
    QTest::mouseMove(header->viewport(), QPoint(edge + 150, middle));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 150, middle));
    EXPECT_GE(Grid()->columnWidth(4), 241 + 100);
}

// The workbooks that cannot be searched are named at the end, with their reasons, and the
// search goes on past them.
TEST_F(TForm1Test, DirectorySearchNamesTheWorkbooksItCannotRead) {
    Write("good1.xls", Book({{"S", {{0, 0, std::string("abc")}}}}));
    Write("good2.xls", Book({{"S", {{2, 1, std::string("abc")}}}}));
    Write("locked.xls", Book({{"S", {{0, 0, std::string("abc")}}}}, u"secret"));
    test::WriteFile(dir_ / "plain.xls", test::Body().ascii("abc"));
    Edit("Edit1")->setText("abc");
    Button("RadioButton6")->click();
    Select("good2.xls");

    Form().BitBtn3Click();
    AwaitJob();
    const QString notSearched = QStringLiteral("Not searched:\nlocked.xls: ") + kPasswordProtected +
                                "\nplain.xls: a text file, not an Excel workbook";
    EXPECT_EQ(Messages(), QStringList({notSearched}));
    EXPECT_EQ(GridRow(1), QStringList({"good1.xls", "1", "1", "1", "abc"}));
    EXPECT_EQ(GridRow(2), QStringList({"good2.xls", "1", "3", "2", "abc"}));
    EXPECT_EQ(GridRow(3), QStringList(5, QString()));
    EXPECT_EQ(Edit("Edit3")->text(), "2");
    EXPECT_EQ(Form().CurrentFile(), "plain.xls");  // the last workbook found
    EXPECT_EQ(Edit("Edit8")->text(), "plain.xls");
    EXPECT_EQ(FileList()->currentRow(), -1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A damaged workbook is named with its error, and the workbooks after it are searched.
    Write("q.xls", DamagedBook());
    Form().BitBtn3Click();
    AwaitJob();
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].text, notSearched + "\nq.xls: Invalid or duplicated sheet name.");
    EXPECT_FALSE(shown_[1].hourglass);
    EXPECT_EQ(Edit("Edit3")->text(), "2");

    Edit("Edit1")->setText("nowhere");
    fs::remove(dir_ / "q.xls");
    Form().BitBtn3Click();
    AwaitJob();
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[2].text, QString(kNoMatchFound) + "\n\n" + notSearched);
}

// --- Long work -----------------------------------------------------------------------------

class TLongWorkTest : public TForm1Test {
  protected:
    QProgressBar* Bar() { return Find<QProgressBar>("ProgressBar1"); }
    // The controls that wait while work runs.
    void ExpectWaiting(bool waiting) {
        for (const char* name : {"BitBtn1", "CheckBox2", "BitBtn5", "BitBtn3", "CreateBtn",
                                 "FileListBox1", "DirectoryListBox1", "DriveComboBox1", "Edit8"})
            EXPECT_EQ(Find<QWidget>(name)->isEnabled(), !waiting) << name;
        for (const char* name : {"m1Open", "m1Close", "Refresh1"})
            EXPECT_EQ(Find<QAction>(name)->isEnabled(), !waiting) << name;
        EXPECT_EQ(Button("CancelBtn")->isHidden(), !waiting);
        EXPECT_EQ(Bar()->isHidden(), !waiting);
    }
    // Workbooks w01.xls ... each holding "hit" in A1.
    void WriteHits(int count) {
        for (int i = 1; i <= count; ++i) {
            const std::string name = (i < 10 ? "w0" : "w") + std::to_string(i) + ".xls";
            Write(name, Book({{"S", {{0, 0, std::string("hit")}}}}));
        }
    }
};

TEST_F(TLongWorkTest, ReadingALargeWorkbookLeavesTheWindowToTheUserUntilCancelled) {
    Write("big.xls", NumberBook(65536, 4));
    Write("small.xls", ExampleBook());
    Activate();
    Select("big.xls");
    Form().BitBtn1Click();
    // The handler is back at once; the reading goes on.
    ASSERT_TRUE(Form().Busy());
    ExpectWaiting(true);
    // What would start other work, or change its file, waits too.
    Form().BitBtn3Click();
    Form().CreateBtnClick();
    Form().m1CloseClick();
    Form().OpenDroppedFile(QString::fromStdString((Here() / "small.xls").string()));
    EXPECT_EQ(Form().CurrentFile(), (Here() / "big.xls").string());

    QTest::keyClick(&Form(), Qt::Key_Escape);
    AwaitJob();
    EXPECT_TRUE(MemoLines().isEmpty());  // cancelled before the workbook was read
    EXPECT_TRUE(Messages().isEmpty());
    ExpectWaiting(false);

    Select("small.xls");
    Form().BitBtn1Click();
    AwaitJob();
    EXPECT_EQ(MemoLines().value(2), "Sheet 1 (named Sheet1) has 3 cells");
}

TEST_F(TLongWorkTest, ProgressOfALongNameFitsItsBar) {
    const std::string name = std::string(100, 'n') + "_end.xls";
    Write(name, NumberBook(65536, 4));
    Activate();
    Select(QString::fromStdString(name));
    Form().BitBtn1Click();
    ASSERT_TRUE(WaitFor([this] { return !Bar()->format().isEmpty(); }, 20000, 2));
    const QString shown = Bar()->text();
    EXPECT_TRUE(shown.startsWith("Reading")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("\u2026"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("end.xls  ")) << shown.toStdString();
    EXPECT_LE(QFontMetrics(Bar()->font()).horizontalAdvance(shown), Bar()->contentsRect().width());
    EXPECT_TRUE(Bar()->toolTip().contains(QString::fromStdString(name)));
    QTest::keyClick(&Form(), Qt::Key_Escape);
    AwaitJob();
}

TEST_F(TLongWorkTest, ShowContentsShowsTheFirstLinesAtOnceAndTheRestAsItComes) {
    Write("big.xls", NumberBook(40000));
    Select("big.xls");
    auto* memo = Find<QPlainTextEdit>("Memo1");
    // What shows when the first lines come, and whether the window answers events before
    // the rest has come.
    QStringList first;
    bool busyAtFirst = false;
    int barAtFirst = -1;
    QString barText;
    int ticksWhileBusy = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticksWhileBusy += Form().Busy() ? 1 : 0; });
    QMetaObject::Connection watch = QObject::connect(memo, &QPlainTextEdit::textChanged, [&] {
        if (!first.isEmpty() || memo->toPlainText().isEmpty()) return;
        first = MemoLines();
        busyAtFirst = Form().Busy();
        barAtFirst = Bar()->value();
        barText = Bar()->format();
        ticker.start();
    });
    Button("CheckBox2")->click();
    AwaitJob();
    QObject::disconnect(watch);
    ticker.stop();
    EXPECT_TRUE(busyAtFirst);
    EXPECT_EQ(first, QStringList({"This file contains: 1 Worksheets", "",
                                  "Sheet 1 (named Numbers) has 40000 cells"}));
    // Half way at least: the workbook is read, the listing starts.
    EXPECT_GE(barAtFirst, 500);
    EXPECT_LT(barAtFirst, 1000);
    EXPECT_TRUE(barText.contains("big.xls")) << barText.toStdString();
    EXPECT_GT(ticksWhileBusy, 0);

    // The batches make the whole report; the reader's place stays at the top.
    QStringList whole;
    for (const std::string& line : FileInformation("big.xls", true).Lines)
        whole << QString::fromStdString(line);
    EXPECT_EQ(MemoLines(), whole);
    EXPECT_EQ(memo->textCursor().position(), 0);
    EXPECT_EQ(memo->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(Messages().isEmpty());

    // Cancelled once the first lines show, the report stops short.
    first.clear();
    watch = QObject::connect(memo, &QPlainTextEdit::textChanged, [&] {
        if (!first.isEmpty() || memo->toPlainText().isEmpty()) return;
        first = MemoLines();
        Button("CancelBtn")->click();
    });
    Form().BitBtn1Click();
    AwaitJob();
    QObject::disconnect(watch);
    EXPECT_GE(MemoLines().size(), 3);
    EXPECT_LT(MemoLines().size(), whole.size());
    EXPECT_TRUE(Messages().isEmpty());
    ExpectWaiting(false);
}

TEST_F(TLongWorkTest, FolderWorkShowsEachWorkbookAndStopsBetweenWorkbooks) {
    WriteHits(12);
    Edit("Edit1")->setText("hit");
    Button("RadioButton6")->click();
    Select("w01.xls");
    // Cancelled as soon as the first workbook is through: the hits so far stay, and the
    // search ends as it ends otherwise, without "No match found".
    QMetaObject::Connection watch =
        QObject::connect(Edit("Edit8"), &QLineEdit::textChanged, [this](const QString& name) {
            if (name == "w01.xls") Button("CancelBtn")->click();
        });
    Form().BitBtn3Click();
    AwaitJob();
    QObject::disconnect(watch);
    const int hits = Edit("Edit3")->text().toInt();
    EXPECT_GE(hits, 1);
    EXPECT_LT(hits, 12);
    EXPECT_EQ(GridRow(1), QStringList({"w01.xls", "1", "1", "1", "hit"}));
    EXPECT_EQ(GridRow(hits).value(0), Edit("Edit8")->text());
    EXPECT_TRUE(GridRow(hits + 1).value(0).isEmpty());
    EXPECT_EQ(FileList()->currentRow(), -1);
    EXPECT_TRUE(Messages().isEmpty());

    // A batch export cancelled on its first workbook tells which files it wrote, if any; no
    // other file is there.
    ShowTab(2);
    Button("CheckBox3")->click();
    watch = QObject::connect(Edit("Edit7"), &QLineEdit::textChanged, [this](const QString& name) {
        if (name == "w01.xls") Button("CancelBtn")->click();
    });
    Form().CreateBtnClick();
    AwaitJob();
    QObject::disconnect(watch);
    QStringList written;
    for (const auto& entry : fs::directory_iterator(Here())) {
        if (entry.path().extension() == ".csv")
            written << QString::fromStdString(entry.path().filename().string());
    }
    written.sort();
    EXPECT_LT(written.size(), 12);
    if (written.isEmpty()) {
        EXPECT_TRUE(Messages().isEmpty());
    } else {
        EXPECT_EQ(Messages(),
                  QStringList({QString(kExportCancelled) + "\n\nWritten:\n" + written.join('\n')}));
    }
    ExpectWaiting(false);
}

TEST_F(TLongWorkTest, ClosingOrDestroyingTheWindowDuringWorkEndsTheWork) {
    QApplication::setQuitOnLastWindowClosed(false);
    Write("big.xls", NumberBook(65536, 4));
    Form().show();
    Select("big.xls");
    Button("CheckBox2")->click();
    ASSERT_TRUE(Form().Busy());
    EXPECT_TRUE(Form().close());
    EXPECT_FALSE(Form().Busy());  // over before the window was gone
    QTest::qWait(50);             // nothing it had left for the window comes any more
    EXPECT_TRUE(MemoLines().isEmpty());
    EXPECT_TRUE(Messages().isEmpty());
    ExpectWaiting(false);

    // Destroyed while it reads, while it hands the window its lines, and while it waits
    // for the window to take them.
    for (const int wait : {0, 5, 200}) {
        form_.reset();
        Select("big.xls");
        Button("CheckBox2")->click();
        ASSERT_TRUE(Form().Busy());
        QTest::qWait(wait);
        form_.reset();
        QTest::qWait(20);
    }
    QApplication::setQuitOnLastWindowClosed(true);
}

// --- Printing ------------------------------------------------------------------------------

// Print dialogs that answer at once: the print dialog is accepted or cancelled as told,
// the preview prints to the printer it is given. The calls are logged with the printer.
class TFakePrintDialogs final : public TPrintDialogs {
  public:
    struct TCall {
        std::string dialog;
        QPrinter* printer;
    };
    TFakePrintDialogs(std::vector<TCall>& calls, const bool& accept)
        : calls_(calls), accept_(accept) {}
    bool ChoosePrinter(QPrinter& printer, QWidget*) override {
        calls_.push_back({"print", &printer});
        return accept_;
    }
    void SetupPrinter(QPrinter& printer, QWidget*) override {
        calls_.push_back({"setup", &printer});
    }
    void Preview(QPrinter& printer, const std::function<void(QPrinter&)>& print,
                 QWidget*) override {
        calls_.push_back({"preview", &printer});
        print(printer);
    }

  private:
    std::vector<TCall>& calls_;
    const bool& accept_;
};

class TPrintTest : public TForm1Test {
  protected:
    void UseFakeDialogs() {
        Form().SetPrinter(PdfPrinter());
        Form().SetPrintDialogs(std::make_unique<TFakePrintDialogs>(calls_, accept_));
    }
    std::vector<std::string> Dialogs() const {
        std::vector<std::string> names;
        for (const auto& call : calls_)
            names.push_back(call.dialog);
        return names;
    }
    // Closes the next modal dialog once it shows and tells its class and title.
    static void CloseNextDialog(QString& seen, int tries = 250) {
        QTimer::singleShot(20, [&seen, tries] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                if (tries > 0) CloseNextDialog(seen, tries - 1);
                return;
            }
            seen = QLatin1String(dialog->metaObject()->className()) + QLatin1Char(' ') +
                   dialog->windowTitle();
            dialog->reject();
        });
    }
    std::unique_ptr<QPrinter> PdfPrinter() {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(pdf_.string()));
        return printer;
    }
    // The page objects of the PDF file written.
    int PdfPages() const {
        QFile file(QString::fromStdString(pdf_.string()));
        if (!file.open(QIODevice::ReadOnly)) return 0;
        const QByteArray bytes = file.readAll();
        int pages = 0;
        for (qsizetype at = bytes.indexOf("/Type /Page"); at >= 0;
             at = bytes.indexOf("/Type /Page", at + 1)) {
            if (bytes.mid(at + 11, 1) != "s") ++pages;
        }
        return pages;
    }
    const fs::path pdf_ = dir_ / "out.pdf";
    std::vector<TFakePrintDialogs::TCall> calls_;
    bool accept_ = true;
};

TEST_F(TPrintTest, PrintsTheReportOnlyWhenThereIsOneAndThePrintDialogIsAccepted) {
    Write("book.xls", ExampleBook());
    UseFakeDialogs();
    Form().m1PrintClick();
    Form().m1PrintPreviewClick();
    EXPECT_TRUE(calls_.empty());
    EXPECT_FALSE(fs::exists(pdf_));

    Form().BitBtn1Click();
    AwaitJob();
    accept_ = false;
    Form().m1PrintClick();
    EXPECT_FALSE(fs::exists(pdf_));
    accept_ = true;
    Form().m1PrintClick();
    EXPECT_EQ(PdfPages(), 1);
    fs::remove(pdf_);
    Form().m1PrintPreviewClick();
    EXPECT_EQ(PdfPages(), 1);
    Form().m1PrintSetupClick();
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"print", "print", "preview", "setup"}));
    for (const auto& call : calls_)  // the one printer that "Printer Setup" sets up
        EXPECT_EQ(call.printer, &Form().Printer()) << call.dialog;
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(TPrintTest, SystemDialogsAreTheToolkitsPrintSetupAndPreviewDialogs) {
    TSystemPrintDialogs dialogs;
    const auto printer = PdfPrinter();
    QString seen;
    CloseNextDialog(seen);
    EXPECT_FALSE(dialogs.ChoosePrinter(*printer, &Form()));
    EXPECT_TRUE(seen.startsWith("QPrintDialog")) << seen.toStdString();
    CloseNextDialog(seen);
    dialogs.SetupPrinter(*printer, &Form());
    EXPECT_EQ(seen, "QPrintDialog Printer Setup");
    CloseNextDialog(seen);
    int printed = 0;
    dialogs.Preview(
        *printer, [&printed](QPrinter&) { ++printed; }, &Form());
    EXPECT_TRUE(seen.startsWith("QPrintPreviewDialog")) << seen.toStdString();
    EXPECT_GE(printed, 1);
    EXPECT_FALSE(fs::exists(pdf_));
}

TEST_F(TPrintTest, LongReportsGoOnToNewPagesAndWideLinesWrap) {
    const int pages = PrintLines(*PdfPrinter(), QStringList(400, QStringLiteral("line")));
    EXPECT_GT(pages, 1);
    EXPECT_LT(pages, 400);
    EXPECT_EQ(PdfPages(), pages);
    // A line a few hundred pages wide is printed on as many lines as it takes.
    EXPECT_GT(PrintLines(*PdfPrinter(), {QString(60000, QLatin1Char('W'))}), 1);
}

TEST_F(TPrintTest, CopiesAndPageRangesAsChosenInThePrintDialog) {
    const QStringList report(250, QStringLiteral("line"));
    const int pages = PrintLines(*PdfPrinter(), report);
    ASSERT_GE(pages, 3);
    // A PDF file gets every copy written out, collated or not.
    for (const bool collate : {true, false}) {
        auto printer = PdfPrinter();
        ASSERT_FALSE(printer->supportsMultipleCopies());
        printer->setCopyCount(2);
        printer->setCollateCopies(collate);
        EXPECT_EQ(PrintLines(*printer, report), pages);
        EXPECT_EQ(PdfPages(), 2 * pages) << collate;
    }
    auto printer = PdfPrinter();
    printer->setPrintRange(QPrinter::PageRange);
    printer->setFromTo(2, 3);
    EXPECT_EQ(PrintLines(*printer, report), pages);
    EXPECT_EQ(PdfPages(), 2);
    printer = PdfPrinter();
    printer->setPrintRange(QPrinter::PageRange);
    printer->setFromTo(pages, pages + 5);  // past the end: up to the last page
    PrintLines(*printer, report);
    EXPECT_EQ(PdfPages(), 1);
}

// --- Export --------------------------------------------------------------------------------

TEST_F(TForm1Test, CreateFilesWritesTheChosenModeAndType) {
    Write("Book1.xls", Book({{"A", {{0, 0, 1.0}}}, {"B", {}}, {"C", {{1, 1, std::string("c")}}}}));
    Select("Book1.xls");
    Form().BitBtn1Click();  // the current file, so Edit7 = Book1.CSV
    AwaitJob();
    ASSERT_EQ(Edit("Edit7")->text(), "Book1.CSV");

    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_TRUE(fs::exists(dir_ / "Book1.CSV"));
    Button("RadioButton8")->click();
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_TRUE(fs::exists(dir_ / "Book1_S1.csv"));
    EXPECT_FALSE(fs::exists(dir_ / "Book1_S2.csv"));
    EXPECT_TRUE(fs::exists(dir_ / "Book1_S3.csv"));
    Button("RadioButton9")->click();
    Find<QRadioButton>("RadioButton13")->setChecked(true);  // TXT, Edit7 still ".CSV"
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_TRUE(fs::exists(dir_ / "Book1.txt"));
    EXPECT_EQ(Messages(), QStringList(3, kExportDone));
}

TEST_F(TForm1Test, BatchModeListsWhatItWroteAndSkipped) {
    Write("locked.xls", Book({{"S", {{0, 0, 1.0}}}}, u"secret"));
    Write("plain.xls", Book({{"S", {{0, 0, 1.0}}}}));
    Write("report.v1.xls", Book({{"S", {{0, 0, std::string("v1")}}}}));
    Write("report.v2.xls", Book({{"S", {{0, 0, std::string("v2")}}}}));
    Button("CheckBox3")->click();
    Button("RadioButton13")->click();
    Form().CreateBtnClick();
    AwaitJob();
    // report.v2.xls would write report.txt again: it takes its whole name.
    EXPECT_EQ(Messages(),
              QStringList({QString(kBatchExportDone) +
                           "\n\nWritten:\nplain.txt\nreport.txt\nreport.v2.txt"
                           "\n\nSkipped:\nlocked.xls: This File is Password Protected"}));
    EXPECT_EQ(test::ReadFile(dir_ / "report.v2.txt"), test::Body().ascii("v2\r\n").data());
    EXPECT_FALSE(fs::exists(dir_ / "locked.txt"));
    EXPECT_TRUE(asked_.empty());
    EXPECT_EQ(Form().CurrentFile(), "report.v2.xls");
    EXPECT_EQ(Edit("Edit7")->text(), "report.v2.xls");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Once more: the files exist now. One question for the whole run; No keeps them all.
    shown_.clear();
    answer_ = false;
    test::WriteFile(dir_ / "plain.txt", test::Body().ascii("kept"));
    Form().CreateBtnClick();
    AwaitJob();
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0],
              "The file plain.txt already exists, and other files of this export may "
              "too. Do you want to replace the files that exist?");
    EXPECT_EQ(Messages(),
              QStringList({QString(kBatchExportDone) +
                           "\n\nSkipped:\nlocked.xls: This File is Password Protected"
                           "\nplain.xls: the existing plain.txt was not replaced"
                           "\nreport.v1.xls: the existing report.txt was not replaced"
                           "\nreport.v2.xls: the existing report.v2.txt was not replaced"}));
    EXPECT_EQ(test::ReadFile(dir_ / "plain.txt"), test::Body().ascii("kept").data());
}

TEST_F(TForm1Test, ExportTakesTheWorkbookNamedInFile) {
    Write("report.v1.xls", Book({{"S", {{0, 0, std::string("report")}}}}));
    Write("stock.xls", Book({{"S", {{0, 0, std::string("stock")}}}}));
    const auto content = [this](const char* name) {
        const Bytes bytes = test::ReadFile(dir_ / name);
        return std::string(bytes.begin(), bytes.end());
    };
    Select("report.v1.xls");
    Form().BitBtn1Click();  // report.v1.xls was read last
    AwaitJob();
    Edit("Edit8")->setText("stock.xls");
    ASSERT_EQ(Edit("Edit4")->text(), "stock.xls");
    ASSERT_EQ(Edit("Edit7")->text(), "stock.CSV");
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_EQ(content("stock.CSV"), "\"stock\"\r\n");
    EXPECT_EQ(Form().CurrentFile(), "stock.xls");

    // Typed into "File:" itself, the name gives the output name too.
    Edit("Edit4")->clear();
    QTest::keyClicks(Edit("Edit4"), "report.v1.xls");
    EXPECT_EQ(Edit("Edit7")->text(), "report.CSV");
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_EQ(content("report.CSV"), "\"report\"\r\n");

    Edit("Edit4")->setText("nope.xls");
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_EQ(Messages(), QStringList({kExportDone, kExportDone, "File not found: nope.xls"}));
}

TEST_F(TForm1Test, MissingAndDamagedWorkbooksAreNamedAsSuch) {
    Write("a.xls", ExampleBook());
    test::WriteFile(dir_ / "damaged.xls", test::DamagedCompoundBytes());
    ShowTab(2);
    // The export names the file as "File:" gives it, the report by its path.
    const QString damaged = ": the compound document is damaged: bad sector size";
    ClickFile("damaged.xls");
    Form().CreateBtnClick();
    AwaitJob();
    Select("damaged.xls");
    Form().BitBtn1Click();
    AwaitJob();
    EXPECT_EQ(Messages(),
              QStringList({"damaged.xls" + damaged,
                           QString::fromStdString((Here() / "damaged.xls").string()) + damaged}));
}

TEST_F(TForm1Test, ExportNeverWritesOverAWorkbookAndAsksBeforeReplacing) {
    Write("Book1.xls", ExampleBook());
    Write("other.xls", Book({{"S", {}}}));
    const Bytes other = test::ReadFile(dir_ / "other.xls");
    ShowTab(2);
    ClickFile("Book1.xls");
    Edit("Edit7")->setText("other.xls");
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_EQ(Messages(), QStringList({"Cannot write file other.xls: it is an Excel workbook"}));
    EXPECT_EQ(test::ReadFile(dir_ / "other.xls"), other);

    shown_.clear();
    Edit("Edit7")->setText("Book1.CSV");
    test::WriteFile(dir_ / "Book1.CSV", test::Body().ascii("old"));
    answer_ = false;
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_EQ(asked_, std::vector<QString>{
                          "The file Book1.CSV already exists. Do you want to replace it?"});
    EXPECT_EQ(test::ReadFile(dir_ / "Book1.CSV"), test::Body().ascii("old").data());
    EXPECT_TRUE(Messages().isEmpty());
    answer_ = true;
    Form().CreateBtnClick();
    AwaitJob();
    EXPECT_EQ(test::ReadFile(dir_ / "Book1.CSV"),
              test::Body().ascii("\"5\",\"abc\"\r\n\"\",\"\"\r\n\"2.5\",\"\"\r\n").data());
    EXPECT_EQ(Messages(), QStringList({kExportDone}));
}

// --- Help, about box, dropping -------------------------------------------------------------

TEST_F(TForm1Test, HelpOpensThePageOrItsIndexInTheBrowser) {
    std::vector<QUrl> opened;
    Form().SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    Form().Contents1Click();
    Form().Index1Click();
    ASSERT_EQ(opened.size(), 2u);
    ASSERT_TRUE(opened[0].isLocalFile());
    const QString page = opened[0].toLocalFile();
    EXPECT_TRUE(page.endsWith("/index.html"));
    QFile html(page);
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    EXPECT_TRUE(html.readAll().contains("id=\"index\""));
    EXPECT_EQ(opened[1].toLocalFile(), page);
    EXPECT_EQ(opened[1].fragment(), "index");

    Form().SetHelpDirectory(QString::fromStdString(dir_.path().string()));
    Form().Contents1Click();
    EXPECT_EQ(opened.size(), 2u);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains("index.html"));
}

TEST_F(TForm1Test, AboutBoxShowsTheProgramAndOpensItsHomePage) {
    TAboutBox& about = Form().AboutBox();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(298, 238));
    const std::map<std::string, QString> labels = {{"ProductName", "Vorlix Utilities"},
                                                   {"Version", "Version 1.1"},
                                                   {"Company", "Brendale Radizeduzu, Inc.  "}};
    for (const auto& [name, text] : labels)
        EXPECT_EQ(about.findChild<QLabel*>(QString::fromStdString(name))->text(), text);
    EXPECT_FALSE(about.findChild<QLabel*>("ProgramIcon")->pixmap().isNull());

    std::vector<QUrl> opened;
    Form().SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    about.findChild<QPushButton*>("BitBtn1")->click();
    EXPECT_EQ(opened, std::vector<QUrl>{TAboutBox::HomePage()});

    // "About" shows the box modally until "OK".
    QWidget* modal = nullptr;
    QTimer::singleShot(0, [&] {
        modal = QApplication::activeModalWidget();
        about.findChild<QPushButton*>("OKButton")->click();
    });
    Form().About1Click();
    EXPECT_EQ(modal, &about);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(TForm1Test, DroppingAWorkbookReportsOnIt) {
    fs::create_directory(dir_ / "drop");
    Write("drop/in.xls", ExampleBook());
    test::WriteFile(dir_ / "notes.txt", {});
    ShowTab(1);
    const auto dragged = [](const fs::path& file) {
        auto mime = std::make_unique<QMimeData>();
        mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        return mime;
    };

    const auto text = dragged(dir_ / "notes.txt");
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, text.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    const auto book = dragged(dir_ / "drop" / "in.xls");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, book.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, book.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &drop);
    AwaitJob();
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(Here().filename(), "drop");
    EXPECT_EQ(Form().CurrentFile(), (Here() / "in.xls").string());
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 0);
    EXPECT_EQ(MemoLines().value(2), "Sheet 1 (named Sheet1) has 3 cells");
}

}  // namespace
}  // namespace vorlix::app

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
