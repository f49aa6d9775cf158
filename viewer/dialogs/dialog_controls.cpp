#include "viewer/dialogs/dialog_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <climits>

#include "platform/message_box.h"

QString ControlName(int id) { return QStringLiteral("control%1").arg(id); }

void TagControl(QWidget* control, int id) {
    control->setObjectName(ControlName(id));
    control->setProperty("controlId", id);
}

QWidget* FindControl(const QWidget* dialog, int id) { return dialog->findChild<QWidget*>(ControlName(id)); }

QCheckBox* MakeCheckBox(int id, const QString& text) {
    auto* box = new QCheckBox(text);
    TagControl(box, id);
    return box;
}

QRadioButton* MakeRadio(int id, const QString& text) {
    auto* radio = new QRadioButton(text);
    TagControl(radio, id);
    return radio;
}

QLineEdit* MakeNumberEdit(int id, int digits) {
    auto* edit = new QLineEdit;
    TagControl(edit, id);
    // Room for the digits and the frame, no more: these fields sit beside their labels.
    const int width = edit->fontMetrics().horizontalAdvance(QString(digits + 1, QLatin1Char('0')));
    edit->setFixedWidth(width + 16);
    return edit;
}

QLabel* MakeBuddyLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

long long FieldNumber(const QLineEdit* edit) {
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) return 0;
    long long value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
        value = value * 10 + (c.unicode() - '0');
        if (value > INT_MAX) return 0;  // the profile reads its numbers as int
    }
    return value;
}

void SetFieldNumber(QLineEdit* edit, long long value) { edit->setText(QString::number(value)); }

RadioChoice::RadioChoice(std::initializer_list<RadioSpec> radios) : group_(new QButtonGroup) {
    group_->setExclusive(true);
    for (const RadioSpec& spec : radios) {
        group_->addButton(MakeRadio(spec.id, QString::fromUtf8(spec.text)), spec.id);
        values_.emplace_back(spec.id, spec.value);
    }
}

RadioChoice::~RadioChoice() { delete group_; }

QRadioButton* RadioChoice::radio(int id) const { return static_cast<QRadioButton*>(group_->button(id)); }

bool RadioChoice::select(const std::string& value) {
    for (const auto& [id, held] : values_) {
        if (held == value) {
            radio(id)->setChecked(true);
            return true;
        }
    }
    return false;
}

std::optional<std::string> RadioChoice::value() const {
    for (const auto& [id, held] : values_)
        if (id == group_->checkedId()) return held;
    return std::nullopt;
}

QGroupBox* RadioChoice::inBox(const QString& title) const {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    for (const auto& entry : values_) layout->addWidget(radio(entry.first));
    layout->addStretch(1);  // radios keep together at the top when a neighbour box is taller
    return box;
}

ViewerDialog::ViewerDialog(QWidget* parent, const char* resourceName, const QString& caption)
    : QDialog(parent), body_(new QVBoxLayout) {
    setObjectName(QString::fromLatin1(resourceName));
    setWindowTitle(caption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // compact, and not resizable
    layout->addLayout(body_);
}

QPushButton* ViewerDialog::addButton(QBoxLayout* row, int id, const QString& text) {
    auto* button = new QPushButton(text);
    TagControl(button, id);
    row->addWidget(button);
    return button;
}

QHBoxLayout* ViewerDialog::addRowOfButtons() {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->addSpacing(6);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    layout->addLayout(row);
    return row;
}

void ViewerDialog::addButtonRow(std::function<void()> onOk, const HelpFunction& help, int helpContext) {
    QHBoxLayout* row = addRowOfButtons();
    QPushButton* ok = addButton(row, kOkId, QStringLiteral("OK"));
    QPushButton* cancel = addButton(row, kCancelId, QStringLiteral("Cancel"));
    QPushButton* helpButton = addButton(row, kHelpId, QStringLiteral("&Help"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, std::move(onOk));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpButton, &QPushButton::clicked, this, [help, helpContext] {
        if (help && helpContext != 0) help(helpContext);
    });
}

void ViewerDialog::addOkButton() {
    QHBoxLayout* row = addRowOfButtons();
    QPushButton* ok = addButton(row, kOkId, QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    row->addStretch(1);
}

void ViewerDialog::refuse(const std::string& reason) { ShowMessageBox("Error", reason.c_str(), MessageIcon::Error); }
