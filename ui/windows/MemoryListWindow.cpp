#include "ui/windows/MemoryListWindow.h"

#include "core/Receiver.h"
#include "core/ScanSession.h"
#include "ui/windows/MemoryEditDialog.h"
#include "ui/windows/MessageBoxes.h"
#include "ui/windows/Placement.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>

#include <algorithm>

namespace ui {
namespace {

// The row below the list that holds "Scan".
constexpr int kScanRowHeight = 24;

}  // namespace

MemoryListWindow::MemoryListWindow(core::Receiver& receiver, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , receiver_(receiver)
{
    setObjectName("memoryListWindow");
    setWindowTitle("Memory list");

    auto button = [this](const char* name, const char* caption, int left) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(caption);
        b->setGeometry(left, 2, 40, 20);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    addButton_ = button("addButton", "Add", 5);
    editButton_ = button("editButton", "Edit", 52);
    deleteButton_ = button("deleteButton", "Delete", 98);
    connect(addButton_, &QToolButton::clicked, this, [this] { Add(); });
    connect(editButton_, &QToolButton::clicked, this, [this] { Edit(); });
    connect(deleteButton_, &QToolButton::clicked, this, [this] { Delete(); });
    scanButton_ = button("scanButton", "Scan", 5);
    connect(scanButton_, &QToolButton::clicked, this, [this] {
        if (!scanWindow_)
            return;
        scanWindow_->show();
        scanWindow_->raise();
        scanWindow_->activateWindow();
    });
    unlockButton_ = button("unlockButton", "Unlock", 52);
    connect(unlockButton_, &QToolButton::clicked, this,
            [this] { Changed(receiver_.Scan().Unlock(receiver_.Memory().Selected())); });
    connect(&receiver_.Scan(), &core::ScanSession::LockoutsChanged, this, [this] { Refresh(); });

    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName("channelTable");
    table_->setHorizontalHeaderLabels({"Frequency", "Name", "Mode"});
    // 80 pixels held the widest caption in the desktop font the layout was
    // drawn for; a larger font widens the column rather than cut captions.
    const int widestCaption =
        table_->fontMetrics().horizontalAdvance(QStringLiteral("  0000.000.000"));
    table_->setColumnWidth(
        0, std::max(80, widestCaption +
                            2 * table_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8));
    table_->setColumnWidth(1, 250);
    table_->setColumnWidth(2, 40);
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(false);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->verticalHeader()->hide();
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });

    const core::StoredWindow& place = receiver_.State().memoryListWindow;
    resize(place.width, place.height);
    RestoreFramePosition(*this, {place.left, place.top});
    if (place.maximized)
        setWindowState(Qt::WindowMaximized);
    Refresh();
}

void MemoryListWindow::SetEditDialog(MemoryEditDialog* dialog)
{
    editDialog_ = dialog;
    if (editDialog_)
        connect(editDialog_, &MemoryEditDialog::Changed, this,
                [this](const QString& saveError) { Changed(saveError); });
}

void MemoryListWindow::Refresh()
{
    // Rebuilding the rows is no selection by the operator: nothing recalls.
    const QSignalBlocker quiet(table_);
    const core::MemoryChannels& memory = receiver_.Memory();
    const auto& channels = memory.Channels();
    table_->clearSelection();
    table_->setRowCount(memory.Count());
    for (int row = 0; row < memory.Count(); ++row) {
        const auto& c = channels[static_cast<std::size_t>(row)];
        auto* frequency = new QTableWidgetItem(core::MemoryChannels::FrequencyCell(c));
        // The caption pads with blanks; right-aligned, the groups line up in
        // any face whose digits are of one width.
        frequency->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, 0, frequency);
        table_->setItem(row, 1, new QTableWidgetItem(core::MemoryChannels::NameCell(c)));
        table_->setItem(row, 2, new QTableWidgetItem(core::MemoryChannels::ModeCell(c)));
        if (receiver_.Scan().LockedOut(row))
            MarkLockedOut(row);
    }
    if (memory.Selected() >= 0)
        table_->selectRow(memory.Selected());
    UpdateUnlock();
}

void MemoryListWindow::MarkLockedOut(int row)
{
    // Greyed and struck through: the scan passes the channel over; a recall
    // still tunes to it.
    const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < table_->columnCount(); ++column) {
        QTableWidgetItem* item = table_->item(row, column);
        QFont font = item->font();
        font.setStrikeOut(true);
        item->setFont(font);
        item->setForeground(grey);
        item->setToolTip(QStringLiteral("Locked out of the scan"));
    }
}

void MemoryListWindow::UpdateUnlock()
{
    unlockButton_->setEnabled(receiver_.Scan().LockedOut(receiver_.Memory().Selected()));
}

void MemoryListWindow::SelectionChanged()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    receiver_.Memory().Select(rows.isEmpty() ? -1 : rows.first().row());
    UpdateUnlock();
}

void MemoryListWindow::Add()
{
    if (!editDialog_ || editDialog_->isVisible())
        return;
    editDialog_->Open(receiver_.Memory().DraftForAdd(), *this);
}

void MemoryListWindow::Edit()
{
    const std::optional<core::MemoryDraft> draft =
        receiver_.Memory().DraftForEdit(receiver_.Memory().Selected());
    if (!draft) {
        ShowErrorBox(this, "Edit line is not selected");
        return;
    }
    if (editDialog_ && !editDialog_->isVisible())
        editDialog_->Open(*draft, *this);
}

void MemoryListWindow::Delete()
{
    const int row = receiver_.Memory().Selected();
    if (row < 0 || row >= receiver_.Memory().Count()) {
        ShowErrorBox(this, "Delete line is not selected");
        return;
    }
    AskYesNo(this, "Delete OK?", [this, row] { Changed(receiver_.Memory().Delete(row)); });
}

void MemoryListWindow::Changed(const QString& saveError)
{
    Refresh();
    if (!saveError.isEmpty())
        ShowErrorBox(this, saveError);
}

void MemoryListWindow::resizeEvent(QResizeEvent* event)
{
    table_->setGeometry(1, 24, width() - 1, height() - 25 - kScanRowHeight);
    scanButton_->move(5, height() - kScanRowHeight + 2);
    unlockButton_->move(52, height() - kScanRowHeight + 2);
    QWidget::resizeEvent(event);
}

void MemoryListWindow::changeEvent(QEvent* event)
{
    // The normal geometry, for the settings file to restore to when the
    // window closes maximised.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() &&
        windowState() == Qt::WindowNoState) {
        receiver_.StoreWindowPlace(core::Window::MemoryList, QRect(FramePosition(*this), size()));
    }
    QWidget::changeEvent(event);
}

void MemoryListWindow::closeEvent(QCloseEvent* event)
{
    // At exit the main window closes it also when it never showed this run:
    // the stored geometry then stands.
    if (isVisible()) {
        receiver_.StoreClosingWindowPlace(core::Window::MemoryList,
                                          QRect(FramePosition(*this), size()), isMaximized());
    }
    QWidget::closeEvent(event);
}

}  // namespace ui
