#pragma once

// What a network client may ask of the receiver, as the rig protocol sees
// it: the receive frequency, the mode and its pass band, three levels and
// the audio recorder. The core implements it over the receiver; this folder
// knows nothing of the core, so the protocol and its tests stand alone.
// Standard library only.

#include <cstdint>
#include <span>

namespace remote {

// Hamlib's error codes ("RPRT -n" carries them negated).
enum class RigStatus : int {
    Ok = 0,
    InvalidParameter = 1,  // RIG_EINVAL
    NotImplemented = 4,    // RIG_ENIMPL: a command this server does not know
    IoError = 6,           // RIG_EIO: a file could not be written
    Rejected = 9,          // RIG_ERJCTED: refused in the receiver's present state
    NotAvailable = 11,     // RIG_ENAVAIL: a rig function a receiver does not have
};

// The receiver's five demodulators. Hamlib's data and reversed modes map
// onto them (PKTUSB onto Usb, CWR onto Cw, ...).
enum class RigMode : uint8_t { Am, Fm, Cw, Lsb, Usb };
inline constexpr int kRigModeCount = 5;

// Hamlib's scan functions the receiver carries out ("g STOP", "g MEM",
// "g VFO").
enum class RigScan : uint8_t { Stop, Memory, Vfo };

// What "\dump_state" describes.
struct RigCaps {
    int64_t minHz = 0;  // the receive range, inclusive
    int64_t maxHz = 0;
    // The pass band each mode starts with, indexed by RigMode.
    int32_t normalWidth[kRigModeCount] = {};
    // The fixed pass bands; any other width can be set too when anyWidth.
    std::span<const int32_t> widths;
    bool anyWidth = false;
    std::span<const int32_t> tuningSteps;  // Hz
};

class Rig {
public:
    virtual ~Rig() = default;

    virtual RigCaps Caps() const = 0;

    // The receive frequency in Hz.
    virtual int64_t Frequency() const = 0;
    virtual RigStatus SetFrequency(int64_t hz) = 0;

    virtual RigMode Mode() const = 0;
    // The pass band's width in Hz.
    virtual int32_t Passband() const = 0;
    // Another mode (when it differs) and a width in Hz, or 0 to keep the
    // width in effect.
    virtual RigStatus SetMode(RigMode mode, int32_t width) = 0;

    // The signal meter's reading, dB relative to S9.
    virtual int StrengthDb() const = 0;
    // Volume and squelch, 0..1 over their knobs' travel.
    virtual double Volume() const = 0;
    virtual double Squelch() const = 0;
    virtual RigStatus SetVolume(double level) = 0;
    virtual RigStatus SetSquelch(double level) = 0;

    // The received audio's recorder (a satellite pass's start and end).
    virtual RigStatus StartRecording() = 0;
    virtual RigStatus StopRecording() = 0;

    // The scanner: the memory channels, a search of the band, or stopped.
    virtual RigStatus Scan(RigScan what) = 0;
};

}  // namespace remote
