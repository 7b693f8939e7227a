#include "core/ExitNotice.h"

#include <QFile>
#include <QLoggingCategory>

namespace core {

Q_LOGGING_CATEGORY(lcExit, "tesmar.exit")

namespace {

QString QtPath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// Far more than a few messages: a file of another origin is not read whole.
constexpr qint64 kMaxNoticeBytes = 64 * 1024;

}  // namespace

std::filesystem::path ExitNotice::ForSettingsFile(const std::filesystem::path& settingsFile)
{
    std::filesystem::path notice = settingsFile;
    notice.replace_extension(".notice");
    return notice;
}

void ExitNotice::Keep(const QString& message)
{
    qCCritical(lcExit).noquote() << message;
    QFile f(QtPath(file_));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qCCritical(lcExit).noquote()
            << "Could not keep the message in" << f.fileName() << ":" << f.errorString();
        return;
    }
    const QByteArray line = message.simplified().toUtf8() + '\n';
    if (f.write(line) != line.size() || !f.flush())
        qCCritical(lcExit).noquote()
            << "Could not keep the message in" << f.fileName() << ":" << f.errorString();
}

QString ExitNotice::Take()
{
    QFile f(QtPath(file_));
    if (!f.exists())
        return {};
    QString text;
    if (f.open(QIODevice::ReadOnly | QIODevice::Text))
        text = QString::fromUtf8(f.read(kMaxNoticeBytes)).trimmed();
    f.close();
    Discard();
    return text;
}

void ExitNotice::Discard()
{
    std::error_code ec;
    // Only a file of ours: a folder or link of that name is left alone.
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(file_, ec)))
        std::filesystem::remove(file_, ec);
}

}  // namespace core
