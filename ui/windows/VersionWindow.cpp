#include "ui/windows/VersionWindow.h"

#include "core/VersionInfo.h"
#include "ui/windows/Placement.h"

#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

namespace ui {

namespace {

QLabel* Text(QWidget* parent, const QString& text, const QRect& at, int pixelSize,
             Qt::Alignment align)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(at);
    label->setAlignment(align);
    if (pixelSize > 0)
        label->setFont(DialogFont(pixelSize));
    FitToWidth(label, text);
    return label;
}

QLabel* Picture(QWidget* parent, const QString& file, const QRect& at)
{
    auto* picture = new QLabel(parent);
    picture->setGeometry(at);
    picture->setPixmap(QPixmap(file));  // empty when the file is missing
    return picture;
}

}  // namespace

VersionWindow::VersionWindow(const QString& programFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("versionWindow");
    setWindowTitle("Version information");
    setFixedSize(kClientWidth, kClientHeight);
    setFont(DialogFont(11));
    const core::VersionInfo info = core::ProgramVersion(QDir(programFolder).path().toStdString());
    const QDir folder(programFolder);

    auto* logoPanel = new QFrame(this);
    logoPanel->setObjectName("logoPanel");
    logoPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    logoPanel->setLineWidth(1);
    logoPanel->setGeometry(8, 10, 202, 52);
    Picture(logoPanel, folder.filePath("Logo.png"), {1, 1, 200, 50})->setObjectName("logo");
    Picture(this, folder.filePath("Icon.png"), {18, 77, 32, 32})->setObjectName("icon");

    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    Text(this, QStringLiteral("Analog software defined radio"), {56, 66, 153, 17}, 0, right);
    Text(this, info.version, {56, 80, 152, 18}, 15, right)->setObjectName("version");
    Text(this, info.build, {9, 99, 199, 14}, 12, right)->setObjectName("build");
    Text(this, info.notice.value(0), {56, 123, 152, 14}, 12, right);
    Text(this, info.notice.value(1), {9, 140, 199, 14}, 12, right);

    heading_ =
        Text(this, QStringLiteral("Tesmar Web Site"), {8, 171, 200, 14}, 13, Qt::AlignCenter);
    heading_->setObjectName("heading");
    link_ = Text(this, info.linkText, {8, 189, 200, 13}, 0, Qt::AlignCenter);
    link_->setObjectName("link");
    QFont underlined = link_->font();
    underlined.setUnderline(true);
    link_->setFont(underlined);
    QPalette blue = link_->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    link_->setPalette(blue);
    link_->setCursor(Qt::PointingHandCursor);
    link_->installEventFilter(this);
    target_ = info.link;

    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setObjectName("closeButton");
    closeButton_->setGeometry(39, 216, 89, 25);
    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
}

bool VersionWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == link_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QDesktopServices::openUrl(target_);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void VersionWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        CentreOver(this, parentWidget());
        // The heading, the link and the button stand in the middle.
        for (QWidget* w : {static_cast<QWidget*>(heading_), static_cast<QWidget*>(link_),
                           static_cast<QWidget*>(closeButton_)})
            w->move(width() / 2 - w->width() / 2, w->y());
    }
    QDialog::showEvent(event);
}

}  // namespace ui
