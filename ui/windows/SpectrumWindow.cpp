#include "ui/windows/SpectrumWindow.h"

#include "core/Receiver.h"
#include "core/model/Palette.h"
#include "ui/windows/Placement.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QShowEvent>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace ui {

namespace {

constexpr int kButtonTop = 2;
constexpr int kButtonHeight = 20;
constexpr int kStripPanelHeight = 60;
constexpr int kBevel = 1;

// The band buttons' small triangles, 7 x 11 pixels.
QIcon Triangle(bool pointsLeft)
{
    QPixmap pixmap(7, 11);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(pointsLeft ? QPolygon({QPoint(7, 0), QPoint(0, 5), QPoint(0, 6), QPoint(7, 11)})
                             : QPolygon({QPoint(0, 0), QPoint(7, 5), QPoint(7, 6), QPoint(0, 11)}));
    return QIcon(pixmap);
}

core::PointerButton PointerOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return core::PointerButton::Left;
    case Qt::RightButton: return core::PointerButton::Right;
    default: return core::PointerButton::Other;
    }
}

}  // namespace

// ------------------------------------------------------------------ views

SpectrumImage::SpectrumImage(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // With DragTune on the pointer tunes without a button held.
    setMouseTracking(true);
}

void SpectrumImage::SetImage(const QImage* image)
{
    // The painter keeps its pictures; pointing at them avoids a copy, and
    // with it a copy of every pixel at the next block.
    image_ = image;
    update();
}

void SpectrumImage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_ == nullptr || image_->isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(0, 0, *image_);
}

void SpectrumImage::mousePressEvent(QMouseEvent* event)
{
    if (Pressed)
        Pressed(event->button(), event->position().toPoint().x());
}

void SpectrumImage::mouseMoveEvent(QMouseEvent* event)
{
    if (Moved)
        Moved(event->position().toPoint().x());
}

// ----------------------------------------------------------------- window

