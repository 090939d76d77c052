#include "app/window/TAboutBox.h"

#include <QDesktopServices>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace vorlix::app {

namespace {

#ifndef VORLIX_HOME_PAGE
#define VORLIX_HOME_PAGE "https://vorlix.example.org/"
#endif

constexpr int kClientWidth = 298;
constexpr int kClientHeight = 238;

// data/vorlix.svg drawn with a painter, for desktops whose theme does not know the icon
// (or whose Qt cannot read SVG): the picture is laid out on a 64 x 64 grid.
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    const QColor green(0x1d, 0x6f, 0x42);
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 8, 8);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 12, 36, 40));
    p.setPen(QPen(QColor(0xa9, 0xcd, 0xb5), 1.5));
    for (const int y : {22, 32, 42})
        p.drawLine(QLineF(14, y, 50, y));
    p.drawLine(QLineF(26, 12, 26, 52));
    p.setPen(QPen(green, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath v;
    v.moveTo(24, 22);
    v.lineTo(32, 44);
    v.lineTo(40, 22);
    p.drawPath(v);
    return pixmap;
}

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

bool OpenInBrowser(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QIcon ProgramIcon() {
    QIcon drawn;
    for (const int size : {16, 24, 32, 48, 64, 128})
        drawn.addPixmap(DrawIcon(size));
    return QIcon::fromTheme(QStringLiteral("vorlix"), drawn);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(kClientWidth, kClientHeight);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* icon = MakeLabel(QStringLiteral("ProgramIcon"), {}, panel);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    icon->setFixedSize(52, 52);

    auto* product =
        MakeLabel(QStringLiteral("ProductName"), QStringLiteral("Vorlix Utilities"), panel);
    QFont productFont = product->font();
    productFont.setBold(true);
    productFont.setPointSize(14);
    product->setFont(productFont);
    QPalette navy = product->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    product->setPalette(navy);

    auto* version = MakeLabel(QStringLiteral("Version"), QStringLiteral("Version 1.1"), panel);
    QFont versionFont = version->font();
    versionFont.setBold(true);
    versionFont.setItalic(true);
    version->setFont(versionFont);

    auto* copyright =
        MakeLabel(QStringLiteral("Copyright"), QStringLiteral("Copyright \u00A9 2026"), panel);
    auto* company =
        MakeLabel(QStringLiteral("Company"), QStringLiteral("Brendale Radizeduzu, Inc.  "), panel);
    auto* comments = MakeLabel(
        QStringLiteral("Comments"),
        QStringLiteral("Reports on, searches and exports Excel 97 - 2003 workbooks."), panel);
    comments->setWordWrap(true);

    auto* head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->addWidget(product);
    names->addWidget(version);
    head->addLayout(names, 1);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addLayout(head);
    panelLayout->addStretch(1);
    panelLayout->addWidget(copyright);
    panelLayout->addWidget(company);
    panelLayout->addWidget(comments);

    auto* web = new QPushButton(QStringLiteral("Home Page"), this);
    web->setObjectName(QStringLiteral("BitBtn1"));
    web->setIcon(QIcon::fromTheme(QStringLiteral("internet-web-browser"),
                                  style()->standardIcon(QStyle::SP_DriveNetIcon)));
    web->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(web);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
    connect(web, &QPushButton::clicked, this, &TAboutBox::BitBtn1Click);
}

QUrl TAboutBox::HomePage() {
    return QUrl(QStringLiteral(VORLIX_HOME_PAGE));
}

void TAboutBox::OKButtonClick() {
    accept();
}

void TAboutBox::BitBtn1Click() {
    urlOpener_(HomePage());
}

void TAboutBox::showEvent(QShowEvent* event) {
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

}  // namespace vorlix::app
