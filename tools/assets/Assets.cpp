#include "tools/assets/Assets.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace assets {

namespace {

constexpr double kPivotX = 70.0;
constexpr double kPivotY = 80.0;
constexpr double kArcRadius = 66.0;  // just inside the needle tips (70)
constexpr double kLabelRadius = 52.0;

// Where the marks sit on the needle's travel: S1 to S9 over the left
// five-eighths, then +20 and +40 dB over S9.
constexpr double kS1 = 35.0;
constexpr double kS9 = 105.0;
constexpr double kPlus20 = 125.0;
constexpr double kPlus40 = 145.0;

double SUnitAngle(int s) { return kS1 + (kS9 - kS1) * (s - 1) / 8.0; }

void DrawLabel(QPainter& p, const QString& text, double angleDeg)
{
    const PointF at = ScalePoint(angleDeg, kLabelRadius);
    const QFontMetricsF m(p.font());
    const double w = m.horizontalAdvance(text);
    p.drawText(QPointF(at.x - w / 2.0, at.y + m.capHeight() / 2.0), text);
}

void Tick(QPainter& p, double angleDeg, double inner)
{
    const PointF a = ScalePoint(angleDeg, inner);
    const PointF b = ScalePoint(angleDeg, kArcRadius);
    p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
}

void Arc(QPainter& p, double fromDeg, double toDeg)
{
    // Qt counts angles counter-clockwise from three o'clock; the needle's
    // angle h points at 180 - h there.
    const QRectF box(kPivotX - kArcRadius, kPivotY - kArcRadius, 2 * kArcRadius, 2 * kArcRadius);
    QPainterPath path;
    path.arcMoveTo(box, 180.0 - fromDeg);
    path.arcTo(box, 180.0 - fromDeg, -(toDeg - fromDeg));
    p.drawPath(path);
}

std::vector<int16_t> Tones(std::initializer_list<std::pair<double, double>> parts, double amplitude,
                           double fadeMs)
{
    std::vector<int16_t> out;
    for (const auto& [freq, ms] : parts) {
        const int n = static_cast<int>(kSampleRate * ms / 1000.0);
        const int fade = static_cast<int>(kSampleRate * fadeMs / 1000.0);
        for (int i = 0; i < n; ++i) {
            double env = 1.0;
            if (i < fade)
                env = 0.5 - 0.5 * std::cos(M_PI * i / fade);
            else if (i >= n - fade)
                env = 0.5 - 0.5 * std::cos(M_PI * (n - 1 - i) / fade);
            const double v = amplitude * env * std::sin(2.0 * M_PI * freq * i / kSampleRate);
            out.push_back(static_cast<int16_t>(std::lround(v * 32767.0)));
        }
    }
    return out;
}

// A spectrum of a receiver's band: a noise floor with a few stations, the
// strongest right of the middle, clear of the name. y in [0, 1], 1 the peak; x in [0, 1].
double Trace(double x)
{
    auto peak = [x](double at, double width, double height) {
        const double d = (x - at) / width;
        return height / (1.0 + d * d);
    };
    const double floor = 0.06 + 0.03 * std::sin(x * 57.0) * std::sin(x * 13.0);
    return std::min(1.0, floor + peak(0.62, 0.025, 0.95) + peak(0.3, 0.012, 0.45) +
                             peak(0.82, 0.018, 0.6) + peak(0.93, 0.008, 0.3));
}

QPainterPath TracePath(const QRectF& box, int steps)
{
    QPainterPath path;
    for (int i = 0; i <= steps; ++i) {
        const double x = double(i) / steps;
        const QPointF at(box.left() + x * box.width(), box.bottom() - Trace(x) * box.height());
        if (i == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    return path;
}

// The waterfall's colours from dark blue through cyan and yellow to white.
QColor Heat(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    if (v < 0.33)
        return QColor::fromRgbF(0.0, 0.1 + v * 1.2, 0.3 + v * 1.5);
    if (v < 0.66)
        return QColor::fromRgbF((v - 0.33) * 3.0, 0.5 + (v - 0.33) * 1.5, 0.8 - (v - 0.33) * 1.8);
    return QColor::fromRgbF(1.0, 1.0, (v - 0.66) * 2.9);
}

void Put16(QByteArray& b, uint16_t v)
{
    b.append(static_cast<char>(v & 0xff));
    b.append(static_cast<char>(v >> 8));
}

void Put32(QByteArray& b, uint32_t v)
{
    Put16(b, static_cast<uint16_t>(v & 0xffff));
    Put16(b, static_cast<uint16_t>(v >> 16));
}

}  // namespace

PointF ScalePoint(double angleDeg, double radius)
{
    const double a = angleDeg * M_PI / 180.0;
    return {kPivotX - radius * std::cos(a), kPivotY - radius * std::sin(a)};
}

QImage MakeMeterFace()
{
    QImage img(kMeterWidth, kMeterHeight, QImage::Format_RGB888);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    // A dark face, a shade lighter at the top, so that white and grey
    // needles stand out.
    QLinearGradient back(0, 0, 0, kMeterHeight);
    back.setColorAt(0.0, QColor(44, 48, 58));
    back.setColorAt(1.0, QColor(14, 16, 22));
    p.fillRect(img.rect(), back);

    const QColor scale(210, 214, 220);
    const QColor over(232, 84, 60);

    p.setPen(QPen(scale, 1.6, Qt::SolidLine, Qt::FlatCap));
    Arc(p, 30.0, kS9);
    p.setPen(QPen(over, 2.2, Qt::SolidLine, Qt::FlatCap));
    Arc(p, kS9, 150.0);

    for (int s = 1; s <= 9; ++s) {
        p.setPen(QPen(scale, s % 2 == 1 ? 1.4 : 1.0));
        Tick(p, SUnitAngle(s), s % 2 == 1 ? kArcRadius - 7.0 : kArcRadius - 4.0);
    }
    p.setPen(QPen(over, 1.0));
    Tick(p, (kS9 + kPlus20) / 2.0, kArcRadius - 4.0);
    Tick(p, (kPlus20 + kPlus40) / 2.0, kArcRadius - 4.0);
    p.setPen(QPen(over, 1.4));
    Tick(p, kPlus20, kArcRadius - 7.0);
    Tick(p, kPlus40, kArcRadius - 7.0);

    QFont font("DejaVu Sans");
    font.setPixelSize(9);
    p.setFont(font);
    p.setPen(scale);
    for (int s : {1, 3, 5, 7, 9})
        DrawLabel(p, QString::number(s), SUnitAngle(s));
    p.setPen(over);
    DrawLabel(p, "+20", kPlus20);
    DrawLabel(p, "+40", kPlus40);

    font.setPixelSize(10);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(150, 156, 168));
    p.drawText(QPointF(6, 66), "S");
    font.setBold(false);
    font.setPixelSize(8);
    p.setFont(font);
    p.drawText(QPointF(120, 66), "dB");
    p.end();
    return img;
}

QImage MakeLogo()
{
    QImage img(kLogoWidth, kLogoHeight, QImage::Format_RGB888);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    QLinearGradient back(0, 0, 0, kLogoHeight);
    back.setColorAt(0.0, QColor(20, 34, 64));
    back.setColorAt(1.0, QColor(6, 10, 22));
    p.fillRect(img.rect(), back);

    // A waterfall strip along the bottom, rows of the trace fading upwards.
    for (int row = 0; row < 8; ++row) {
        for (int x = 0; x < kLogoWidth; ++x) {
            const double v = Trace((x + 0.5) / kLogoWidth) * (1.0 - row * 0.09);
            img.setPixelColor(x, kLogoHeight - 1 - row, Heat(v));
        }
    }
    p.setPen(QPen(QColor(120, 230, 170), 1.2));
    p.drawPath(TracePath(QRectF(0, 12, kLogoWidth, 28), 200));

    QFont font("DejaVu Sans");
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 140));
    p.drawText(QPointF(9, 31), "Tesmar");
    p.setPen(QColor(245, 247, 250));
    p.drawText(QPointF(8, 30), "Tesmar");
    p.end();
    return img;
}

