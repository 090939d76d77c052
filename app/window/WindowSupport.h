// What the source files of the main window share: its fixed sizes and grid titles, and
// small helpers for text, names and widgets.
#pragma once

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMargins>
#include <QString>
#include <QStyle>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace vorlix::app::window {

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

// Texts and file names between the library (UTF-8 bytes) and the widgets. A file name on
// Linux is any bytes: a byte that is not part of a UTF-8 character travels through the
// widgets as an unpaired surrogate and comes back as that byte, so a listed or typed name
// still opens the file it names.
inline QString Q(const std::string& text) {
    const std::u16string wide = platform::FileNameToUtf16(text);
    return QString(reinterpret_cast<const QChar*>(wide.data()),
                   static_cast<qsizetype>(wide.size()));
}
inline std::string S(const QString& text) {
    return platform::Utf16ToFileName(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}
inline std::string BareName(const std::string& file) {
    return std::filesystem::path(file).filename().string();
}
// The folder part of a current file; the current directory for a bare name.
inline std::filesystem::path FolderOf(const std::string& file) {
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

template <typename Widget, typename... Args>
Widget* Make(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

inline QLabel* Label(const char* name, const QString& text, QWidget* buddy = nullptr) {
    auto* label = Make<QLabel>(name, text);
    if (buddy) label->setBuddy(buddy);
    return label;
}

inline QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

}  // namespace vorlix::app::window
