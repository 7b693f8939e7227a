#pragma once

// What the automatic IQ balance learned, kept per band in the settings file
// (section "IQBalance"), so that a return to a known band starts clean: a
// card's imbalance is much the same everywhere, but the radio's own IQ paths
// differ from band to band.

#include "dsp/IqBalance.h"
#include "settings/ProfileFile.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace core {

class IqBandMemory {
public:
    // Bands are 100 kHz wide, numbered by the radio's centre (FreqCenter).
    static int32_t BandOf(int32_t freqCenter) { return freqCenter / 100000; }

    void Keep(int32_t band, const dsp::IqModel& model) { bands_[band] = model; }
    std::optional<dsp::IqModel> Find(int32_t band) const;
    bool Empty() const { return bands_.empty(); }

    // "Bands" lists the kept bands, "B<band>.0" to "B<band>.7" hold each
    // one's weights, an eighth of the bins each (a line holds at most 2047
    // characters).
    void Read(const settings::ProfileDocument& doc);
    void Write(settings::ProfileDocument& doc) const;

    // An eighth of a model's bins as a line of numbers (real and imaginary
    // parts in turn), and back into `model`; false for a line not whole.
    static std::string Format(const dsp::IqModel& model, int part);
    static bool Parse(std::string_view text, int part, dsp::IqModel& model);

private:
    std::map<int32_t, dsp::IqModel> bands_;
};

}  // namespace core
