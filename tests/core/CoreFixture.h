#pragma once

#include "audio/AudioApi.h"
#include "audio/AudioEngine.h"
#include "core/Receiver.h"
#include "dsp/SignalChain.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>

namespace core::test {

using tesmar::test::TempDir;

inline void WriteFile(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the event loop until pred holds; false when the generous guard ran out.
inline bool RunUntil(const std::function<bool()>& pred, int guardMs = 30000)
{
    const QDeadlineTimer guard(guardMs);
    while (!pred()) {
        if (guard.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(500);
    }
    return true;
}

// What the tests reach behind the receiver's facade.
struct ReceiverProbe {
    static audio::AudioEngine& Audio(Receiver& rx) { return *rx.audio_; }
    static const dsp::SignalChain& Chain(Receiver& rx) { return *rx.chain_; }
};

struct ErrorShown {
    std::string message;
    bool beep;
};

// A receiver whose settings file, data folder and program folder are one
// temporary folder. Without a JACK server of the test's own, its devices
// fail to open (and say so), and it carries on without them.
class CoreTest : public ::testing::Test {
protected:
    std::filesystem::path Dir() const { return dir_.Path(); }
    std::filesystem::path IniPath() const { return dir_.Path() / "tesmar.ini"; }

    void WriteIni(const std::string& text) { WriteFile(IniPath(), text); }

    // The three keypad sounds, present beside the "program".
    void MakeBeeps()
    {
        for (const char* name : {"beep1.wav", "beep2.wav", "beep3.wav"})
            WriteFile(Dir() / name, "RIFF");
    }

    Receiver& Make()
    {
        ReceiverPaths paths;
        paths.settingsFile = IniPath();
        paths.dataDirectory = Dir();
        paths.programDirectory = Dir();
        rx_ = std::make_unique<Receiver>(paths);
        rx_->SetAudioApi(audio::AudioApi::Jack);
        QObject::connect(rx_.get(), &Receiver::ShowError, [this](const QString& m, bool beep) {
            errors_.push_back({m.toStdString(), beep});
        });
        QObject::connect(rx_.get(), &Receiver::SoundRequested,
                         [this](int n) { sounds_.push_back(n); });
        return *rx_;
    }

    // Make() and Start(); the device failures of the start are forgotten.
    Receiver& Started()
    {
        Make().Start();
        startErrors_ = errors_;
        errors_.clear();
        return *rx_;
    }

    ReceiverState& S() { return rx_->State(); }
    int64_t ReceiveFrequency() { return int64_t(S().FreqCenter) + S().FreqTune; }

    TempDir dir_;
    std::unique_ptr<Receiver> rx_;
    std::vector<ErrorShown> errors_;
    std::vector<ErrorShown> startErrors_;
    std::vector<int> sounds_;
};

}  // namespace core::test
