// vorlix: the desktop program. It takes no arguments; VORLIX_SCREENSHOT=FILE makes it save
// a picture of its window to FILE and quit once the window is on screen: the window once
// per tab, one above the other, so that every control shows.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include <vector>

#include "app/TForm1.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vorlix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vorlix"));
    QApplication::setWindowIcon(vorlix::app::ProgramIcon());

    vorlix::app::TForm1 form;
    form.show();

    const QString screenshot = qEnvironmentVariable("VORLIX_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(500, &form, [&form, screenshot] {
            auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
            std::vector<QPixmap> shots;
            for (int i = 0; tabs != nullptr && i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                QApplication::processEvents();
                shots.push_back(form.grab());
            }
            if (tabs != nullptr) tabs->setCurrentIndex(0);
            if (shots.empty()) shots.push_back(form.grab());
            QPixmap sheet(shots.front().width(),
                          shots.front().height() * static_cast<int>(shots.size()));
            sheet.fill(Qt::white);
            QPainter painter(&sheet);
            for (std::size_t i = 0; i < shots.size(); ++i) {
                painter.drawPixmap(0, static_cast<int>(i) * shots.front().height(), shots[i]);
            }
            painter.end();
            QApplication::exit(sheet.save(screenshot) ? 0 : 1);
        });
    }
    return QApplication::exec();
}
