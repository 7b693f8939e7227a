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
    return ok;
}

}  // namespace assets
