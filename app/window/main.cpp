// vorlix: the desktop program. `vorlix [FILE|FOLDER]` opens the folder, or the file's folder
// and reports on the file; without an argument it starts in the current directory.
// VORLIX_SCREENSHOT=FILE makes it save a picture of its window to FILE and quit once the
// window is on screen: the window once per tab, one above the other, so that every control
// shows. VORLIX_SCREENSHOT_SIZE=WIDTHxHEIGHT resizes the window first.
#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include <vector>

#include "app/window/TForm1.h"
#include "app/window/WindowSupport.h"

namespace {

// The window once per tab, one picture above the other.
bool SaveScreenshot(vorlix::app::TForm1& form, const QString& file) {
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    std::vector<QPixmap> shots;
    for (int i = 0; tabs != nullptr && i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        shots.push_back(form.grab());
    }
    if (tabs != nullptr) tabs->setCurrentIndex(0);
    if (shots.empty()) shots.push_back(form.grab());
    QPixmap sheet(shots.front().width(), shots.front().height() * static_cast<int>(shots.size()));
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (std::size_t i = 0; i < shots.size(); ++i) {
        shots[i].setDevicePixelRatio(1);  // placed pixel for pixel at any scale factor
        painter.drawPixmap(0, static_cast<int>(i) * shots.front().height(), shots[i]);
    }
    painter.end();
    // Where the window went, for checking that it lies on the screen.
    const QRect frame = form.frameGeometry();
    const QRect screen = form.screen()->availableGeometry();
    QTextStream(stdout) << "window " << frame.x() << ',' << frame.y() << ' ' << frame.width() << 'x'
                        << frame.height() << " on screen " << screen.width() << 'x'
                        << screen.height() << " at scale " << form.devicePixelRatio() << '\n';
    return sheet.save(file);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vorlix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vorlix"));
    QApplication::setWindowIcon(vorlix::app::ProgramIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Vorlix Excel Utilities"));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("path"),
        QStringLiteral("A workbook to report on, or a folder to open (optional)."),
        QStringLiteral("[FILE|FOLDER]"));
    parser.process(application);

    vorlix::app::TForm1 form;
    const QString size = qEnvironmentVariable("VORLIX_SCREENSHOT_SIZE");
    const QRegularExpressionMatch wanted =
        QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)$")).match(size);
    if (wanted.hasMatch()) form.resize(wanted.captured(1).toInt(), wanted.captured(2).toInt());
    form.show();
    if (!parser.positionalArguments().isEmpty()) {
        // The toolkit decodes arguments as text; a file name need not be text, so the path
        // is taken as bytes from the argument it came from.
        const QString path = parser.positionalArguments().first();
        QString named = path;
        for (int i = 1; i < argc; ++i) {
            if (QString::fromLocal8Bit(argv[i]) == path) {
                named = vorlix::app::window::Q(argv[i]);
                break;
            }
        }
        form.OpenPath(named);
    }

    const QString screenshot = qEnvironmentVariable("VORLIX_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(500, &form, [&form, screenshot] {
            QApplication::exit(SaveScreenshot(form, screenshot) ? 0 : 1);
        });
    }
    return QApplication::exec();
}
