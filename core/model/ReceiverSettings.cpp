#include "core/model/ReceiverSettings.h"

#include "radio/RadioTypes.h"

#include "settings/Ranges.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

namespace core {

namespace {

using S = ReceiverState;
using W = StoredWindow;

// The field a key binds, a member of the state or of one of its records (a
// window's place), and its value as the key's type (a choice as its code)
// both ways.
template <auto Field, class State>
auto& FieldAt(State& s)
{
    return s.*Field;
}
template <auto Record, auto Field, class State>
auto& FieldAt(State& s)
{
    return s.*Record.*Field;
}
template <class T, auto... Path>
T Get(const S& s)
{
    return static_cast<T>(FieldAt<Path...>(s));
}
template <class T, auto... Path>
void Set(S& s, T value)
{
    auto& field = FieldAt<Path...>(s);
    field = static_cast<std::remove_reference_t<decltype(field)>>(std::move(value));
}

template <auto... Path>
SettingsKey I(const char* section, const char* name)
{
    SettingsKey k{section, name, SettingsKey::Int};
    k.intField = {Get<int32_t, Path...>, Set<int32_t, Path...>};
    return k;
}
template <auto... Path>
SettingsKey B(const char* section, const char* name)
{
    SettingsKey k{section, name, SettingsKey::Bool};
    k.boolField = {Get<bool, Path...>, Set<bool, Path...>};
    return k;
}
template <auto... Path>
SettingsKey T(const char* section, const char* name)
{
    SettingsKey k{section, name, SettingsKey::String};
    k.stringField = {Get<std::string, Path...>, Set<std::string, Path...>};
    return k;
}

const std::array<SettingsKey, 52> kKeys = {{
    I<&S::mainWindow, &W::top>("Form", "MainTop"),
    I<&S::mainWindow, &W::left>("Form", "MainLeft"),
    I<&S::spectrumWindow, &W::top>("Form", "SpecTop"),
    I<&S::spectrumWindow, &W::left>("Form", "SpecLeft"),
    I<&S::spectrumWindow, &W::width>("Form", "SpecWidth"),
    I<&S::spectrumWindow, &W::height>("Form", "SpecHeight"),
    B<&S::spectrumWindow, &W::maximized>("Form", "SpecMaxmum"),
    I<&S::ifFilterWindow, &W::top>("Form", "FiltTop"),
    I<&S::ifFilterWindow, &W::left>("Form", "FiltLeft"),
    I<&S::keypadWindow, &W::top>("Form", "InpTop"),
    I<&S::keypadWindow, &W::left>("Form", "InpLeft"),
    I<&S::memoryListWindow, &W::top>("Form", "ListTop"),
    I<&S::memoryListWindow, &W::left>("Form", "ListLeft"),
    I<&S::memoryListWindow, &W::width>("Form", "ListWidth"),
    I<&S::memoryListWindow, &W::height>("Form", "ListHeight"),
    B<&S::memoryListWindow, &W::maximized>("Form", "ListMaxmum"),
    I<&S::afFilterWindow, &W::top>("Form", "AudioTop"),
    I<&S::afFilterWindow, &W::left>("Form", "AudioLeft"),
    I<&S::waveRecorderWindow, &W::top>("Form", "WaveTop"),
    I<&S::waveRecorderWindow, &W::left>("Form", "WaveLeft"),
    B<&S::spectrumWindow, &W::showing>("Form", "SpecShow"),
    B<&S::ifFilterWindow, &W::showing>("Form", "FiltShow"),
    B<&S::keypadWindow, &W::showing>("Form", "InpShow"),
    B<&S::memoryListWindow, &W::showing>("Form", "ListShow"),
    B<&S::afFilterWindow, &W::showing>("Form", "AudioShow"),
    B<&S::waveRecorderWindow, &W::showing>("Form", "WaveShow"),
    B<&S::alwaysOnTop>("Form", "MostTop"),
    I<&S::FreqTune>("Wave", "FreqTune"),
    I<&S::FreqCenter>("Wave", "FreqCenter"),
    I<&S::RxMode>("Wave", "RxMode"),
    I<&S::IFBW>("Wave", "IFBW"),
    I<&S::AFLPF>("Wave", "AFLPF"),
    I<&S::AGC>("Wave", "AGC"),
    I<&S::GainPos>("Wave", "GainPos"),
    I<&S::ColorNum>("Wave", "ColorNum"),
    I<&S::SqlPos>("Wave", "SqlPos"),
    I<&S::PosIFBW>("Wave", "PosIFBW"),
    I<&S::PosAFFC1>("Wave", "PosAFFC1"),
    I<&S::PosAFFC2>("Wave", "PosAFFC2"),
    I<&S::StepNum>("Wave", "StepNum"),
    I<&S::Input>("Wave", "Input"),
    I<&S::Output>("Wave", "Output"),
    I<&S::PortNum>("IO", "PortNum"),
    T<&S::PortStr>("IO", "PortStr"),
    I<&S::RadioType>("IO", "RadioType"),
    B<&S::DSP3D>("Wave", "DSP3D"),
    B<&S::DSPNR>("Wave", "DSPNR"),
    B<&S::DSPAN>("Wave", "DSPAN"),
    I<&S::InGainPos>("Wave", "InGainPos"),
    I<&S::WaterGainPos>("Wave", "WaterGainPos"),
    B<&S::InvIQ>("Wave", "InvIQ"),
    T<&S::MemName>("Etc", "MemName"),
}};

const std::array<SettingsKey, 3> kRemoteKeys = {{
    B<&S::RemoteOn>("Remote", "RemoteOn"),
    I<&S::RemotePort>("Remote", "RemotePort"),
    T<&S::RemoteAllow>("Remote", "RemoteAllow"),
}};

const std::array<SettingsKey, 5> kHamlibKeys = {{
    I<&S::HamlibModel>("Hamlib", "Model"),
    T<&S::HamlibPort>("Hamlib", "Port"),
    I<&S::HamlibSpeed>("Hamlib", "Speed"),
    I<&S::HamlibIqOffset>("Hamlib", "IqOffset"),
    I<&S::HamlibTransverterOffset>("Hamlib", "TransverterOffset"),
}};

const std::array<SettingsKey, 3> kUdpKeys = {{
    B<&S::UdpOn>("UDP", "UdpOn"),
    T<&S::UdpHost>("UDP", "UdpHost"),
    I<&S::UdpPort>("UDP", "UdpPort"),
}};

const std::array<SettingsKey, 6> kScanKeys = {{
    I<&S::scanWindow, &W::top>("Scan", "ScanTop"),
    I<&S::scanWindow, &W::left>("Scan", "ScanLeft"),
    B<&S::ScanRecordHits>("Scan", "RecordHits"),
    I<&S::ScanThreshold>("Scan", "Threshold"),
    I<&S::ScanHangMs>("Scan", "HangMs"),
    B<&S::ScanFmSquelch>("Scan", "FmSquelch"),
}};

const std::array<SettingsKey, 4> kInputCorrKeys = {{
    I<&S::IQCorr>("Wave", "IQCorr"),
    B<&S::DCCorr>("Wave", "DCCorr"),
    I<&S::IQCorrGain>("Wave", "IQCorrGain"),
    I<&S::IQCorrPhase>("Wave", "IQCorrPhase"),
}};

bool AnyInFile(std::span<const SettingsKey> keys, const ProfileDocument& doc)
{
    return std::any_of(keys.begin(), keys.end(), [&](const SettingsKey& k) {
        return doc.Find(k.section, k.name).has_value();
    });
}

void ReadKeys(std::span<const SettingsKey> keys, const ProfileDocument& doc, ReceiverState& state)
{
    static const ReceiverState defaults{};
    for (const SettingsKey& k : keys) {
        switch (k.type) {
        case SettingsKey::Int:
            k.intField.set(state, doc.ReadInt(k.section, k.name, k.intField.get(defaults)));
            break;
        case SettingsKey::Bool:
            k.boolField.set(state, doc.ReadBool(k.section, k.name, k.boolField.get(defaults)));
            break;
        case SettingsKey::String:
            k.stringField.set(state,
                              doc.ReadString(k.section, k.name, k.stringField.get(defaults)));
            break;
        }
    }
}

void WriteKeys(std::span<const SettingsKey> keys, ProfileDocument& doc, const ReceiverState& state)
{
    for (const SettingsKey& k : keys) {
        switch (k.type) {
        case SettingsKey::Int: doc.WriteInt(k.section, k.name, k.intField.get(state)); break;
        case SettingsKey::Bool: doc.WriteBool(k.section, k.name, k.boolField.get(state)); break;
        case SettingsKey::String:
            doc.WriteString(k.section, k.name, k.stringField.get(state));
            break;
        }
    }
}

}  // namespace

std::span<const SettingsKey> SettingsKeys() { return kKeys; }

std::span<const SettingsKey> RemoteKeys() { return kRemoteKeys; }

std::span<const SettingsKey> HamlibKeys() { return kHamlibKeys; }

std::span<const SettingsKey> UdpKeys() { return kUdpKeys; }
std::span<const SettingsKey> ScanKeys() { return kScanKeys; }
std::span<const SettingsKey> InputCorrectionKeys() { return kInputCorrKeys; }

void ReadSettings(const ProfileDocument& doc, ReceiverState& state)
{
    ReadKeys(kKeys, doc, state);
    ReadKeys(kRemoteKeys, doc, state);
    state.RemoteStored = AnyInFile(kRemoteKeys, doc);
    ReadKeys(kHamlibKeys, doc, state);
    state.HamlibStored = AnyInFile(kHamlibKeys, doc);
    ReadKeys(kUdpKeys, doc, state);
    state.UdpStored = AnyInFile(kUdpKeys, doc);
    ReadKeys(kScanKeys, doc, state);
    state.ScanStored = AnyInFile(kScanKeys, doc);
    ReadKeys(kInputCorrKeys, doc, state);
    state.InputCorrStored = AnyInFile(kInputCorrKeys, doc);
    state.IqBands.Read(doc);
}

namespace {

// A place near the int32 limits (a hand-edited or damaged file) would
// overflow where its size is added; clamped, it is only off the screens, and
// the window's placement brings it back.
void BringPlacesIntoRange(ReceiverState& s)
{
    constexpr int32_t limit = kWindowCoordinateLimit;
    for (Window w : {Window::Main, Window::Spectrum, Window::IfFilter, Window::Keypad,
                     Window::MemoryList, Window::AfFilter, Window::WaveRecorder, Window::Scan}) {
        StoredWindow& place = s.Place(w);
        place.top = std::clamp(place.top, -limit, limit);
        place.left = std::clamp(place.left, -limit, limit);
        place.width = std::clamp(place.width, 0, limit);
        place.height = std::clamp(place.height, 0, limit);
    }
}

}  // namespace

void BringIntoRange(ReceiverState& s)
{
    settings::BringChainControlsIntoRange(s);
    s.StepNum = std::clamp(s.StepNum, 0, 16);
    s.WaterGainPos = std::clamp(s.WaterGainPos, -40, 40);
    // A palette the spectrum window does not know draws as the first, "Mono".
    s.ColorNum = settings::ChoiceOrZero(s.ColorNum, 5);
    // Tuning sums FreqCenter, FreqTune and a step: kept where the radio and
    // the IQ band put them, they stay far from the int32 limits.
    const radio::RadioTypeInfo& type = radio::RadioTypeOf(s.RadioType);
    s.FreqCenter = std::clamp(s.FreqCenter, type.MinCenter, type.MaxCenter);
    if (s.RemotePort < 1 || s.RemotePort > 65535)
        s.RemotePort = ReceiverState{}.RemotePort;
    // The dial is computed in 64 bits; these bounds keep a centre read back
    // from it checkable against the radio type's range.
    s.HamlibSpeed = std::clamp(s.HamlibSpeed, 0, 4000000);
    s.HamlibIqOffset = std::clamp(s.HamlibIqOffset, -kMaxIqOffset, kMaxIqOffset);
    s.HamlibTransverterOffset =
        std::clamp(s.HamlibTransverterOffset, -kMaxTransverterOffset, kMaxTransverterOffset);
    if (s.UdpPort < 1 || s.UdpPort > 65535)
        s.UdpPort = ReceiverState{}.UdpPort;
    if (s.UdpHost.empty())
        s.UdpHost = ReceiverState{}.UdpHost;
    BringPlacesIntoRange(s);
    // The scan window's controls' ranges.
    s.ScanThreshold = std::clamp(s.ScanThreshold, 1, 60);
    s.ScanHangMs = std::clamp(s.ScanHangMs, 0, 60000);
}

void LoadSettings(const std::filesystem::path& file, ReceiverState& state)
{
    ReadSettings(ProfileDocument::Load(file), state);
    BringIntoRange(state);
    state.MemoryMode = !state.MemName.empty();
}

void WriteSettings(ProfileDocument& doc, ReceiverState& state)
{
    if (!state.MemoryMode)
        state.MemName.clear();
    WriteKeys(kKeys, doc, state);
    if (state.RemoteStored)
        WriteKeys(kRemoteKeys, doc, state);
    if (state.HamlibStored)
        WriteKeys(kHamlibKeys, doc, state);
    if (state.UdpStored)
        WriteKeys(kUdpKeys, doc, state);
    if (state.ScanStored)
        WriteKeys(kScanKeys, doc, state);
    if (state.InputCorrStored)
        WriteKeys(kInputCorrKeys, doc, state);
    state.IqBands.Write(doc);
}

void SaveSettings(const std::filesystem::path& file, ReceiverState& state,
                  const std::filesystem::path& source)
{
    ProfileDocument doc = ProfileDocument::Load(source.empty() ? file : source);
    WriteSettings(doc, state);
    doc.Save(file);
}

SavedGeometry GeometryToSave(bool isMaximized, const WindowGeometry& current,
                             const WindowGeometry& storedNormal)
{
    return isMaximized ? SavedGeometry{storedNormal, true} : SavedGeometry{current, false};
}

void StoreGeometry(StoredWindow& place, bool isMaximized, const WindowGeometry& current)
{
    const SavedGeometry g =
        GeometryToSave(isMaximized, current, {place.top, place.left, place.width, place.height});
    place.top = g.geometry.Top;
    place.left = g.geometry.Left;
    place.width = g.geometry.Width;
    place.height = g.geometry.Height;
    place.maximized = g.maximized;
}

}  // namespace core
