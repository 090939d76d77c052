// The about box: the program's icon, name, version and maker, and a button that opens the
// project's home page.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QUrl>
#include <functional>

class QShowEvent;

namespace vorlix::app {

// Opens a web address or a local page in the desktop's browser; true when it could.
using TUrlOpener = std::function<bool(const QUrl&)>;
// The desktop's own opener.
bool OpenInBrowser(const QUrl& url);

// The program's icon: the "vorlix" icon of the desktop's theme once installed, else the
// same picture drawn here.
QIcon ProgramIcon();

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    static QUrl HomePage();
    void SetUrlOpener(TUrlOpener opener) { urlOpener_ = std::move(opener); }

  public Q_SLOTS:
    void OKButtonClick();
    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TUrlOpener urlOpener_ = OpenInBrowser;
};

}  // namespace vorlix::app
