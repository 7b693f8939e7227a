#include "ProfileFile.h"

#include "ProfileValue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settings {

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// What one line of the file is, as the profile functions see it.
struct LineView {
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // everything after the first "=", untrimmed
};

LineView Classify(std::string_view line, bool first)
{
    if (first && line.substr(0, 3) == "\xEF\xBB\xBF")
        line.remove_prefix(3);
    const std::string_view t = Trim(line);
    LineView v;
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return v;
    if (t.front() == '[') {
        std::string_view name = t.substr(1);
        if (const auto close = name.find(']'); close != std::string_view::npos)
            name = name.substr(0, close);
        v.kind = LineView::Section;
        v.name = Trim(name);
        return v;
    }
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return v;
    v.name = Trim(t.substr(0, eq));
    if (v.name.empty())
        return v;
    v.kind = LineView::Key;
    v.value = t.substr(eq + 1);
    return v;
}

std::string Describe(int error) { return std::system_category().message(error); }

// Writes all of `text` to `fd`, resuming after interruptions and short writes.
bool WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

ProfileWriteError::ProfileWriteError(const fs::path& file, const std::string& reason)
    : std::runtime_error("Cannot write \"" + file.string() + "\": " + reason)
    , file_(file)
{}

ProfileDocument ProfileDocument::FromText(std::string_view text)
{
    ProfileDocument doc;
    const auto firstBreak = text.find('\n');
    const bool crlf =
        firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r';
    if (crlf)
        doc.eol_ = "\r\n";
    while (!text.empty()) {
        const auto br = text.find('\n');
        std::string_view line = text.substr(0, br);
        text.remove_prefix(br == std::string_view::npos ? text.size() : br + 1);
        // In a CR LF file the CR belongs to the line end; in any other file a
        // stray CR stays part of its line and is written back unchanged.
        if (crlf && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        doc.lines_.emplace_back(line);
    }
    return doc;
}

ProfileDocument ProfileDocument::Load(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    struct stat st {};
    // Only a regular file holds settings; a folder or a device of that name
    // reads as no file at all.
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[8192];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok ? FromText(text) : ProfileDocument{};
}

ProfileDocument::KeyPlace ProfileDocument::Locate(std::string_view section,
                                                  std::string_view key) const
{
    KeyPlace place;
    bool inSection = false;  // inside a section of the wanted name
    bool inFirst = false;    // inside the first of them, where a new key goes
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineView v = Classify(lines_[i], i == 0);
        const auto at = static_cast<std::ptrdiff_t>(i);
        if (v.kind == LineView::Section) {
            inSection = SameName(v.name, section);
            inFirst = inSection && place.sectionEnd < 0;
            if (inFirst)
                place.sectionEnd = at + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (v.kind == LineView::Key && SameName(v.name, key)) {
            place.keyLine = at;
            return place;
        }
        // New keys go after the section's last line of content, before the
        // blank lines and comments that lead into the next section.
        const std::string_view t = Trim(lines_[i]);
        if (inFirst && !t.empty() && t.front() != ';' && t.front() != '#')
            place.sectionEnd = at + 1;
    }
    return place;
}

std::optional<std::string> ProfileDocument::Find(std::string_view section,
                                                 std::string_view key) const
{
    const KeyPlace place = Locate(section, key);
    if (place.keyLine < 0)
        return std::nullopt;
    const auto i = static_cast<std::size_t>(place.keyLine);
    std::string_view value = Trim(Classify(lines_[i], i == 0).value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() > kMaxString)
        value = value.substr(0, kMaxString);
    // A CR inside a value (a file with mixed line ends) is no part of it: the
    // writer could never store it, so it reads as the blank a write makes.
    std::string text(value);
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

std::string ProfileDocument::ReadString(std::string_view section, std::string_view key,
                                        std::string_view fallback) const
{
    if (auto v = Find(section, key))
        return *v;
    return std::string(fallback);
}

int32_t ProfileDocument::ReadInt(std::string_view section, std::string_view key,
                                 int32_t fallback) const
{
    const auto v = Find(section, key);
    if (!v)
        return fallback;
    return ParseProfileInt(*v).value_or(fallback);
}

bool ProfileDocument::ReadBool(std::string_view section, std::string_view key, bool fallback) const
{
    return ReadInt(section, key, fallback ? 1 : 0) != 0;
}

void ProfileDocument::WriteString(std::string_view section, std::string_view key,
                                  std::string_view value)
{
    std::string clean(value);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    // A value the reader would trim or unquote is written in quotes of its
    // own, so that every value reads back as it was written.
    const bool quoted = clean.size() >= 2 && (clean.front() == '"' || clean.front() == '\'') &&
                        clean.back() == clean.front();
    if (!clean.empty() && (IsBlank(clean.front()) || IsBlank(clean.back()) || quoted))
        clean = '"' + clean + '"';

    const KeyPlace place = Locate(section, key);
    if (place.keyLine >= 0) {
        // Keep the key's own spelling; only the value changes.
        const auto i = static_cast<std::size_t>(place.keyLine);
        lines_[i] = std::string(Classify(lines_[i], i == 0).name) + "=" + clean;
        return;
    }
    std::string line = std::string(key) + "=" + clean;
    if (place.sectionEnd >= 0) {
        lines_.insert(lines_.begin() + place.sectionEnd, std::move(line));
        return;
    }
    if (!lines_.empty() && !Trim(lines_.back()).empty())
        lines_.emplace_back();
    std::string header(1, '[');
    header.append(section).push_back(']');
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
}

void ProfileDocument::WriteInt(std::string_view section, std::string_view key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void ProfileDocument::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::string ProfileDocument::Text() const
{
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += eol_;
    }
    return text;
}

void ProfileDocument::Save(const fs::path& file) const
{
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(file, ec)) {
        const fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            target = resolved;
    }
    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    fs::create_directories(dir, ec);  // a failure shows in the open below

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw ProfileWriteError(file, Describe(EISDIR));
    // The rename would replace a file the user made read-only; the profile
    // functions refuse to write it, and so do we.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        const int error = errno;
        throw ProfileWriteError(file, Describe(error));
    }

    static std::atomic<unsigned> serial{0};
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name(1, '.');
        name.append(target.filename().string())
            .append(".tmp-")
            .append(std::to_string(::getpid()))
            .append("-")
            .append(std::to_string(serial++));
        temp = dir / name;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        throw ProfileWriteError(file, Describe(error));
    }

    auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.c_str());
        throw ProfileWriteError(file, Describe(error));
    };
    if (exists)
        (void)::fchmod(fd, old.st_mode & 07777);
    if (!WriteAll(fd, Text()))
        fail(errno);
    if (::fsync(fd) != 0)
        fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        fail(errno);

    // Make the rename itself durable; a failure here loses nothing already
    // written, so it is not an error.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}

std::string GetProfileString(const fs::path& file, std::string_view section, std::string_view key,
                             std::string_view fallback)
{
    return ProfileDocument::Load(file).ReadString(section, key, fallback);
}

void WriteProfileString(const fs::path& file, std::string_view section, std::string_view key,
                        std::string_view value)
{
    ProfileDocument doc = ProfileDocument::Load(file);
    doc.WriteString(section, key, value);
    doc.Save(file);
}

}  // namespace settings
