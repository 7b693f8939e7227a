#pragma once

#include <QString>

#include <filesystem>

namespace core {

// What went wrong while the program was closing, kept for its next start.
// A desktop session that ends or a service that is stopped has nobody to
// answer a message box, and a box waiting there holds up the end of the
// program until it is killed; so a failed save at that moment is written to
// the log at once and kept in a small text file beside the settings file,
// and the next start shows it.
class ExitNotice {
public:
    explicit ExitNotice(std::filesystem::path file)
        : file_(std::move(file))
    {}

    // The file that keeps the messages of a settings file: its name with
    // ".notice" in place of its extension ("tesmar.ini" -> "tesmar.notice").
    static std::filesystem::path ForSettingsFile(const std::filesystem::path& settingsFile);

    // Writes the message to the log and adds it to the file, which is
    // replaced whole (a file that cannot be written leaves the log as the
    // only trace, and the file as it was).
    void Keep(const QString& message);
    // The messages the last run kept, one per line, and the file removed;
    // empty when there were none.
    QString Take();
    // The operator has read what was kept: nothing to show next time.
    void Discard();

    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
};

}  // namespace core