SpectrumWindow::SpectrumWindow(core::Receiver& receiver, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , receiver_(receiver)
{
    setObjectName("spectrumWindow");
    setWindowTitle("Spectrum Display");
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    BuildLayout();
    resize(kInitialWidth, kInitialHeight);
    FitToClientArea();
    PressPaletteButton();
    ApplyStoredGeometry();

    connect(&receiver_, &core::Receiver::SpectrumReady, this, [this] {
        if (isVisible())
            Redraw(receiver_.Outputs().SpectrumDb.data());
    });
}

QToolButton* SpectrumWindow::Button(const char* name, const char* caption, int left, int width)
{
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(caption);
    b->setGeometry(left, kButtonTop, width, kButtonHeight);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setStyleSheet("QToolButton { padding: 0px; }");
    // Keys belong to the window (tuning and frequency entry), never to a button.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void SpectrumWindow::BuildLayout()
{
    bandDownButton_ = Button("bandDownButton", "", 1, 41);
    bandDownButton_->setIcon(Triangle(true));
    bandDownButton_->setIconSize(QSize(7, 11));
    bandDownButton_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bandUpButton_ = Button("bandUpButton", "", kInitialWidth - 42, 41);
    bandUpButton_->setIcon(Triangle(false));
    bandUpButton_->setIconSize(QSize(7, 11));
    bandUpButton_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(bandDownButton_, &QToolButton::clicked, this, [this] { receiver_.MoveBand(-1); });
    connect(bandUpButton_, &QToolButton::clicked, this, [this] { receiver_.MoveBand(1); });

    struct Palette {
        const char* name;
        const char* caption;
        int left;
    };
    constexpr Palette kPalettes[core::kPaletteCount] = {
        {"paletteButtonMono", "Mono", 59},      {"paletteButtonBlue", "Blue", 105},
        {"paletteButtonYellow", "Yellow", 151}, {"paletteButtonRed", "Red", 198},
        {"paletteButtonGreen", "Green", 244},   {"paletteButtonColor", "Color", 290}};
    paletteGroup_ = new QButtonGroup(this);
    for (int id = 0; id < core::kPaletteCount; ++id) {
        const Palette& p = kPalettes[id];
        QToolButton* b = Button(p.name, p.caption, p.left, 40);
        b->setCheckable(true);
        paletteButtons_[static_cast<std::size_t>(id)] = b;
        paletteGroup_->addButton(b, id);
    }
    // The next waterfall row takes the new palette; rows already drawn keep theirs.
    connect(paletteGroup_, &QButtonGroup::idToggled, this, [this](int id, bool down) {
        if (down)
            receiver_.SelectPalette(id);
    });

    // Each picture fills a panel with a lowered one-pixel bevel.
    auto makeView = [this](const char* panelName, const char* viewName, QFrame*& panel,
                           const QImage& image) {
        panel = new QFrame(this);
        panel->setObjectName(panelName);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setLineWidth(kBevel);
        auto* v = new SpectrumImage(panel);
        v->setObjectName(viewName);
        v->SetImage(&image);
        return v;
    };
    strip_ = makeView("stripPanel", "strip", stripPanel_, painter_.Strip());
    waterfall_ = makeView("waterfallPanel", "waterfall", waterfallPanel_, painter_.Waterfall());

    for (SpectrumImage* view : {strip_, waterfall_}) {
        view->Pressed = [this](Qt::MouseButton button, int x) { Pressed(button, x); };
        view->Moved = [this](int x) { Moved(x); };
    }
}

void SpectrumWindow::PressPaletteButton()
{
    // A stored palette that no button chooses becomes "Mono".
    receiver_.SelectPalette(receiver_.State().ColorNum);
    paletteButtons_[static_cast<std::size_t>(receiver_.State().ColorNum)]->setChecked(true);
}

void SpectrumWindow::ApplyStoredGeometry()
{
    const core::StoredWindow& place = receiver_.State().spectrumWindow;
    resize(place.width, place.height);
    RestoreFramePosition(*this, {place.left, place.top});
    // A hidden window gets its resize event only when shown; the pictures
    // and SpecScale follow the size at once.
    FitToClientArea();
    if (place.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void SpectrumWindow::FitToClientArea()
{
    const int w = width();
    const int h = height();
    stripPanel_->setGeometry(1, kStripPanelTop, w - 2, kStripPanelHeight);
    waterfallPanel_->setGeometry(1, kWaterfallPanelTop, w - 2, h - kWaterfallPanelTop);
    const int pictureWidth = std::max(w - 2 - 2 * kBevel, 1);
    const int waterfallHeight = std::max(h - kWaterfallPanelTop - 2 * kBevel, 1);
    strip_->setGeometry(kBevel, kBevel, pictureWidth, core::kStripHeight);
    waterfall_->setGeometry(kBevel, kBevel, pictureWidth, waterfallHeight);
    // New pictures: the waterfall's history is lost, the strip is redrawn
    // by the next block.
    painter_.Resize(pictureWidth, waterfallHeight);
    view_.SetWidth(pictureWidth);
    strip_->SetImage(&painter_.Strip());
    waterfall_->SetImage(&painter_.Waterfall());
    bandUpButton_->move(w - 42, kButtonTop);
}

void SpectrumWindow::Redraw(const double* spectrumDb)
{
    view_.PushSpectrum(spectrumDb);
    const core::ReceiverState& s = receiver_.State();
    StripInputs in;
    in.FreqCenter = s.FreqCenter;
    in.FreqTune = s.FreqTune;
    in.RxMode = s.RxMode;
    in.IFWidth = s.IFWidth;
    in.DragTune = s.DragTune;
    painter_.PaintStrip(in, view_);
    painter_.AddWaterfallRow(spectrumDb, view_, s.WaterGain, s.ColorNum);
    strip_->update();
    waterfall_->update();
}

// ------------------------------------------------------------------ mouse

void SpectrumWindow::Pressed(Qt::MouseButton button, int x)
{
    receiver_.SpectrumPressed(PointerOf(button), core::OffsetOfColumn(x, view_.SpecScale()));
}

void SpectrumWindow::Moved(int x)
{
    if (receiver_.State().DragTune)
        receiver_.SpectrumMoved(core::OffsetOfColumn(x, view_.SpecScale()));
}

// -------------------------------------------------------------- lifecycle

void SpectrumWindow::showEvent(QShowEvent* event)
{
    // Shown (not restored from an icon): a black waterfall to start from.
    if (!event->spontaneous()) {
        painter_.ClearWaterfall();
        waterfall_->update();
    }
    QWidget::showEvent(event);
}

void SpectrumWindow::resizeEvent(QResizeEvent* event)
{
    FitToClientArea();
    QWidget::resizeEvent(event);
}

void SpectrumWindow::closeEvent(QCloseEvent* event)
{
    // Closing only hides the window; DragTune, ColorNum and the traces stay.
    // The geometry goes to the state for the settings file: the current one,
    // or the last normal one while maximised. At exit the main window closes
    // it also when it never showed this run: the stored geometry then stands.
    if (isVisible()) {
        receiver_.StoreClosingWindowPlace(core::Window::Spectrum,
                                          QRect(FramePosition(*this), size()), isMaximized());
    }
    QWidget::closeEvent(event);
}

void SpectrumWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (!isActiveWindow()) {
            pressed_.Clear();
        } else if (!(windowState() &
                     (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
            // The normal geometry, to restore to after a start maximised.
            receiver_.StoreWindowPlace(core::Window::Spectrum, QRect(FramePosition(*this), size()));
        }
    }
    QWidget::changeEvent(event);
}

// ----------------------------------------------------------- keys, wheel

void SpectrumWindow::keyPressEvent(QKeyEvent* event)
{
    pressed_.Pressed(event->key());
    if (const int d = StepDirectionFromQt(event->key()))
        receiver_.StepTune(d);
    else
        QWidget::keyPressEvent(event);
}

void SpectrumWindow::keyReleaseEvent(QKeyEvent* event)
{
    // The main window's frequency entry works here too, for the release of
    // a press this window saw.
    if (event->isAutoRepeat() || !pressed_.Released(event->key()))
        return;
    const int code = VirtualKeyFromQt(event->key(), event->modifiers());
    if (code >= 0)
        receiver_.KeypadKey(code);
}

void SpectrumWindow::wheelEvent(QWheelEvent* event)
{
    const int notches = wheel_.Add(event->angleDelta().y());
    for (int n = 0; n < std::abs(notches); ++n)
        receiver_.StepTune(notches > 0 ? 1 : -1);
    event->accept();
}

}  // namespace ui
