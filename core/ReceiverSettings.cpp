#include "core/ReceiverSettings.h"

#include "radio/RadioTypes.h"

#include "settings/Ranges.h"

#include <algorithm>
#include <array>

namespace core {

namespace {

using S = ReceiverState;

constexpr SettingsKey I(const char* section, const char* name, int32_t S::*field)
{
    return {section, name, SettingsKey::Int, field, nullptr, nullptr};
}
constexpr SettingsKey B(const char* section, const char* name, bool S::*field)
{
    return {section, name, SettingsKey::Bool, nullptr, field, nullptr};
}
constexpr SettingsKey T(const char* section, const char* name, std::string S::*field)
{
    return {section, name, SettingsKey::String, nullptr, nullptr, field};
}

const std::array<SettingsKey, 52> kKeys = {{
    I("Form", "MainTop", &S::MainTop),
    I("Form", "MainLeft", &S::MainLeft),
    I("Form", "SpecTop", &S::SpecTop),
    I("Form", "SpecLeft", &S::SpecLeft),
    I("Form", "SpecWidth", &S::SpecWidth),
    I("Form", "SpecHeight", &S::SpecHeight),
    B("Form", "SpecMaxmum", &S::SpecMaximized),
    I("Form", "FiltTop", &S::FiltTop),
    I("Form", "FiltLeft", &S::FiltLeft),
    I("Form", "InpTop", &S::InpTop),
    I("Form", "InpLeft", &S::InpLeft),
    I("Form", "ListTop", &S::ListTop),
    I("Form", "ListLeft", &S::ListLeft),
    I("Form", "ListWidth", &S::ListWidth),
    I("Form", "ListHeight", &S::ListHeight),
    B("Form", "ListMaxmum", &S::ListMaximized),
    I("Form", "AudioTop", &S::AudioTop),
    I("Form", "AudioLeft", &S::AudioLeft),
    I("Form", "WaveTop", &S::WaveTop),
    I("Form", "WaveLeft", &S::WaveLeft),
    B("Form", "SpecShow", &S::SpecShow),
    B("Form", "FiltShow", &S::FiltShow),
    B("Form", "InpShow", &S::InpShow),
    B("Form", "ListShow", &S::ListShow),
    B("Form", "AudioShow", &S::AudioShow),
    B("Form", "WaveShow", &S::WaveShow),
    B("Form", "MostTop", &S::MostTop),
    I("Wave", "FreqTune", &S::FreqTune),
    I("Wave", "FreqCenter", &S::FreqCenter),
    I("Wave", "RxMode", &S::RxMode),
    I("Wave", "IFBW", &S::IFBW),
    I("Wave", "AFLPF", &S::AFLPF),
    I("Wave", "AGC", &S::AGC),
    I("Wave", "GainPos", &S::GainPos),
    I("Wave", "ColorNum", &S::ColorNum),
    I("Wave", "SqlPos", &S::SqlPos),
    I("Wave", "PosIFBW", &S::PosIFBW),
    I("Wave", "PosAFFC1", &S::PosAFFC1),
    I("Wave", "PosAFFC2", &S::PosAFFC2),
    I("Wave", "StepNum", &S::StepNum),
    I("Wave", "Input", &S::Input),
    I("Wave", "Output", &S::Output),
    I("IO", "PortNum", &S::PortNum),
    T("IO", "PortStr", &S::PortStr),
    I("IO", "RadioType", &S::RadioType),
    B("Wave", "DSP3D", &S::DSP3D),
    B("Wave", "DSPNR", &S::DSPNR),
    B("Wave", "DSPAN", &S::DSPAN),
    I("Wave", "InGainPos", &S::InGainPos),
    I("Wave", "WaterGainPos", &S::WaterGainPos),
    B("Wave", "InvIQ", &S::InvIQ),
    T("Etc", "MemName", &S::MemName),
}};

const std::array<SettingsKey, 3> kRemoteKeys = {{
    B("Remote", "RemoteOn", &S::RemoteOn),
    I("Remote", "RemotePort", &S::RemotePort),
    T("Remote", "RemoteAllow", &S::RemoteAllow),
}};

const std::array<SettingsKey, 5> kHamlibKeys = {{
    I("Hamlib", "Model", &S::HamlibModel),
    T("Hamlib", "Port", &S::HamlibPort),
    I("Hamlib", "Speed", &S::HamlibSpeed),
    I("Hamlib", "IqOffset", &S::HamlibIqOffset),
    I("Hamlib", "TransverterOffset", &S::HamlibTransverterOffset),
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
            state.*k.intField = doc.ReadInt(k.section, k.name, defaults.*k.intField);
            break;
        case SettingsKey::Bool:
            state.*k.boolField = doc.ReadBool(k.section, k.name, defaults.*k.boolField);
            break;
        case SettingsKey::String:
            state.*k.stringField = doc.ReadString(k.section, k.name, defaults.*k.stringField);
            break;
        }
    }
}

void WriteKeys(std::span<const SettingsKey> keys, ProfileDocument& doc, const ReceiverState& state)
{
    for (const SettingsKey& k : keys) {
        switch (k.type) {
        case SettingsKey::Int: doc.WriteInt(k.section, k.name, state.*k.intField); break;
        case SettingsKey::Bool: doc.WriteBool(k.section, k.name, state.*k.boolField); break;
        case SettingsKey::String: doc.WriteString(k.section, k.name, state.*k.stringField); break;
        }
    }
}

}  // namespace

std::span<const SettingsKey> SettingsKeys() { return kKeys; }

std::span<const SettingsKey> RemoteKeys() { return kRemoteKeys; }

std::span<const SettingsKey> HamlibKeys() { return kHamlibKeys; }

void ReadSettings(const ProfileDocument& doc, ReceiverState& state)
{
    ReadKeys(kKeys, doc, state);
    ReadKeys(kRemoteKeys, doc, state);
    state.RemoteStored = AnyInFile(kRemoteKeys, doc);
    ReadKeys(kHamlibKeys, doc, state);
    state.HamlibStored = AnyInFile(kHamlibKeys, doc);
}

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

void StoreSpectrumGeometry(ReceiverState& s, bool isMaximized, const WindowGeometry& current)
{
    const SavedGeometry g =
        GeometryToSave(isMaximized, current, {s.SpecTop, s.SpecLeft, s.SpecWidth, s.SpecHeight});
    s.SpecTop = g.geometry.Top;
    s.SpecLeft = g.geometry.Left;
    s.SpecWidth = g.geometry.Width;
    s.SpecHeight = g.geometry.Height;
    s.SpecMaximized = g.maximized;
}

void StoreListGeometry(ReceiverState& s, bool isMaximized, const WindowGeometry& current)
{
    const SavedGeometry g =
        GeometryToSave(isMaximized, current, {s.ListTop, s.ListLeft, s.ListWidth, s.ListHeight});
    s.ListTop = g.geometry.Top;
    s.ListLeft = g.geometry.Left;
    s.ListWidth = g.geometry.Width;
    s.ListHeight = g.geometry.Height;
    s.ListMaximized = g.maximized;
}

}  // namespace core
