#include "viewer/dialogs/option_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "jobs/settings.h"
#include "platform/profile.h"
#include "viewer/commands/command_ids.h"
#include "viewer/dialogs/dialog_controls.h"

namespace {

// The keys OK writes, in order.
using KeyValues = std::vector<std::pair<const char*, std::string>>;
// Builds the keys to write from the controls, or gives the reason OK is refused.
using Collect = std::function<std::optional<std::string>(KeyValues&)>;

const ProfileKey& KeyRow(const char* key) {
    const ProfileKey* row = FindProfileKey(key);
    if (!row) qFatal("no settings row for profile key %s", key);
    return *row;
}

// Why the key's row refuses a number, with the same words `lumo settings` uses.
std::optional<std::string> Refusal(const char* key, long long value) {
    return CheckProfileValue(KeyRow(key), std::to_string(value));
}

// The size fields of a checked size radio must hold a size: 0, which in the key means "no limit",
// is refused like any size below the smallest.
std::optional<std::string> SizeRefusal(const char* key, long long value) { return Refusal(key, value == 0 ? 1 : value); }

void PutCheck(KeyValues& out, const char* key, const QCheckBox* box, const char* on = "1", const char* off = "0") {
    out.emplace_back(key, box->isChecked() ? on : off);
}

// The checked radio's value; with no radio checked, whenNone, or nothing written when it is null.
void PutChoice(KeyValues& out, const char* key, const RadioChoice& choice, const char* whenNone) {
    if (std::optional<std::string> value = choice.value())
        out.emplace_back(key, *value);
    else if (whenNone)
        out.emplace_back(key, whenNone);
}

// The number in a field, refused by the key's row or added to the keys.
std::optional<std::string> PutNumber(KeyValues& out, const char* key, const QLineEdit* edit) {
    const long long value = FieldNumber(edit);
    if (std::optional<std::string> refusal = Refusal(key, value)) return refusal;
    out.emplace_back(key, std::to_string(value));
    return std::nullopt;
}

// Checks the radio standing for the key's value: numbers as the profile reads them ("08" is 8),
// words exactly as stored. Another value checks the radio of whenUnknown, or none when it is null.
void SelectFromKey(RadioChoice& choice, const char* key, const char* whenUnknown) {
    const std::string value = IsNumericKey(KeyRow(key)) ? std::to_string(SettingInt(key)) : SettingString(key);
    if (!choice.select(value) && whenUnknown) choice.select(whenUnknown);
}

QCheckBox* KeyCheckBox(int id, const QString& text, const char* key) {
    QCheckBox* box = MakeCheckBox(id, text);
    box->setChecked(SettingInt(key) != 0);
    return box;
}

QLineEdit* KeyNumberEdit(int id, int digits, const char* key) {
    QLineEdit* edit = MakeNumberEdit(id, digits);
    SetFieldNumber(edit, SettingInt(key));
    return edit;
}

// A label and its edit on one row, the label's mnemonic moving to the edit.
QHBoxLayout* LabelledEdit(const QString& label, QLineEdit* edit) {
    auto* row = new QHBoxLayout;
    row->addWidget(MakeBuddyLabel(label, edit));
    row->addWidget(edit);
    row->addStretch(1);
    return row;
}

// "width x height" fields in one row.
QHBoxLayout* SizeEdits(QLineEdit* width, QLineEdit* height) {
    auto* row = new QHBoxLayout;
    row->addWidget(width);
    row->addWidget(new QLabel(QStringLiteral("x")));
    row->addWidget(height);
    row->addStretch(1);
    return row;
}

// Checks a radio whenever the user acts on an edit that belongs to it: typing, or moving the focus
// into it by mouse, tab or mnemonic (not the focus a window gets back when it is activated).
class RadioOfEdit : public QObject {
public:
    RadioOfEdit(QLineEdit* edit, QRadioButton* radio) : QObject(edit), radio_(radio) {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, [this] { radio_->setChecked(true); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                reason == Qt::ShortcutFocusReason)
                radio_->setChecked(true);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QRadioButton* radio_;
};

// An option dialog: its controls hold the current values of its keys; OK collects the keys, shows
// the refusal if there is one, and otherwise writes them in order and closes.
class OptionDialog : public ViewerDialog {
public:
    OptionDialog(QWidget* parent, const char* resourceName, const QString& caption, int helpContext,
                 const HelpFunction& help)
        : ViewerDialog(parent, resourceName, caption) {
        addButtonRow([this] { ok(); }, help, helpContext);
    }

