#include "ui/windows/MemoryEditDialog.h"

#include "core/Receiver.h"
#include "ui/windows/MessageBoxes.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace ui {

MemoryEditDialog::MemoryEditDialog(core::Receiver& receiver, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
    , receiver_(receiver)
{
    setObjectName("memoryEditDialog");
    setWindowTitle("Memory edit");
    setFixedSize(kClientWidth, kClientHeight);
    // While it is open the operator works in it alone.
    setWindowModality(Qt::ApplicationModal);

    auto label = [this](const char* text, int top) {
        auto* l = new QLabel(text, this);
        l->move(17, top);
    };
    label("Frequency", 11);
    label("Name", 35);
    label("Mode", 59);
    frequencyEdit_ = new QLineEdit(this);
    frequencyEdit_->setObjectName("frequencyEdit");
    frequencyEdit_->setGeometry(88, 8, 145, 21);
    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName("nameEdit");
    nameEdit_->setGeometry(88, 32, 145, 21);
    modeBox_ = new QComboBox(this);
    modeBox_->setObjectName("modeBox");
    modeBox_->setGeometry(88, 56, 145, 21);
    // In code order, so that the choice's index is the mode code.
    modeBox_->addItems(core::MemoryChannels::ModeChoices());

    auto button = [this](const char* name, const char* caption, int top) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(caption);
        b->setGeometry(256, top, 81, 25);
        return b;
    };
    okButton_ = button("okButton", "OK", 8);
    canselButton_ = button("canselButton", "Cansel", 39);
    connect(okButton_, &QToolButton::clicked, this, [this] { Ok(); });
    connect(canselButton_, &QToolButton::clicked, this, [this] { reject(); });
}

void MemoryEditDialog::Open(const core::MemoryDraft& draft, const QWidget& list)
{
    draft_ = draft;
    setWindowTitle(draft.index < 0 ? "Memory add" : "Memory edit");
    frequencyEdit_->setText(draft.frequency);
    nameEdit_->setText(draft.name);
    modeBox_->setCurrentIndex(core::Code(draft.mode));
    move(list.x() + list.width() / 2 - width() / 2, list.y() + list.height() / 2 - height() / 2);
    show();
    raise();
    activateWindow();
    frequencyEdit_->setFocus();
}

void MemoryEditDialog::Ok()
{
    core::MemoryDraft d = draft_;
    d.frequency = frequencyEdit_->text();
    d.name = nameEdit_->text();
    d.mode = core::FromCode<core::Mode>(modeBox_->currentIndex());
    const core::MemoryCommit result = receiver_.Memory().Commit(d);
    if (!result.Accepted()) {
        ShowErrorBox(this, result.refusal);
        return;
    }
    accept();
    emit Changed(result.saveError);
}

}  // namespace ui
