#include "ui/windows/Placement.h"

#include "ui/windows/DeviceRestartNotice.h"

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace ui {

QPoint CentredInsideDesktop(const QRect& over, const QSize& own, const QRect& desktop)
{
    const QPoint centred = CentredTopLeft(over, own);
    return {std::max(centred.x(), desktop.left()), std::max(centred.y(), desktop.top())};
}

void CentreOver(QWidget* window, const QWidget* over)
{
    if (window == nullptr || over == nullptr)
        return;
    const QScreen* screen = over->screen();
    const QRect desktop = screen ? screen->availableGeometry() : QRect();
    window->move(
        CentredInsideDesktop(over->frameGeometry(), window->frameGeometry().size(), desktop));
}

QFont DialogFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow")});
    font.setPixelSize(pixelSize);
    return font;
}

void FitToWidth(QWidget* label, const QString& text)
{
    QFont font = label->font();
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(text) > label->width())
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
}

}  // namespace ui
