#pragma once

// What the version window says: the program's version and build, our notice
// and where to read more. The build comes from the source revision the build
// was configured from, when that was known.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <filesystem>

namespace core {

struct VersionInfo {
    QString version;     // "Tesmar version 0.1.0"
    QString build;       // "Build 123 (57bf23b)", or "Build 000" outside a checkout
    QStringList notice;  // two lines
    QString linkText;    // the web site's address, or "README.md"
    QUrl link;           // what a click on it opens
};

// programDirectory: where the build places README.md beside the program.
// The project's web page, when the build was configured with one, takes the
// README's place.
VersionInfo ProgramVersion(const std::filesystem::path& programDirectory);

}  // namespace core
