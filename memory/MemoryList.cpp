#include "memory/MemoryList.h"

#include "memory/MemoryFormat.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <system_error>

namespace memory {

namespace {

// Splits at every comma; only the first three fields are used.
std::string_view Field(std::string_view line, int index)
{
    for (int i = 0; i < index; ++i) {
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            return {};
        line.remove_prefix(comma + 1);
    }
    return line.substr(0, line.find(','));
}

}  // namespace

Channel ParseLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    Channel c;
    c.hz = HzFromMHz(ReadDecimal(Field(line, 0)));
    c.name = std::string(Field(line, 1));
    c.mode = ReadSignedInt(Field(line, 2));
    return c;
}

ChannelList ChannelList::Parse(std::string_view text)
{
    ChannelList list;
    list.channels_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                           1);
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (first && end != std::string_view::npos)
            list.crlf_ = !line.empty() && line.back() == '\r';
        first = false;
        list.channels_.push_back(ParseLine(line));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return list;
}

std::string ChannelList::Serialize() const
{
    std::string text;
    const char* lineEnd = crlf_ ? "\r\n" : "\n";
    for (const Channel& c : channels_) {
        text += FileMHz(c.hz);
        text += ',';
        text += c.name;
        text += ',';
        text += std::to_string(c.mode);
        text += lineEnd;
    }
    return text;
}

std::filesystem::path MemoryListPath(const std::filesystem::path& folder)
{
    return folder / "MemoryList.txt";
}

bool ReadListFile(const std::filesystem::path& file, std::string& text, std::string* error)
{
    text.clear();
    auto refuse = [&](const std::string& why) {
        if (error)
            *error = "Could not read " + file.string() + ": " + why;
        text.clear();
        return false;
    };
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return true;
    if (ec)
        return refuse(ec.message());
    // A folder cannot be read, and a pipe or a device could block or never end.
    if (status.type() != std::filesystem::file_type::regular)
        return refuse("it is not a file");
    const auto tooLarge = [&] {
        return refuse("it is larger than a memory list may be (" +
                      std::to_string(kMaxListBytes >> 20) + " MiB)");
    };
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (!ec && size > kMaxListBytes)
        return tooLarge();

    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly))
        return refuse(f.errorString().toStdString());
    // In chunks up to the limit: the file may have grown since its size was
    // taken.
    text.reserve(ec ? 0 : static_cast<std::size_t>(size));
    char chunk[1 << 16];
    for (;;) {
        const qint64 n = f.read(chunk, sizeof chunk);
        if (n < 0)
            return refuse(f.errorString().toStdString());
        if (n == 0)
            break;
        if (text.size() + static_cast<std::size_t>(n) > kMaxListBytes)
            return tooLarge();
        text.append(chunk, static_cast<std::size_t>(n));
    }
    // Every line is a channel, a last one without its line feed too.
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                              (!text.empty() && text.back() != '\n' ? 1 : 0);
    if (lines > kMaxChannels)
        return refuse("it has more lines than a memory list may have (" +
                      std::to_string(kMaxChannels) + ")");
    return true;
}

ChannelList LoadChannelList(const std::filesystem::path& file, std::string* error)
{
    std::string text;
    if (!ReadListFile(file, text, error))
        return {};
    return ChannelList::Parse(text);
}

bool SaveChannelList(const std::filesystem::path& file, const ChannelList& list, std::string* error)
{
    // Unbuffered, so that a short write (a full disk, a file size limit) is
    // seen by write() itself: buffered, QSaveFile has been seen to commit a
    // truncated list after a flush that wrote only part of it.
    QSaveFile f(QString::fromStdString(file.string()));
    const std::string text = list.Serialize();
    const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                    f.write(text.data(), qint64(text.size())) == qint64(text.size()) && f.commit();
    if (!ok && error)
        *error = "Could not write " + file.string() + ": " + f.errorString().toStdString();
    return ok;
}

}  // namespace memory
