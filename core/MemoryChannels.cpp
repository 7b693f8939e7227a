#include "core/MemoryChannels.h"

#include "memory/MemoryFormat.h"
#include "settings/SettingsLocation.h"

#include <QStringDecoder>

#include <limits>
#include <utility>

namespace core {
namespace {

QString FromBytes(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString FrequencyRefusal(const QString& typed)
{
    return QStringLiteral("The frequency \"%1\" is not a frequency in MHz.\n"
                          "Type digits with at most one \".\", for example 7.1 or 145.5.")
        .arg(typed);
}

}  // namespace

MemoryChannels::MemoryChannels(ReceiverState& state, std::filesystem::path file, MemoryHooks hooks,
                               std::filesystem::path installed)
    : state_(state)
    , file_(std::move(file))
    , installed_(std::move(installed))
    , hooks_(std::move(hooks))
{}

QString MemoryChannels::Load()
{
    // The settings file's rule: the data folder's own list once there is one.
    source_ = settings::SettingsFileToRead(file_, installed_);
    std::string error;
    list_ = memory::LoadChannelList(source_, &error);
    selected_ = -1;
    unsaved_ = false;
    unread_ = !error.empty();
    if (!unread_)
        return {};
    return QString::fromLocal8Bit(error.data(), static_cast<qsizetype>(error.size())) +
           QStringLiteral(".\nThe memory list is empty for this run, and the file is left "
                          "as it is.");
}

QString MemoryChannels::Save()
{
    std::string error;
    unsaved_ = !memory::SaveChannelList(file_, list_, &error);
    return unsaved_ ? QString::fromLocal8Bit(error.data(), static_cast<qsizetype>(error.size()))
                    : QString();
}

bool MemoryChannels::SaveIfChanged(QString* error)
{
    if (!unsaved_)
        return true;
    const QString message = Save();
    if (error)
        *error = message;
    return message.isEmpty();
}

QString MemoryChannels::FrequencyCell(const memory::Channel& c)
{
    return FromBytes(memory::FormatHzCaption(c.hz));
}

QString MemoryChannels::NameCell(const memory::Channel& c) { return DisplayName(c.name); }

QString MemoryChannels::ModeCell(const memory::Channel& c)
{
    return FromBytes(memory::ModeName(c.mode));
}

QStringList MemoryChannels::ModeChoices()
{
    QStringList names;
    for (std::string_view name : memory::kModeNames)
        names.push_back(FromBytes(name));
    return names;
}

QString MemoryChannels::DisplayName(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? FromBytes(bytes) : text;
}

MemoryDraft MemoryChannels::DraftForAdd() const
{
    MemoryDraft d;
    d.index = -1;
    d.frequency = FromBytes(memory::PlainMHz(int64_t(state_.FreqCenter) + state_.FreqTune));
    d.mode = KnownOrFirst(state_.RxMode);
    return d;
}

std::optional<MemoryDraft> MemoryChannels::DraftForEdit(int row) const
{
    if (row < 0 || row >= Count())
        return std::nullopt;
    const memory::Channel& c = list_.Channels()[static_cast<std::size_t>(row)];
    MemoryDraft d;
    d.index = row;
    d.frequency = FromBytes(memory::PlainMHz(c.hz));
    d.name = DisplayName(c.name);
    d.storedName = c.name;
    // A code outside 0..4 has no choice of its own: the first is offered.
    d.mode = KnownOrFirst(FromCode<Mode>(c.mode));
    return d;
}

MemoryCommit MemoryChannels::Commit(const MemoryDraft& draft)
{
    MemoryCommit result;
    if (unread_) {
        result.refusal = QStringLiteral("The memory list could not be read at start, so it "
                                        "is not changed: a save would replace the channels in "
                                        "%1.")
                             .arg(QString::fromStdString(source_.string()));
        return result;
    }
    // Blanks around the number are a slip of the keyboard, not a different
    // frequency; anything else that is not a number would be stored as 0 Hz.
    const QString typed = draft.frequency.trimmed();
    const std::string text = typed.toStdString();
    if (!memory::IsDecimalNumber(text)) {
        result.refusal = FrequencyRefusal(draft.frequency);
        return result;
    }
    const double mhz = memory::ReadDecimal(text);
    if (mhz * 1000000.0 + 0.5 >= double(std::numeric_limits<int32_t>::max()) + 1.0) {
        result.refusal = QStringLiteral("The frequency %1 MHz is above the largest a channel "
                                        "can hold, 2147.483647 MHz.")
                             .arg(typed);
        return result;
    }
    if (draft.name.contains(QLatin1Char(','))) {
        result.refusal = QStringLiteral("A name cannot contain a comma: MemoryList.txt separates "
                                        "frequency, name and mode with commas.");
        return result;
    }
    if (draft.name.contains(QLatin1Char('\n')) || draft.name.contains(QLatin1Char('\r'))) {
        result.refusal = QStringLiteral("A name cannot contain a line break: MemoryList.txt keeps "
                                        "one channel per line.");
        return result;
    }
    if (draft.index >= Count() || draft.index < -1 || !IsKnown(draft.mode)) {
        result.refusal = QStringLiteral("The channel being edited is no longer in the list.");
        return result;
    }

    memory::Channel c;
    c.hz = memory::HzFromMHz(mhz);
    const bool nameAsShown = draft.index >= 0 && draft.name == DisplayName(draft.storedName);
    c.name = nameAsShown ? draft.storedName : draft.name.toStdString();
    c.mode = Code(draft.mode);
    // The display shows the selected channel's name until the next tuning.
    const bool shownByName = draft.index >= 0 && draft.index == selected_ && state_.MemoryMode;
    if (shownByName)
        state_.MemName = c.name;
    if (draft.index < 0)
        list_.Channels().push_back(std::move(c));
    else
        list_.Channels()[static_cast<std::size_t>(draft.index)] = std::move(c);
    result.saveError = Save();
    if (shownByName)
        hooks_.displayChanged();
    return result;
}

QString MemoryChannels::Delete(int row)
{
    if (row < 0 || row >= Count())
        return {};
    list_.Channels().erase(list_.Channels().begin() + row);
    if (selected_ == row)
        selected_ = -1;
    else if (selected_ > row)
        --selected_;
    return Save();
}

bool MemoryChannels::Select(int row)
{
    if (row == selected_)
        return false;
    selected_ = row;
    if (row < 0 || row >= Count())
        return false;
    return Recall(list_.Channels()[static_cast<std::size_t>(row)]);
}

bool MemoryChannels::Recall(const memory::Channel& c)
{
    // The list does not retune while a raw file records or plays.
    if (hooks_.fileBusy())
        return false;
    // The receive frequency becomes the channel's: the radio's grid
    // remainder moves into FreqTune.
    if (!hooks_.setRadioFrequency(int64_t(c.hz) - state_.FreqTune))
        return false;
    if (const Mode mode = FromCode<Mode>(c.mode); IsKnown(mode))
        hooks_.selectMode(mode);
    state_.MemoryMode = true;
    state_.MemName = c.name;
    hooks_.displayChanged();
    return true;
}

}  // namespace core
