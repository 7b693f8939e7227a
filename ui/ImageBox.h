#pragma once

// A picture control of the main window: shows a QImage as it is, and reports
// the mouse entering, leaving and being released over it.

#include <QImage>
#include <QWidget>

namespace ui {

class ImageBox : public QWidget {
    Q_OBJECT

public:
    ImageBox(QWidget* parent, int left, int top, int width, int height);
    void SetImage(const QImage& image);  // drawn at the next paint
    const QImage& Shown() const { return *image_; }

signals:
    void Entered();
    void Left();
    void Released(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QImage* image_;
    QImage own_;
};

}  // namespace ui
