#pragma once

// "Version information": the logo, the program's version and build, our
// notice and a link to the README (or the project's web page). Shown modally
// by the settings dialog, centred over the main window.

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

namespace ui {

class VersionWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 218;
    static constexpr int kClientHeight = 249;

    // programFolder: where the build placed "Logo.png", "Icon.png" and
    // "README.md" beside the program; a missing picture leaves its place
    // empty. parent: the main window, over which the window appears.
    explicit VersionWindow(const QString& programFolder, QWidget* parent = nullptr);

    QLabel* Link() const { return link_; }
    const QUrl& LinkTarget() const { return target_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* heading_ = nullptr;  // "Tesmar Web Site"
    QLabel* link_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QUrl target_;
};

}  // namespace ui
