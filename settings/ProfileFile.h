#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

// Raised when an INI file cannot be written. The message names the file, so
// it can be shown to the operator as it is.
class ProfileWriteError : public std::runtime_error {
public:
    ProfileWriteError(const std::filesystem::path& file, const std::string& reason);
    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
};

// The text of one INI file, edited the way profile strings are: a key is
// replaced where it stands or added at the end of its section, a missing
// section is added at the end of the file, and every other line (comments,
// blank lines, keys of other programs) is kept byte for byte. Section and key
// names compare without regard to ASCII case; the first occurrence wins.
class ProfileDocument {
public:
    // The longest string a read returns; longer values are cut.
    static constexpr std::size_t kMaxString = 2047;

    ProfileDocument() = default;
    static ProfileDocument FromText(std::string_view text);

    // The file's text; a missing or unreadable file gives an empty document.
    static ProfileDocument Load(const std::filesystem::path& file);

    // A key's value with the blanks around it removed, and one pair of
    // matching quotes around the whole value removed; nullopt when the
    // section or key is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // Decimal, "$" or "0x" hexadecimal; missing or not a number gives `fallback`.
    int32_t ReadInt(std::string_view section, std::string_view key, int32_t fallback) const;
    // An integer as ReadInt reads it; non-zero is true.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // Line breaks cannot be stored in a value: each CR or LF becomes a blank,
    // so a value can never add lines of its own to the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    std::string Text() const;

    // Replaces `file` with Text(): the text goes to a new file in the same
    // folder, is flushed to disk and renamed over the old file, so a crash or
    // a full disk leaves either the old or the new file, never a part of one.
    // A symbolic link is followed and its target replaced. Throws
    // ProfileWriteError naming `file`; the old file then stays as it was.
    void Save(const std::filesystem::path& file) const;

private:
    struct KeyPlace {
        std::ptrdiff_t keyLine = -1;     // the key's line, or -1
        std::ptrdiff_t sectionEnd = -1;  // where a new key of the section goes, or -1
    };
    KeyPlace Locate(std::string_view section, std::string_view key) const;

    std::vector<std::string> lines_;  // without line ends
    std::string eol_ = "\n";          // the file's own line end, kept for added lines
};

// The profile-string pair, one file operation each: read a value (the
// fallback when the file, section or key is missing), and write one key
// (read, edit, save as ProfileDocument::Save does).
std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view fallback);
void WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace settings