QImage MakeIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    // Drawn on the 32-pixel grid, so that every size shows the same picture.
    p.scale(double(size) / kIconSize, double(size) / kIconSize);
    QLinearGradient back(0, 0, 0, kIconSize);
    back.setColorAt(0.0, QColor(28, 48, 90));
    back.setColorAt(1.0, QColor(8, 14, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0.5, 0.5, kIconSize - 1, kIconSize - 1), 6, 6);
    p.setPen(QPen(QColor(120, 230, 170), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(TracePath(QRectF(3, 5, kIconSize - 6, kIconSize - 11), 60));
    p.end();
    return img;
}

QByteArray MakeIconSvg()
{
    // The same picture as MakeIcon, as a desktop's menu scales it. Numbers
    // through QByteArray::number, which knows no locale.
    const auto n = [](double v) { return QByteArray::number(v, 'f', 2); };
    QByteArray points;
    const QPainterPath trace = TracePath(QRectF(3, 5, kIconSize - 6, kIconSize - 11), 60);
    for (int i = 0; i < trace.elementCount(); ++i)
        points += (i ? " " : "") + n(trace.elementAt(i).x) + "," + n(trace.elementAt(i).y);
    const QByteArray size = QByteArray::number(kIconSize);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           size + "\" height=\"" + size + "\" viewBox=\"0 0 " + size + " " + size +
           "\">\n"
           "  <defs>\n"
           "    <linearGradient id=\"back\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
           "      <stop offset=\"0\" stop-color=\"#1c305a\"/>\n"
           "      <stop offset=\"1\" stop-color=\"#080e1e\"/>\n"
           "    </linearGradient>\n"
           "  </defs>\n"
           "  <rect x=\"0.5\" y=\"0.5\" width=\"" +
           n(kIconSize - 1) + "\" height=\"" + n(kIconSize - 1) +
           "\" rx=\"6\" ry=\"6\" fill=\"url(#back)\"/>\n"
           "  <polyline fill=\"none\" stroke=\"#78e6aa\" stroke-width=\"1.6\" points=\"" +
           points + "\"/>\n</svg>\n";
}

std::vector<int16_t> MakeClick() { return Tones({{1200.0, 40.0}}, 0.18, 4.0); }

std::vector<int16_t> MakeAccepted() { return Tones({{880.0, 60.0}, {1320.0, 60.0}}, 0.18, 6.0); }

std::vector<int16_t> MakeRefused() { return Tones({{440.0, 100.0}, {330.0, 100.0}}, 0.2, 8.0); }

bool WriteWav(const QString& path, const std::vector<int16_t>& samples)
{
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    QByteArray b;
    b.append("RIFF");
    Put32(b, 36 + dataBytes);
    b.append("WAVEfmt ");
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, 1);  // mono
    Put32(b, kSampleRate);
    Put32(b, kSampleRate * 2);
    Put16(b, 2);
    Put16(b, 16);
    b.append("data");
    Put32(b, dataBytes);
    for (int16_t s : samples)
        Put16(b, static_cast<uint16_t>(s));

    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(b) == b.size() && f.flush();
}

bool WriteAll(const QString& dir)
{
    const QDir d(dir);
    bool ok = MakeMeterFace().save(d.filePath("Meter.bmp"), "BMP");
    ok = WriteWav(d.filePath("beep1.wav"), MakeClick()) && ok;
    ok = WriteWav(d.filePath("beep2.wav"), MakeAccepted()) && ok;
    ok = WriteWav(d.filePath("beep3.wav"), MakeRefused()) && ok;
    ok = MakeLogo().save(d.filePath("Logo.png"), "PNG") && ok;
    ok = MakeIcon().save(d.filePath("Icon.png"), "PNG") && ok;
    // The desktop menu's icons, in the icon theme's folders.
    for (const int size : kThemeIconSizes) {
        const QString folder = QStringLiteral("icons/%1x%1").arg(size);
        ok = d.mkpath(folder) && MakeIcon(size).save(d.filePath(folder + "/tesmar.png"), "PNG") &&
             ok;
    }
    QFile svg(d.filePath("icons/tesmar.svg"));
    const QByteArray text = MakeIconSvg();
    ok = d.mkpath("icons") && svg.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         svg.write(text) == text.size() && svg.flush() && ok;
    return ok;
}

}  // namespace assets
