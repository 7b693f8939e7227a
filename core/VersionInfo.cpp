#include "core/VersionInfo.h"

#include "core/BuildInfo.h"

namespace core {

VersionInfo ProgramVersion(const std::filesystem::path& programDirectory)
{
    VersionInfo v;
    v.version = QStringLiteral("Tesmar version %1").arg(QLatin1String(kTesmarVersion));
    v.build = QStringLiteral("Build %1").arg(QLatin1String(kTesmarBuildNumber));
    if (kTesmarRevision[0] != '\0')
        v.build += QStringLiteral(" (%1)").arg(QLatin1String(kTesmarRevision));
    v.notice = {QStringLiteral("By the Tesmar developers"),
                QStringLiteral("Provided as is, without warranty")};
    if (kTesmarWebSite[0] != '\0') {
        v.linkText = QString::fromUtf8(kTesmarWebSite);
        v.link = QUrl(v.linkText);
        return v;
    }
    v.linkText = QStringLiteral("README.md");
    std::error_code ec;
    const std::filesystem::path beside = programDirectory / "README.md";
    v.link = QUrl::fromLocalFile(QString::fromStdString(
        std::filesystem::is_regular_file(beside, ec) ? beside.string() : kTesmarSourceReadme));
    return v;
}

}  // namespace core
