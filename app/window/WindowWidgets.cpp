// The widgets and pieces the main window is built from: message boxes, the result grid, the
// file list, printing the report, the print dialogs and the window's place on the screen.
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

namespace {

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
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!fitting_) userSized_ = true;
    });
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

void TStringGrid::SetColumnWidths(std::vector<int> widths, std::vector<int> growing) {
    widths_ = std::move(widths);
    growing_ = std::move(growing);
    userSized_ = false;
    FitColumns();
}

void TStringGrid::FitColumns() {
    if (userSized_ || widths_.empty()) return;
    int total = 0;
    for (const int width : widths_)
        total += width;
    int shares = 0;
    for (const int column : growing_)
        shares += widths_[static_cast<std::size_t>(column)];
    const int room = std::max(0, viewport()->width() - total);
    fitting_ = true;
    int given = 0;
    for (int c = 0; c < static_cast<int>(widths_.size()) && c < columnCount(); ++c) {
        int width = widths_[static_cast<std::size_t>(c)];
        if (shares > 0 && std::find(growing_.begin(), growing_.end(), c) != growing_.end()) {
            // The last growing column takes what rounding left over.
            const int extra = c == growing_.back() ? room - given : room * width / shares;
            given += extra;
            width += extra;
        }
        setColumnWidth(c, width);
    }
    fitting_ = false;
}

void TStringGrid::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    FitColumns();
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

}  // namespace vorlix::app
