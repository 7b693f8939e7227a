#pragma once

// "Memory add" / "Memory edit": the modal dialog in which one memory channel
// is added or changed. The memory list window fills it in and opens it; "OK"
// hands the fields to the receiver's memory channels, which refuse what the
// file could not keep (the dialog then stays open and says why); "Cansel" or
// the window frame closes it without a change.

#include "core/MemoryChannels.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QToolButton;

namespace core {
class Receiver;
}

namespace ui {

class MemoryEditDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 349;
    static constexpr int kClientHeight = 85;

    explicit MemoryEditDialog(core::Receiver& receiver, QWidget* parent = nullptr);

    // Fills the fields from `draft`, centres the dialog on `list` and shows
    // it, modal for the whole application.
    void Open(const core::MemoryDraft& draft, const QWidget& list);

signals:
    // "OK" changed the list. `saveError` names the file when it could not be
    // written (the change is kept in the list).
    void Changed(const QString& saveError);

private:
    void Ok();

    core::Receiver& receiver_;
    core::MemoryDraft draft_;
    QLineEdit* frequencyEdit_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    QComboBox* modeBox_ = nullptr;
    QToolButton* okButton_ = nullptr;
    QToolButton* canselButton_ = nullptr;
};

}  // namespace ui
