#include "memory/Lockouts.h"

#include <QSaveFile>
#include <QString>

#include <charconv>

namespace memory {
namespace {

// An integer field up to the next comma; false when it is not one.
bool ReadField(std::string_view& line, int32_t& out)
{
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos)
        return false;
    const std::string_view field = line.substr(0, comma);
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
    if (ec != std::errc() || end != field.data() + field.size())
        return false;
    line.remove_prefix(comma + 1);
    return true;
}

}  // namespace

std::filesystem::path LockoutPath(const std::filesystem::path& folder)
{
    return folder / "MemoryLockout.txt";
}

std::string SerializeLockouts(const std::vector<Channel>& channels)
{
    std::string text;
    char digits[16];
    for (const Channel& c : channels) {
        text.append(digits, std::to_chars(digits, digits + sizeof digits, c.hz).ptr);
        text += ',';
        text.append(digits, std::to_chars(digits, digits + sizeof digits, c.mode).ptr);
        text += ',';
        text += c.name;
        text += '\n';
    }
    return text;
}

std::vector<Channel> ParseLockouts(std::string_view text)
{
    std::vector<Channel> channels;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        Channel c;
        if (ReadField(line, c.hz) && ReadField(line, c.mode)) {
            c.name = std::string(line);
            channels.push_back(std::move(c));
        }
    }
    return channels;
}

std::vector<Channel> LoadLockouts(const std::filesystem::path& file, std::string* error)
{
    // Read as the memory list is, within its limits: the marks are as many
    // as its channels at most.
    std::string text;
    if (!ReadListFile(file, text, error))
        return {};
    return ParseLockouts(text);
}

bool SaveLockouts(const std::filesystem::path& file, const std::vector<Channel>& channels,
                  std::string* error)
{
    // Unbuffered, as the memory list: a short write is seen by write() itself.
    QSaveFile f(QString::fromStdString(file.string()));
    const std::string text = SerializeLockouts(channels);
    const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                    f.write(text.data(), qint64(text.size())) == qint64(text.size()) && f.commit();
    if (!ok && error)
        *error = "Could not write " + file.string() + ": " + f.errorString().toStdString();
    return ok;
}

}  // namespace memory
