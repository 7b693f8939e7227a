#pragma once

// The data files the receiver reads from beside its executable when they are
// there: the meter face "Meter.bmp", the keypad sounds "beep1.wav" to
// "beep3.wav", and the version window's logo "Logo.png" and icon "Icon.png"
// (also the windows' icon). We draw and synthesise our own at build time.

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace assets {

constexpr int kMeterWidth = 140;
constexpr int kMeterHeight = 70;
constexpr int kSampleRate = 48000;

// The needle's angle in degrees (30 left end, 150 right end) for a point of
// the scale, and the point at radius r from the needle's pivot (70, 80).
struct PointF {
    double x, y;
};
PointF ScalePoint(double angleDeg, double radius);

// The meter face: a scale along the arc of the needle tips with S-unit and
// over-S9 marks, drawn for white and grey needles on top.
QImage MakeMeterFace();

constexpr int kLogoWidth = 200;
constexpr int kLogoHeight = 50;
constexpr int kIconSize = 32;

// The logo: the name over a dark band with a spectrum trace and a waterfall
// strip. The icon: the same trace in a rounded square.
QImage MakeLogo();
QImage MakeIcon(int size = kIconSize);
// The icon as SVG text, for the desktop menu.
QByteArray MakeIconSvg();
// The sizes of the menu icon drawn for the icon theme (icons/NxN/tesmar.png).
inline constexpr int kThemeIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// Mono 16-bit sounds: a key click, a rising "accepted" and a falling
// "refused", quiet and with soft edges.
std::vector<int16_t> MakeClick();
std::vector<int16_t> MakeAccepted();
std::vector<int16_t> MakeRefused();

// Writes a 44-byte-header PCM WAV file, mono, 16 bits, kSampleRate.
bool WriteWav(const QString& path, const std::vector<int16_t>& samples);

// Writes all six files into dir, and the menu icons into its "icons" folder;
// false when one cannot be written.
bool WriteAll(const QString& dir);

}  // namespace assets