    RadioChoice* newChoice(std::initializer_list<RadioSpec> radios) {
        return choices_.emplace_back(std::make_unique<RadioChoice>(radios)).get();
    }
    // Radios for the values of a key, the one of its current value checked (see SelectFromKey).
    RadioChoice* keyChoice(const char* key, const char* whenUnknown, std::initializer_list<RadioSpec> radios) {
        RadioChoice* choice = newChoice(radios);
        SelectFromKey(*choice, key, whenUnknown);
        return choice;
    }
    void setCollect(Collect collect) { collect_ = std::move(collect); }

private:
    void ok() {
        KeyValues values;
        if (std::optional<std::string> refusal = collect_(values)) {
            refuse(*refusal);
            return;
        }
        for (const auto& [key, value] : values) WriteProfileStringA(kProfileSection, key, value.c_str());
        accept();
    }

    std::vector<std::unique_ptr<RadioChoice>> choices_;
    Collect collect_;
};

void BuildJpeg(OptionDialog& dialog) {
    RadioChoice* readAs =
        dialog.newChoice({{106, "RGB image", "rgb"}, {107, "256 color image", "256"}, {108, "Grayscale image", "gray"}});
    readAs->select(SettingInt("JpegForceGray") != 0 ? "gray" : SettingInt("JpegReadRgb") != 0 ? "rgb" : "256");
    RadioChoice* ratio = dialog.keyChoice(
        "JpegRatio", "1", {{110, "Normal Size", "1"}, {113, "Half Size", "2"}, {114, "1/4", "4"}, {115, "1/8", "8"}});

    auto* reading = new QGroupBox(QStringLiteral("Options for reading JPEG files"));
    auto* readingLayout = new QHBoxLayout(reading);
    readingLayout->addWidget(readAs->inBox(QStringLiteral("&Read JPEG file as....")));
    readingLayout->addWidget(ratio->inBox(QStringLiteral("Image &Size")));

    QLineEdit* quality = KeyNumberEdit(103, 3, "JpegQuality");
    QCheckBox* optimize = KeyCheckBox(105, QStringLiteral("&Optimize File Size"), "JpegOptimize");
    QCheckBox* subsampled = MakeCheckBox(117, QStringLiteral("&Chrominance components subsampled 2x2"));
    subsampled->setChecked(SettingInt("JpegCrSubsampling") == 2);
    QCheckBox* fast = KeyCheckBox(104, QStringLiteral("Use &Fast DCT"), "JpegFast");

    auto* writing = new QGroupBox(QStringLiteral("Options for writing JPEG files"));
    auto* writingLayout = new QVBoxLayout(writing);
    writingLayout->addLayout(LabelledEdit(QStringLiteral("&Quality"), quality));
    writingLayout->addWidget(optimize);
    writingLayout->addWidget(subsampled);
    writingLayout->addWidget(fast);

    dialog.body()->addWidget(reading);
    dialog.body()->addWidget(writing);

    dialog.setCollect([=](KeyValues& out) -> std::optional<std::string> {
        if (std::optional<std::string> refusal = PutNumber(out, "JpegQuality", quality)) return refusal;
        PutCheck(out, "JpegFast", fast);
        PutChoice(out, "JpegRatio", *ratio, "1");
        PutCheck(out, "JpegOptimize", optimize);
        const std::string as = readAs->value().value_or("256");
        out.emplace_back("JpegForceGray", as == "gray" ? "1" : "0");
        out.emplace_back("JpegReadRgb", as == "rgb" ? "1" : "0");
        PutCheck(out, "JpegCrSubsampling", subsampled, "2", "1");
        return std::nullopt;
    });
}

// The TIFF words compare exactly: a value written by hand in another case checks no radio, and a
// group with no radio checked leaves its key as it is.
void BuildTiff(OptionDialog& dialog) {
    RadioChoice* compression = dialog.keyChoice(
        "TiffCompression", nullptr, {{105, "&LZW", "LZW"}, {106, "&Packbits", "Packbits"}, {107, "&No compression", "Raw"}});
    RadioChoice* bw = dialog.keyChoice("TiffBWCompression", "",
                                       {{101, "&Use default", ""},
                                        {102, "CCITT gr. &III", "FAX3"},
                                        {103, "CCITT gr. III /2&d", "FAX32D"},
                                        {104, "CCITT gr. I&V", "FAX4"}});
    RadioChoice* predictor = dialog.keyChoice(
        "TiffPredictor", nullptr, {{110, "&Never", "Never"}, {111, "&When smart", "Smart"}, {112, "&Always", "Always"}});
    RadioChoice* color = dialog.keyChoice("TiffColorCompression", "", {{120, "&Use default", ""}, {125, "&JPEG", "JPEG"}});

    auto* grid = new QGridLayout;
    grid->addWidget(compression->inBox(QStringLiteral("Default compression")), 0, 0);
    grid->addWidget(bw->inBox(QStringLiteral("Compression for B/W")), 0, 1);
    grid->addWidget(predictor->inBox(QStringLiteral("Use LZW Predictor")), 1, 0);
    grid->addWidget(color->inBox(QStringLiteral("Compression for 24 bit Color")), 1, 1);
    dialog.body()->addLayout(grid);

    dialog.setCollect([=](KeyValues& out) -> std::optional<std::string> {
        PutChoice(out, "TiffCompression", *compression, nullptr);
        PutChoice(out, "TiffBWCompression", *bw, nullptr);
        PutChoice(out, "TiffColorCompression", *color, nullptr);
        PutChoice(out, "TiffPredictor", *predictor, nullptr);
        return std::nullopt;
    });
}

void BuildPostScript(OptionDialog& dialog) {
    QCheckBox* level2 = KeyCheckBox(103, QStringLiteral("&PS Level 2 ?"), "PSLevel2");
    QCheckBox* eps = KeyCheckBox(104, QStringLiteral("&Encapsulated PostScript ?"), "PSEps");
    dialog.body()->addWidget(level2);
    dialog.body()->addWidget(eps);
    dialog.setCollect([=](KeyValues& out) -> std::optional<std::string> {
        PutCheck(out, "PSLevel2", level2);
        PutCheck(out, "PSEps", eps);
        return std::nullopt;
    });
}

void BuildMisc(OptionDialog& dialog) {
    QCheckBox* noDither = KeyCheckBox(101, QStringLiteral("No &Dithering"), "NoDither");
    QLineEdit* threshold = KeyNumberEdit(102, 3, "Threshold");
    QCheckBox* cascade = KeyCheckBox(103, QStringLiteral("Auto Cascading"), "AutoCascade");
    dialog.body()->addWidget(noDither);
    dialog.body()->addLayout(LabelledEdit(QStringLiteral("&Threshold value"), threshold));
    dialog.body()->addWidget(cascade);
    dialog.setCollect([=](KeyValues& out) -> std::optional<std::string> {
        if (std::optional<std::string> refusal = PutNumber(out, "Threshold", threshold)) return refusal;
        PutCheck(out, "NoDither", noDither);
        PutCheck(out, "AutoCascade", cascade);
        return std::nullopt;
    });
}

void BuildPhotoCd(OptionDialog& dialog) {
    RadioChoice* size = dialog.keyChoice("PcdSize", nullptr,
                                         {{101, "Very Small (192x128)", "1"},
                                          {102, "Small (384x256)", "2"},
                                          {103, "Normal (768x512)", "3"},
                                          {104, "Large (1536x1024)", "4"},
                                          {105, "Poster (3072x2048)", "5"}});
    QCheckBox* subsampled = KeyCheckBox(117, QStringLiteral("&Chrominance components subsampled 2x2"), "PcdCrSubsampling");
    dialog.body()->addWidget(size->inBox(QStringLiteral("Image &Size to be loaded")));
    dialog.body()->addWidget(subsampled);

    // The poster size is always read with subsampled chrominance: choosing it checks and locks the
    // box; another size unlocks it as it stands.
    QRadioButton* poster = size->radio(105);
    QObject::connect(size->group(), &QButtonGroup::buttonClicked, &dialog, [poster, subsampled] {
        if (poster->isChecked()) subsampled->setChecked(true);
        subsampled->setEnabled(!poster->isChecked());
    });

    dialog.setCollect([size, subsampled](KeyValues& out) -> std::optional<std::string> {
        PutCheck(out, "PcdCrSubsampling", subsampled);
        PutChoice(out, "PcdSize", *size, "5");
        return std::nullopt;
    });
}

void BuildMok(OptionDialog& dialog) {
    RadioChoice* ratio = dialog.keyChoice(
        "MokRatio", "1", {{110, "Normal Size", "1"}, {113, "Half Size", "2"}, {114, "1/4", "3"}, {115, "1/8", "4"}});
    dialog.body()->addWidget(ratio->inBox(QStringLiteral("Loaded Image &Size")));
    dialog.setCollect([ratio](KeyValues& out) -> std::optional<std::string> {
        PutChoice(out, "MokRatio", *ratio, "1");
        return std::nullopt;
    });
}

void BuildGif(OptionDialog& dialog) {
    QCheckBox* interlace = KeyCheckBox(101, QStringLiteral("Save GIF as interlaced image"), "GifInterlace");
    dialog.body()->addWidget(interlace);
    dialog.setCollect([interlace](KeyValues& out) -> std::optional<std::string> {
        PutCheck(out, "GifInterlace", interlace);
        return std::nullopt;
    });
}

void BuildJbig(OptionDialog& dialog) {
    const int lrlmaxWidth = SettingInt("JbigLrlmaxw");
    const int lrlmaxHeight = SettingInt("JbigLrlmaxh");
    const int maxsizeWidth = SettingInt("JbigMaxsizew");
    const int maxsizeHeight = SettingInt("JbigMaxsizeh");
    const int layers = SettingInt("JbigLayers");

    // Only the fields of the radio the keys choose are filled in.
    QRadioButton* whole = MakeRadio(101, QStringLiteral("Read whole Image"));
    QRadioButton* stop = MakeRadio(102, QStringLiteral("Stop if bigger than"));
    QLineEdit* stopWidth = MakeNumberEdit(103, 5);
    QLineEdit* stopHeight = MakeNumberEdit(104, 5);
    if (maxsizeWidth != 0 && maxsizeHeight != 0) {
        stop->setChecked(true);
        SetFieldNumber(stopWidth, maxsizeWidth);
        SetFieldNumber(stopHeight, maxsizeHeight);
    } else {
        whole->setChecked(true);
    }

    QRadioButton* single = MakeRadio(105, QStringLiteral("No progressive encoding"));
    QRadioButton* byLayers = MakeRadio(106, QStringLiteral("Progressive encoding with "));
    QLineEdit* layerCount = MakeNumberEdit(107, 2);
    QRadioButton* bySize = MakeRadio(108, QStringLiteral("Progressive encoding with lowest resolution layer "));
    QLineEdit* layerWidth = MakeNumberEdit(109, 5);
    QLineEdit* layerHeight = MakeNumberEdit(110, 5);
    if (layers != 1) {
        byLayers->setChecked(true);
        SetFieldNumber(layerCount, layers);
    } else if (lrlmaxWidth != 0 && lrlmaxHeight != 0) {
        bySize->setChecked(true);
        SetFieldNumber(layerWidth, lrlmaxWidth);
        SetFieldNumber(layerHeight, lrlmaxHeight);
    } else {
        single->setChecked(true);
    }

    auto* reading = new QGroupBox(QStringLiteral("Options when reading JBIG"));
    auto* readingGrid = new QGridLayout(reading);
    readingGrid->addWidget(whole, 0, 0, 1, 2);
    readingGrid->addWidget(stop, 1, 0);
    readingGrid->addLayout(SizeEdits(stopWidth, stopHeight), 1, 1);

    auto* writing = new QGroupBox(QStringLiteral("Options when writing JBIG"));
    auto* writingGrid = new QGridLayout(writing);
    writingGrid->addWidget(single, 0, 0, 1, 2);
    writingGrid->addWidget(byLayers, 1, 0);
    auto* layersRow = new QHBoxLayout;
    layersRow->addWidget(layerCount);
    layersRow->addWidget(new QLabel(QStringLiteral("resolution layers")));
    layersRow->addStretch(1);
    writingGrid->addLayout(layersRow, 1, 1);
    writingGrid->addWidget(bySize, 2, 0, 1, 2);
    auto* fit = new QLabel(QStringLiteral("that will fit in"));
    writingGrid->addWidget(fit, 3, 0, Qt::AlignRight);
    writingGrid->addLayout(SizeEdits(layerWidth, layerHeight), 3, 1);

    dialog.body()->addWidget(reading);
    dialog.body()->addWidget(writing);

    new RadioOfEdit(stopWidth, stop);
    new RadioOfEdit(stopHeight, stop);
    new RadioOfEdit(layerCount, byLayers);
    new RadioOfEdit(layerWidth, bySize);
    new RadioOfEdit(layerHeight, bySize);
    // The dialog opens with the focus on the reading choice, not in a field that would claim a radio.
    (stop->isChecked() ? stop : whole)->setFocus();

    dialog.setCollect([=](KeyValues& out) -> std::optional<std::string> {
        long long count = 1, lrlWidth = 0, lrlHeight = 0;
        if (byLayers->isChecked()) {
            count = FieldNumber(layerCount);
            if (std::optional<std::string> refusal = Refusal("JbigLayers", count)) return refusal;
        } else if (bySize->isChecked()) {
            lrlWidth = FieldNumber(layerWidth);
            lrlHeight = FieldNumber(layerHeight);
            if (std::optional<std::string> refusal = SizeRefusal("JbigLrlmaxw", lrlWidth)) return refusal;
            if (std::optional<std::string> refusal = SizeRefusal("JbigLrlmaxh", lrlHeight)) return refusal;
        }
        long long maxWidth = 0, maxHeight = 0;
        if (!whole->isChecked()) {
            maxWidth = FieldNumber(stopWidth);
            maxHeight = FieldNumber(stopHeight);
            if (std::optional<std::string> refusal = SizeRefusal("JbigMaxsizew", maxWidth)) return refusal;
            if (std::optional<std::string> refusal = SizeRefusal("JbigMaxsizeh", maxHeight)) return refusal;
        }
        out.emplace_back("JbigLrlmaxw", std::to_string(lrlWidth));
        out.emplace_back("JbigLrlmaxh", std::to_string(lrlHeight));
        out.emplace_back("JbigMaxsizew", std::to_string(maxWidth));
        out.emplace_back("JbigMaxsizeh", std::to_string(maxHeight));
        out.emplace_back("JbigLayers", std::to_string(count));
        return std::nullopt;
    });
}

struct OptionDialogKind {
    int command;
    const char* resourceName;
    const char* caption;
    int helpContext;  // 0: Help does nothing
    void (*build)(OptionDialog&);
};

constexpr OptionDialogKind kOptionDialogs[] = {
    {command::JpegOptions, "OPTIONJPEG", "Options for JPEG", 15, BuildJpeg},
    {command::TiffOptions, "OPTIONTIFF", "Options for TIFF", 16, BuildTiff},
    {command::PostScriptOptions, "OPTIONPS", "Options for PostScript", 17, BuildPostScript},
    {command::OtherOptions, "OPTIONMISC", "Other Options", 18, BuildMisc},
    {command::PhotoCdOptions, "OPTIONPCD", "Photo CD Options", 23, BuildPhotoCd},
    {command::MokOptions, "OPTIONMOK", "Options for MOK", 24, BuildMok},
    {command::GifOptions, "OPTIONGIF", "Options for GIF", 25, BuildGif},
    {command::JbigOptions, "OPTIONJBIG", "Options for JBIG", 0, BuildJbig},
};

}  // namespace

bool RunOptionDialog(int commandId, QWidget* parent, const HelpFunction& help) {
    for (const OptionDialogKind& kind : kOptionDialogs) {
        if (kind.command != commandId) continue;
        OptionDialog dialog(parent, kind.resourceName, QString::fromLatin1(kind.caption), kind.helpContext, help);
        kind.build(dialog);
        return dialog.exec() == QDialog::Accepted;
    }
    return false;
}
