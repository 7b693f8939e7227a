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

    // "Bands" lists the kept bands, "B<band>" holds each one's weights.
    void Read(const settings::ProfileDocument& doc);
    void Write(settings::ProfileDocument& doc) const;

    // A model as a line of numbers (real and imaginary parts in turn), and
    // back; a line that is not whole gives nothing.
    static std::string Format(const dsp::IqModel& model);
    static std::optional<dsp::IqModel> Parse(std::string_view text);

private:
    std::map<int32_t, dsp::IqModel> bands_;
};

}  // namespace core
