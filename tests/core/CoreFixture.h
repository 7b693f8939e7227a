#pragma once

#include "audio/AudioApi.h"
#include "audio/AudioEngine.h"
#include "core/Receiver.h"
#include "core/RemoteControl.h"
#include "recording/RawIqFile.h"
#include "tests/core/ReceiverProbe.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include "PtyRadio.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
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

using tesmar::test::ReadFile;
using tesmar::test::RunUntil;
using tesmar::test::TempDir;
using tesmar::test::WriteFile;

// A raw recording of `blocks` blocks centred on `center`.
inline std::filesystem::path MakeRawFile(const std::filesystem::path& dir, int32_t center,
                                         int blocks)
{
    recording::RawRecorder rec;
    const std::filesystem::path file = dir / "take.dat";
    recording::LocalStamp stamp;
    stamp.hour = 9;
    stamp.minute = 5;
    stamp.second = 7;
    EXPECT_TRUE(rec.Start(file, stamp, center));
    std::array<int16_t, recording::kRawBlockSamples> block{};
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < recording::kRawBlockSamples; ++i)
            block[static_cast<std::size_t>(i)] =
                static_cast<int16_t>((b * 131 + i * 7) % 2000 - 1000);
        EXPECT_TRUE(rec.AppendBlock(block.data()));
    }
    EXPECT_TRUE(rec.Stop());
    return file;
}

// The radio on a pseudo-terminal, answering by itself.
struct RadioRig {
    radio::test::PtyRadio radio;
    std::size_t linesAfterSetup = 0;

    // The settings file's lines that make the receiver use this radio.
    std::string Ini(int radioType = 0) const
    {
        return "[IO]\nPortStr=" + radio.Path() + "\nRadioType=" + std::to_string(radioType) + "\n";
    }
    // Opens the port and waits until the set-up sequence is over.
    void Open(Receiver& rx)
    {
        radio.SetAutoAnswer(true);
        ASSERT_TRUE(rx.OpenRadio());
        ASSERT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(rx); }));
        radio.Drain();
        linesAfterSetup = radio.Lines().size();
    }
    // The command lines written since the set-up.
    std::vector<std::string> NewLines()
    {
        tesmar::test::PumpBriefly();
        radio.Drain();
        const auto& all = radio.Lines();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(linesAfterSetup),
                                        all.end());
    }
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

    // Every file in the test's folder, as for a program in a writable folder.
    ReceiverPaths DefaultPaths() const
    {
        ReceiverPaths paths;
        paths.settingsFile = IniPath();
        paths.dataDirectory = Dir();
        paths.programDirectory = Dir();
        return paths;
    }

    Receiver& Make() { return Make(DefaultPaths()); }
    Receiver& Make(const ReceiverPaths& paths)
    {
        remote_.reset();
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

    // Remote control beside the receiver, as the program has it; what fails
    // is told among the receiver's errors.
    RemoteControl& Remote()
    {
        if (!remote_) {
            remote_ = std::make_unique<RemoteControl>(*rx_);
            QObject::connect(remote_.get(), &RemoteControl::Failed, [this](const QString& m) {
                errors_.push_back({m.toStdString(), true});
            });
        }
        return *remote_;
    }

    ReceiverState& S() { return test::ReceiverProbe::State(*rx_); }
    int64_t ReceiveFrequency() { return int64_t(S().FreqCenter) + S().FreqTune; }

    TempDir dir_;
    std::unique_ptr<Receiver> rx_;
    std::unique_ptr<RemoteControl> remote_;  // goes before the receiver
    std::vector<ErrorShown> errors_;
    std::vector<ErrorShown> startErrors_;
    std::vector<int> sounds_;
};

}  // namespace core::test
