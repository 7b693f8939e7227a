#include "core/ExitNotice.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

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
    // The messages kept so far and this one go to a new file that replaces
    // the old in one step: a disk that fills up meanwhile leaves the old file
    // as it was (or none), never an empty or half-written one.
    QByteArray text;
    QFile old(QtPath(file_));
    if (old.open(QIODevice::ReadOnly))
        text = old.read(kMaxNoticeBytes);
    old.close();
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += '\n';
    text += message.simplified().toUtf8() + '\n';
    QSaveFile f(QtPath(file_));
    // A buffered write that fails only in the final flush is not seen by
    // commit(), which would rename the cut file into place: flushed first.
    const bool written = f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.flush();
    const QString reason = f.errorString();
    if (!written)
        f.cancelWriting();
    if (!f.commit())
        qCCritical(lcExit).noquote() << "Could not keep the message in" << f.fileName() << ":"
                                     << (written ? f.errorString() : reason);
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
