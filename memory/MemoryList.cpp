#include "memory/MemoryList.h"

#include "memory/MemoryFormat.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

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

ChannelList LoadChannelList(const std::filesystem::path& file)
{
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    return ChannelList::Parse(std::string_view(bytes.constData(), std::size_t(bytes.size())));
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
