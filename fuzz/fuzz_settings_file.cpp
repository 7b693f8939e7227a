// Any text as the settings file: it is read as start-up reads it, the state
// is saved into that same text as closing saves it, and the saved text must
// read back as exactly the state that was saved, key by key.
#include "core/model/ReceiverSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool SameKeys(const core::ReceiverState& a, const core::ReceiverState& b)
{
    for (const core::SettingsKey& k : core::SettingsKeys()) {
        switch (k.type) {
        case core::SettingsKey::Int:
            if (k.intField.get(a) != k.intField.get(b))
                return false;
            break;
        case core::SettingsKey::Bool:
            if (k.boolField.get(a) != k.boolField.get(b))
                return false;
            break;
        case core::SettingsKey::String:
            if (k.stringField.get(a) != k.stringField.get(b))
                return false;
            break;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    core::ReceiverState loaded;
    core::ReadSettings(settings::ProfileDocument::FromText(text), loaded);
    core::BringIntoRange(loaded);
    // A memory channel selected at exit keeps its name in the file.
    loaded.MemoryMode = true;

    settings::ProfileDocument saved = settings::ProfileDocument::FromText(text);
    core::WriteSettings(saved, loaded);
    core::ReceiverState again;
    core::ReadSettings(settings::ProfileDocument::FromText(saved.Text()), again);
    if (!SameKeys(loaded, again))
        std::abort();
    return 0;
}
