#include "PtyRadio.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace radio::test {

PtyRadio::PtyRadio()
{
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyRadio::~PtyRadio()
{
    notifier_.reset();
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
}

void PtyRadio::SetAutoAnswer(bool on)
{
    if (!on || master_ < 0) {
        notifier_.reset();
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        Drain();
        if (answerDelayMs_ <= 0) {
            AnswerNew();
            return;
        }
        // The notifier is the timers' context: a radio unplugged meanwhile
        // answers nothing.
        while (answered_ < lines_.size()) {
            QTimer::singleShot(answerDelayMs_, Qt::PreciseTimer, notifier_.get(),
                               [this, line = lines_[answered_]] { Answer(line); });
            ++answered_;
        }
    });
}

void PtyRadio::Drain()
{
    if (master_ < 0)
        return;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        raw_.append(buffer, static_cast<std::size_t>(n));
        for (ssize_t i = 0; i < n; ++i) {
            partial_.push_back(buffer[i]);
            const std::size_t size = partial_.size();
            if (size >= 2 && partial_[size - 2] == '\r' && partial_[size - 1] == '\n') {
                partial_.resize(size - 2);
                lines_.push_back(partial_);
                partial_.clear();
                if (OnLine)
                    OnLine(lines_.back());
            }
        }
    }
}

bool PtyRadio::WaitForLines(std::size_t lines)
{
    const QDeadlineTimer guard(20000);
    for (;;) {
        Drain();
        if (lines_.size() >= lines)
            return true;
        if (guard.hasExpired())
            return false;
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, 20);
        QCoreApplication::processEvents();
    }
}

std::vector<std::string> PtyRadio::LinesSince(std::size_t from)
{
    PumpBriefly();
    Drain();
    from = std::min(from, lines_.size());
    return {lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.end()};
}

unsigned PtyRadio::LineSpeed() const
{
    // Both ends of a pseudo-terminal share one set of line settings.
    termios t{};
    if (tcgetattr(slave_, &t) != 0)
        return 0;
    return static_cast<unsigned>(cfgetospeed(&t));
}

void PtyRadio::AnswerNew()
{
    while (answered_ < lines_.size())
        Answer(lines_[answered_++]);
}

void PtyRadio::Answer(const std::string& line)
{
    switch (mode_) {
    case Mode::Responsive: Write(line + "\r\nOK\r\n"); break;
    case Mode::Silent: break;
    case Mode::EchoOnly: Write(line + "\r\n"); break;
    case Mode::LfOnly: Write(line + "\nOK\n"); break;
    case Mode::OtherLine: Write(line + "\r\nNG\r\n"); break;
    }
}

void PtyRadio::Write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            sent_ += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("pty write failed");
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 20);
        }
    }
}

void PtyRadio::HangUp()
{
    notifier_.reset();
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

}  // namespace radio::test
