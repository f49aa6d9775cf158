#include "viewer/dialogs/rescale_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "viewer/dialogs/dialog_controls.h"

namespace {

constexpr int kRescaleHelpContext = 10;

// Integer division that gives 0 for an empty picture rather than faulting.
long long Divide(long long numerator, long long denominator) { return denominator ? numerator / denominator : 0; }

// A field's number, counting as 0 above its limit.
long long Limited(const QLineEdit* edit, long long limit) {
    const long long value = FieldNumber(edit);
    return value > limit ? 0 : value;
}

// One side of the picture: its size, the new size and percentage held as working values, and the
// two fields that show them.
struct Side {
    long long full;
    long long size;
    long long percent = 100;
    QLineEdit* sizeEdit = nullptr;
    QLineEdit* percentEdit = nullptr;
};

// Four fields held in step: the new width and height, and both as percentages of the picture's.
// Each field acts on its own change only when its number differs from the working value it holds,
// and every update sets the working value before the field, so the updates never loop. The width
// and height follow the same rules with the sides swapped.
class RescaleDialog : public ViewerDialog {
public:
    RescaleDialog(QWidget* parent, int width, int height, const HelpFunction& help)
        : ViewerDialog(parent, "RESCALE", QStringLiteral("Rescale Image")), width_{width, width}, height_{height, height} {
        width_.sizeEdit = MakeNumberEdit(101, 6);
        height_.sizeEdit = MakeNumberEdit(102, 6);
        width_.percentEdit = MakeNumberEdit(103, 4);
        height_.percentEdit = MakeNumberEdit(104, 4);
        keepAspect_ = MakeCheckBox(105, QStringLiteral("&Preserve aspect ratio"));
        keepAspect_->setChecked(true);
        for (const Side* side : {&width_, &height_}) {
            SetFieldNumber(side->sizeEdit, side->size);
            SetFieldNumber(side->percentEdit, side->percent);
        }

        auto* grid = new QGridLayout;
        addRow(grid, 0, QStringLiteral("New &width"), QStringLiteral("&Horizontal Ratio"), width_);
        addRow(grid, 1, QStringLiteral("New h&eight"), QStringLiteral("&Vertical Ratio"), height_);
        grid->setColumnMinimumWidth(3, 16);
        grid->addWidget(keepAspect_, 2, 0, 1, 7);
        body()->addLayout(grid);
        setTabOrder(width_.sizeEdit, height_.sizeEdit);
        setTabOrder(height_.sizeEdit, width_.percentEdit);
        setTabOrder(width_.percentEdit, height_.percentEdit);
        setTabOrder(height_.percentEdit, keepAspect_);

        connect(width_.sizeEdit, &QLineEdit::textChanged, this, [this] { sizeChanged(width_, height_); });
        connect(height_.sizeEdit, &QLineEdit::textChanged, this, [this] { sizeChanged(height_, width_); });
        connect(width_.percentEdit, &QLineEdit::textChanged, this, [this] { percentChanged(width_, height_); });
        connect(height_.percentEdit, &QLineEdit::textChanged, this, [this] { percentChanged(height_, width_); });
        connect(keepAspect_, &QCheckBox::clicked, this, &RescaleDialog::keepAspectClicked);
        addButtonRow([this] { ok(); }, help, kRescaleHelpContext);
    }

    QSize accepted() const { return QSize(static_cast<int>(width_.size), static_cast<int>(height_.size)); }

private:
    static void addRow(QGridLayout* grid, int row, const QString& sizeLabel, const QString& percentLabel,
                       const Side& side) {
        grid->addWidget(MakeBuddyLabel(sizeLabel, side.sizeEdit), row, 0);
        grid->addWidget(side.sizeEdit, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("pixels")), row, 2);
        grid->addWidget(MakeBuddyLabel(percentLabel, side.percentEdit), row, 4);
        grid->addWidget(side.percentEdit, row, 5);
        grid->addWidget(new QLabel(QStringLiteral("%")), row, 6);
    }

    // Sets a working value and shows it in its field (whose own reaction then finds nothing to do).
    static void put(QLineEdit* edit, long long& working, long long value) {
        working = value;
        SetFieldNumber(edit, value);
    }

    // A new size of one side (0 beyond 10 times the picture's); the other side follows by the
    // picture's proportions, its percentage worked out from its new size.
    void sizeChanged(Side& self, Side& other) {
        const long long size = Limited(self.sizeEdit, 10 * self.full);
        if (size == self.size) return;
        self.size = size;
        if (keepAspect_->isChecked()) {
            put(other.sizeEdit, other.size, Divide(size * other.full, self.full));
            put(other.percentEdit, other.percent, Divide(other.size * 100, other.full));
        }
        put(self.percentEdit, self.percent, Divide(size * 100, self.full));
    }

    // A new percentage of one side (0 above 1000); the other side takes the same percentage.
    void percentChanged(Side& self, Side& other) {
        const long long percent = Limited(self.percentEdit, 1000);
        if (percent == self.percent) return;
        self.percent = percent;
        if (keepAspect_->isChecked()) {
            put(other.percentEdit, other.percent, percent);
            put(other.sizeEdit, other.size, percent * other.full / 100);
        }
        put(self.sizeEdit, self.size, percent * self.full / 100);
    }

    // Checking the box again brings the height in line with the width's percentage.
    void keepAspectClicked(bool checked) {
        if (checked) SetFieldNumber(height_.percentEdit, FieldNumber(width_.percentEdit));
    }

    // A field left empty or out of range gives a size of 0, which no picture can have.
    void ok() {
        if (width_.size < 1 || height_.size < 1) {
            refuse("The new width and height must be at least 1 pixel");
            return;
        }
        accept();
    }

    Side width_;
    Side height_;
    QCheckBox* keepAspect_;
};

}  // namespace

std::optional<QSize> AskRescaleSize(QWidget* parent, int width, int height, const HelpFunction& help) {
    RescaleDialog dialog(parent, width, height, help);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.accepted();
}
