#pragma once

#include "tests/support/EventLoop.h"

#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace radio::test {

// A radio on the far end of a pseudo-terminal. The program under test opens
// Path() as its serial port; the radio reads the master side. It answers
// either when the test tells it to, or by itself from the event loop
// (SetAutoAnswer), following its Mode.
class PtyRadio {
public:
    enum class Mode {
        Responsive,  // echo each line, then "OK"
        Silent,      // never answer
        EchoOnly,    // echo each line, no "OK"
        LfOnly,      // echo and "OK", lines ended with LF alone
        OtherLine,   // echo, then "NG" instead of "OK"
    };

    PtyRadio();
    ~PtyRadio();
    PtyRadio(const PtyRadio&) = delete;
    PtyRadio& operator=(const PtyRadio&) = delete;

    const std::string& Path() const { return path_; }
    int SlaveFd() const { return slave_; }

    void SetMode(Mode mode) { mode_ = mode; }
    // Answers every complete line as soon as the event loop delivers it, or
    // that many milliseconds later (SetAnswerDelay).
    void SetAutoAnswer(bool on);
    void SetAnswerDelay(int ms) { answerDelayMs_ = ms; }

    // Takes what the program has written so far, without waiting.
    void Drain();
    // Waits (bounded) until at least `lines` complete command lines were received.
    bool WaitForLines(std::size_t lines);
    // Every byte the program has written, in order.
    const std::string& Raw() const { return raw_; }
    // The complete command lines received, CR LF removed.
    const std::vector<std::string>& Lines() const { return lines_; }
    // The lines received from line `from` on, after letting queued events
    // run for a moment.
    std::vector<std::string> LinesSince(std::size_t from);
    // The line speed the program set on the port (B9600, B57600, ...).
    unsigned LineSpeed() const;
    // Answers the lines received since the last call, as the mode says.
    void AnswerNew();

    void Write(std::string_view bytes);
    // Bytes this radio has sent so far.
    std::size_t BytesSent() const { return sent_; }
    // The adapter is pulled out: the master side goes away.
    void HangUp();

    // Called for each complete line as it is taken in (for recording when it came).
    std::function<void(const std::string&)> OnLine;

private:
    void Answer(const std::string& line);

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    Mode mode_ = Mode::Responsive;
    int answerDelayMs_ = 0;
    std::string raw_;
    std::string partial_;
    std::vector<std::string> lines_;
    std::size_t answered_ = 0;
    std::size_t sent_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

using tesmar::test::PumpBriefly;
using tesmar::test::RunUntil;

// RunUntil under the name the window tests know it by.
inline bool PumpUntil(const std::function<bool()>& pred, int guardMs = 30000)
{
    return RunUntil(pred, guardMs);
}

}  // namespace radio::test
