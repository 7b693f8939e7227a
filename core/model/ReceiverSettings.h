#pragma once

// The settings file's 52 keys bound to the fields of the receiver state. The
// file format itself (profile strings) lives in settings/, below the core.

#include "core/model/ReceiverState.h"
#include "settings/ProfileFile.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace core {

using settings::ProfileDocument;
using settings::ProfileWriteError;

// How a key reaches its field: a choice is read and written as its code.
template <class T>
struct FieldAccess {
    T (*get)(const ReceiverState&) = nullptr;
    void (*set)(ReceiverState&, T) = nullptr;
};

// One key of the settings file and the state field it keeps; the field of
// the key's type is bound.
struct SettingsKey {
    enum Type { Int, Bool, String };
    const char* section;
    const char* name;
    Type type;
    FieldAccess<int32_t> intField{};
    FieldAccess<bool> boolField{};
    FieldAccess<std::string> stringField{};
};

// The 52 keys in the order they are read and written: "Form", then "Wave" up
// to "Output", "IO", the rest of "Wave", "Etc".
std::span<const SettingsKey> SettingsKeys();

// The remote control's keys, section "Remote", after the 52: RemoteOn,
// RemotePort, RemoteAllow. They are written only while RemoteStored, which
// the file's having any of them sets, and the operator's setting them.
std::span<const SettingsKey> RemoteKeys();

// The Hamlib radio's keys, section "Hamlib", after the remote control's:
// Model, Port, Speed, IqOffset, TransverterOffset; written only while
// HamlibStored, as the remote control's are while RemoteStored.
std::span<const SettingsKey> HamlibKeys();

// Audio over UDP's keys, section "UDP", after the Hamlib radio's: UdpOn,
// UdpHost, UdpPort; written only while UdpStored, as the others are.
std::span<const SettingsKey> UdpKeys();

// The "Scan" window's keys, section "Scan", after audio over UDP's:
// ScanTop, ScanLeft, RecordHits, Threshold, HangMs, FmSquelch; written only
// while ScanStored, as the remote control's are while RemoteStored.
std::span<const SettingsKey> ScanKeys();

// The input corrections' keys in "Wave": IQCorr, DCCorr, IQCorrGain,
// IQCorrPhase; written only while InputCorrStored, as the Hamlib radio's are.
// The automatic balance's bands ("IQBalance") are written once it kept one.
std::span<const SettingsKey> InputCorrectionKeys();

// The offsets' limits (Hz): an IQ output is centred near its dial, a
// transverter shifts by up to some GHz.
inline constexpr int32_t kMaxIqOffset = 1000000;
inline constexpr int32_t kMaxTransverterOffset = 2000000000;

// Every key from `doc` into `state`; a missing key or a value that is not a
// number gives the key's default. Nothing is brought into range here.
void ReadSettings(const ProfileDocument& doc, ReceiverState& state);

// Values no control could produce, brought to what start-up would make of
// them: the chain's settings as settings::BringChainControlsIntoRange has
// them (tesmar-demod's options go through the same rules); StepNum and the
// waterfall gain are clamped to their controls' ranges, an unknown palette
// becomes 0, and FreqCenter is kept inside what the radio type tunes, so
// that no tuning sum can leave the int32 range. A RemotePort that is no TCP
// port becomes 4532; the Hamlib speed and offsets are kept within their
// limits, and so are the scan window's threshold (1..60 dB) and hang time
// (0..60 s), as its controls have them. A UdpPort that is no port becomes
// 7355, an empty UdpHost 127.0.0.1.
void BringIntoRange(ReceiverState& state);

// Start-up's settings load: the file's keys (defaults without a file),
// brought into range; MemoryMode follows MemName. Never fails.
void LoadSettings(const std::filesystem::path& file, ReceiverState& state);

// Every key from `state` into `doc`, in order, the remote control's while
// RemoteStored, the Hamlib radio's while HamlibStored and audio over UDP's
// while UdpStored. Without a selected memory channel MemName is cleared
// first, so only a channel selected at exit is restored.
void WriteSettings(ProfileDocument& doc, ReceiverState& state);

// Closing's settings save: the other lines of `source` (the file itself when
// not given) are kept and the new text replaces `file` in one step. Throws
// ProfileWriteError, whose message names the file; the file then keeps its
// previous contents.
void SaveSettings(const std::filesystem::path& file, ReceiverState& state,
                  const std::filesystem::path& source = {});

// A window's position and size in screen pixels.
struct WindowGeometry {
    int32_t Top = 0, Left = 0, Width = 0, Height = 0;
    bool operator==(const WindowGeometry&) const = default;
};

struct SavedGeometry {
    WindowGeometry geometry;
    bool maximized = false;
};

// What the spectrum and memory list windows save: while maximised, the normal
// geometry the window last recorded (so the next start has it to restore to)
// with the maximised flag; otherwise the window's current geometry.
SavedGeometry GeometryToSave(bool isMaximized, const WindowGeometry& current,
                             const WindowGeometry& storedNormal);

// GeometryToSave applied to the spectrum or memory list window's stored place,
// the stored normal geometry being the one the place holds. For a window
// closing while it shows.
void StoreGeometry(StoredWindow& place, bool isMaximized, const WindowGeometry& current);

}  // namespace core
