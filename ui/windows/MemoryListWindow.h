#pragma once

// "Memory list": the memory channels in a three-column list ("Frequency",
// "Name", "Mode"), "Add", "Edit" and "Delete" through the edit dialog, and
// the recall of a channel whenever its row becomes selected, by mouse or
// keyboard. Below the list, "Scan" opens the scan window, and "Unlock" gives
// a channel the scan locked out (its row greyed and struck through) back to
// the scan. The rules live in core::MemoryChannels; the window shows its
// rows and forwards the buttons and the selection.

#include <QWidget>

class QTableWidget;
class QToolButton;

namespace core {
class Receiver;
}

namespace ui {

class MemoryEditDialog;

class MemoryListWindow : public QWidget {
    Q_OBJECT

public:
    // Placed, sized and maximised as the state's memoryListWindow keeps it.
    explicit MemoryListWindow(core::Receiver& receiver, QWidget* parent = nullptr);

    // The dialog "Add" and "Edit" open (created after this window).
    void SetEditDialog(MemoryEditDialog* dialog);

    // The window "Scan" shows and raises (created after this window).
    void SetScanWindow(QWidget* window) { scanWindow_ = window; }

    // The rows again from the receiver's list, the selection kept.
    void Refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Add();
    void Edit();
    void Delete();
    void SelectionChanged();
    void Changed(const QString& saveError);
    void MarkLockedOut(int row);
    // "Unlock" is there for a selected channel the scan passes over.
    void UpdateUnlock();

    core::Receiver& receiver_;
    MemoryEditDialog* editDialog_ = nullptr;
    QToolButton* addButton_ = nullptr;
    QToolButton* editButton_ = nullptr;
    QToolButton* deleteButton_ = nullptr;
    // Below the list, so that the controls above keep their places.
    QToolButton* scanButton_ = nullptr;
    QToolButton* unlockButton_ = nullptr;
    QWidget* scanWindow_ = nullptr;
    QTableWidget* table_ = nullptr;
};

}  // namespace ui
