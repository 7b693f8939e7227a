#include "core/LockoutMarks.h"

#include "core/model/ReceiverState.h"
#include "memory/Lockouts.h"

#include <algorithm>
#include <utility>

namespace core {
namespace {

QString FromLocal(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

bool Same(const memory::Channel& a, const memory::Channel& b)
{
    return a.hz == b.hz && a.name == b.name &&
           KnownOrFirst(FromCode<Mode>(a.mode)) == KnownOrFirst(FromCode<Mode>(b.mode));
}

}  // namespace

LockoutMarks::LockoutMarks(std::filesystem::path file)
    : file_(std::move(file))
{}

QString LockoutMarks::Load()
{
    std::string error;
    marks_ = memory::LoadLockouts(file_, &error);
    unread_ = !error.empty();
    if (!unread_)
        return {};
    return FromLocal(error) + QStringLiteral(".\nNo channel is locked out of the scan or unlocked "
                                             "for this run, and the file is left as it is.");
}

QString LockoutMarks::UnreadRefusal() const
{
    return QStringLiteral("The lock-out marks could not be read at start, so they are not "
                          "changed and the memory scan does not run: it would visit the "
                          "channels locked out in %1.")
        .arg(QString::fromStdString(file_.string()));
}

bool LockoutMarks::LockedOut(const memory::Channel& channel) const
{
    return std::any_of(marks_.begin(), marks_.end(),
                       [&channel](const memory::Channel& m) { return Same(m, channel); });
}

QString LockoutMarks::Lock(const memory::Channel& channel)
{
    if (unread_)
        return UnreadRefusal();
    if (LockedOut(channel))
        return {};
    marks_.push_back(channel);
    return Save();
}

QString LockoutMarks::Unlock(const memory::Channel& channel)
{
    if (unread_)
        return UnreadRefusal();
    const auto end =
        std::remove_if(marks_.begin(), marks_.end(),
                       [&channel](const memory::Channel& m) { return Same(m, channel); });
    if (end == marks_.end())
        return {};
    marks_.erase(end, marks_.end());
    return Save();
}

QString LockoutMarks::Save()
{
    // A failed save keeps the change for this run; the message names the file.
    std::string error;
    return memory::SaveLockouts(file_, marks_, &error) ? QString() : FromLocal(error);
}

}  // namespace core
