// The pieces the viewer's dialogs are built from: controls tagged with their dialog ids, number
// fields read the way the dialogs read them, radio choices that stand for the values of a key, and
// the dialog frame with its OK / Cancel / Help row.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "viewer/dialogs/option_dialogs.h"

class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

// Button ids shared by every dialog.
constexpr int kOkId = 1;
constexpr int kCancelId = 2;
constexpr int kHelpId = 999;

// The object name of the control with dialog id `id` ("control101"); tests find controls by it.
QString ControlName(int id);
// Gives a control its dialog id: the object name above and the property "controlId".
void TagControl(QWidget* control, int id);
// The control of a dialog with that id, or null.
QWidget* FindControl(const QWidget* dialog, int id);

QCheckBox* MakeCheckBox(int id, const QString& text);
QRadioButton* MakeRadio(int id, const QString& text);
// A short edit for a number of up to `digits` digits.
QLineEdit* MakeNumberEdit(int id, int digits);
// A label whose mnemonic moves the focus to `buddy`.
QLabel* MakeBuddyLabel(const QString& text, QWidget* buddy);

// The number a field holds, read as an unsigned integer: decimal digits, blanks around them
// allowed. Anything else (empty, a sign, letters, more than fits an int) counts as 0.
long long FieldNumber(const QLineEdit* edit);
void SetFieldNumber(QLineEdit* edit, long long value);

// One radio of a choice: its dialog id, its text and the value it stands for.
struct RadioSpec {
    int id;
    const char* text;
    const char* value;
};

// Radios in one exclusive group, each standing for one value (a key's text).
class RadioChoice {
public:
    explicit RadioChoice(std::initializer_list<RadioSpec> radios);
    ~RadioChoice();
    RadioChoice(const RadioChoice&) = delete;
    RadioChoice& operator=(const RadioChoice&) = delete;

    QRadioButton* radio(int id) const;
    // Checks the radio standing for value; leaves all unchecked when none does.
    bool select(const std::string& value);
    // The value of the checked radio, or nothing when none is checked.
    std::optional<std::string> value() const;
    QButtonGroup* group() const { return group_; }
    // A group box holding the radios one under the other.
    QGroupBox* inBox(const QString& title) const;

private:
    QButtonGroup* group_;
    std::vector<std::pair<int, std::string>> values_;  // in the order of the radios
};

// A dialog of the viewer: object name = its resource name, a caption, a body the dialog fills, and
// the button row. OK runs onOk (which accepts or refuses), Cancel and Escape reject.
class ViewerDialog : public QDialog {
public:
    ViewerDialog(QWidget* parent, const char* resourceName, const QString& caption);

    QVBoxLayout* body() const { return body_; }
    // OK (1), Cancel (2) and "&Help" (999), which opens the help at helpContext and leaves the
    // dialog open; with no help function or context 0 Help does nothing.
    void addButtonRow(std::function<void()> onOk, const HelpFunction& help, int helpContext);
    // Only OK, which closes the dialog.
    void addOkButton();

    // A refusal on OK: the "Error" box with the reason; the dialog stays open.
    static void refuse(const std::string& reason);

private:
    QHBoxLayout* addRowOfButtons();
    QPushButton* addButton(QBoxLayout* row, int id, const QString& text);

    QVBoxLayout* body_;
};
