#pragma once

// The memory channels behind the "Memory list" window and its edit dialog:
// the list read from "MemoryList.txt" at start, "Add", "Edit" and "Delete",
// and the recall of a channel when its row becomes selected.
//
// Nothing typed is lost: the list is written (atomically, memory/MemoryList)
// after every accepted "OK" and every confirmed "Delete", and once more at
// exit when a change has not reached the file yet. A save that fails keeps
// the change in the list and says which file could not be written.
//
// Nothing stored is lost either: a list that is there but could not be read
// whole is never saved over. It shows as empty, the start says once which
// file could not be read, and "OK" changes nothing while it lasts.
//
// The list is saved in the data folder. Until there is one there, the one
// installed beside the program (a read-only program folder, whose settings
// file is treated alike) gives the channels.
//
// Names are bytes. A name read from the file goes back byte for byte (also
// when its row is edited and the name is left as shown); a name typed in the
// dialog is stored as UTF-8; a name that is not valid UTF-8 is shown as
// Latin-1.

#include "core/model/ReceiverState.h"
#include "memory/MemoryList.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace core {

// What the edit dialog opens with and hands back on "OK".
struct MemoryDraft {
    int index = -1;     // -1: a new channel; otherwise the row being changed
    QString frequency;  // MHz, as typed
    QString name;       // as shown and typed
    Mode mode = Mode::Am;
    // The edited row's name as stored: kept when the name is left as shown.
    std::string storedName;
};

// How "OK" ended.
struct MemoryCommit {
    // Not empty: nothing changed, the dialog stays open and shows this.
    QString refusal;
    // Not empty: the change is in the list, but the file could not be
    // written; the message names it.
    QString saveError;
    bool Accepted() const { return refusal.isEmpty(); }
};

// What a recall needs from the rest of the receiver.
struct MemoryHooks {
    std::function<bool()> fileBusy;  // a raw IQ file records or plays
    // Retunes the radio's centre (SetRadioFrequency); false when the radio
    // refuses it, nothing then having changed.
    std::function<bool(int64_t center)> setRadioFrequency;
    // The mode's button pressed with its full effect (filter presets).
    std::function<void(Mode)> selectMode;
    std::function<void()> displayChanged;
};

class MemoryChannels {
public:
    // file: where the list is saved. installed: the list to read while
    // `file` does not exist (none when empty).
    MemoryChannels(ReceiverState& state, std::filesystem::path file, MemoryHooks hooks,
                   std::filesystem::path installed = {});

    // Start-up: the file's channels (none when it is missing or unreadable);
    // no row selected. Empty, or the message naming the file that is there
    // but could not be read.
    QString Load();
    // Exit: writes the list when a change has not reached the file. False
    // with `error` naming the file when it could not be written.
    bool SaveIfChanged(QString* error);

    const std::filesystem::path& File() const { return file_; }
    const std::vector<memory::Channel>& Channels() const { return list_.Channels(); }
    int Count() const { return static_cast<int>(list_.Channels().size()); }

    // The list's three cells: the 12-character caption, the name, and the
    // mode's name (empty for a code outside 0..4).
    static QString FrequencyCell(const memory::Channel& c);
    static QString NameCell(const memory::Channel& c);
    static QString ModeCell(const memory::Channel& c);
    // "AM", "FM", "CW", "LSB", "USB": the dialog's mode choices by code.
    static QStringList ModeChoices();
    // A stored name as text: UTF-8 when it is valid UTF-8, Latin-1 otherwise.
    static QString DisplayName(const std::string& bytes);

    // "Add": the receive frequency in MHz, no name, the current mode.
    MemoryDraft DraftForAdd() const;
    // "Edit" of `row`: nothing when the row does not exist.
    std::optional<MemoryDraft> DraftForEdit(int row) const;
    // "OK": refuses a frequency that does not read as a number of MHz (or
    // lies beyond 2147.483647 MHz), a name with a comma or a line break, and
    // any change to a list that could not be read; otherwise appends or
    // changes the row and saves. An edit of the channel the display shows
    // by name shows the new name.
    MemoryCommit Commit(const MemoryDraft& draft);
    // A confirmed "Delete" of `row`; saves. The save error, or empty.
    QString Delete(int row);

    // The list's selection became `row` (-1: none). Selecting another row
    // recalls it; selecting the selected row again does nothing. True when
    // the radio was retuned.
    bool Select(int row);
    int Selected() const { return selected_; }

private:
    bool Recall(const memory::Channel& c);
    QString Save();

    ReceiverState& state_;
    std::filesystem::path file_;
    std::filesystem::path installed_;
    std::filesystem::path source_;  // what Load() read
    MemoryHooks hooks_;
    memory::ChannelList list_;
    int selected_ = -1;
    bool unsaved_ = false;  // a change that has not reached the file
    bool unread_ = false;   // the file is there but was not read whole
};

}  // namespace core
