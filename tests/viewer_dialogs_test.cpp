// The viewer's dialogs driven as a user drives them: the eight option dialogs, the rescale dialog
// and the About box, opened through their real entry points and read back from the profile file.
#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/viewer_support/modal_driver.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/dialogs/about_dialog.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/option_dialogs.h"
#include "viewer/dialogs/rescale_dialog.h"

namespace {

using Action = std::function<void(QDialog&)>;

template <class Control>
Control* Find(const QWidget& dialog, int id) {
    auto* control = qobject_cast<Control*>(FindControl(&dialog, id));
    if (!control) ADD_FAILURE() << "no control " << id << " in " << dialog.objectName().toStdString();
    return control;
}

QString Text(const QDialog& dialog, int id) { return Find<QLineEdit>(dialog, id)->text(); }
bool Checked(const QDialog& dialog, int id) { return Find<QAbstractButton>(dialog, id)->isChecked(); }
void Click(const QDialog& dialog, int id) { Find<QAbstractButton>(dialog, id)->click(); }

// Replaces a field's text keystroke by keystroke, as typing over a selection does.
void Type(const QDialog& dialog, int id, const QString& text) {
    QLineEdit* edit = Find<QLineEdit>(dialog, id);
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

// The radio ids of a dialog that are checked, among the given ones.
std::vector<int> CheckedAmong(const QDialog& dialog, std::initializer_list<int> ids) {
    std::vector<int> checked;
    for (int id : ids)
        if (Checked(dialog, id)) checked.push_back(id);
    return checked;
}

class ViewerDialogsTest : public ViewerTest {
protected:
    HelpFunction help() {
        return [this](int context) { helpContexts.push_back(context); };
    }

    // Opens the option dialog of `command`, lets act work on it, presses OK and tells whether OK
    // closed it; a dialog that stayed open is cancelled.
    bool okAfter(int command, const Action& act = {}) {
        bool closed = false;
        WhenModalShows([&](QWidget* modal) {
            auto& dialog = *qobject_cast<QDialog*>(modal);
            if (act) act(dialog);
            Click(dialog, kOkId);
            closed = !dialog.isVisible();
            if (!closed) dialog.reject();
        });
        EXPECT_EQ(RunOptionDialog(command, nullptr, help()), closed);
        return closed;
    }

    // The rescale dialog for a width x height picture: act, then OK (cancelled when it stays open).
    std::optional<QSize> rescale(int width, int height, const Action& act) {
        WhenModalShows([&](QWidget* modal) {
            auto& dialog = *qobject_cast<QDialog*>(modal);
            act(dialog);
            Click(dialog, kOkId);
            if (dialog.isVisible()) dialog.reject();
        });
        return AskRescaleSize(nullptr, width, height, help());
    }

    std::string profileFile() {
        std::ifstream in(tempPath("WIN.INI"), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The "Key=Value" lines of the profile in file order (keys a dialog adds come in write order).
    std::vector<std::string> profileLines() {
        std::vector<std::string> lines;
        std::istringstream in(profileFile());
        for (std::string line; std::getline(in, line);)
            if (line.find('=') != std::string::npos) lines.push_back(line);
        return lines;
    }
    std::string profile(const char* key) { return ProfileString(key, "<missing>"); }
    // Sets "Key=Value" entries in order.
    static void setKeys(const std::vector<std::string>& keys) {
        for (const std::string& key : keys) {
            const size_t equals = key.find('=');
            setProfile(key.substr(0, equals).c_str(), key.substr(equals + 1).c_str());
        }
    }

    void expectRefused(const std::string& message) {
        ASSERT_EQ(boxes.size(), 1u) << message;
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, message);
        boxes.clear();
    }

    std::vector<int> helpContexts;
};

using Lines = std::vector<std::string>;

// ---- the option dialogs as a whole ----

struct DialogCase {
    int command;
    const char* name;
    const char* caption;
    int helpContext;  // 0: Help does nothing
};

TEST_F(ViewerDialogsTest, EveryOptionDialogHelpsStaysOpenAndCancelsWithoutWriting) {
    const DialogCase cases[] = {
        {command::JpegOptions, "OPTIONJPEG", "Options for JPEG", 15},
        {command::TiffOptions, "OPTIONTIFF", "Options for TIFF", 16},
        {command::PostScriptOptions, "OPTIONPS", "Options for PostScript", 17},
        {command::OtherOptions, "OPTIONMISC", "Other Options", 18},
        {command::PhotoCdOptions, "OPTIONPCD", "Photo CD Options", 23},
        {command::MokOptions, "OPTIONMOK", "Options for MOK", 24},
        {command::GifOptions, "OPTIONGIF", "Options for GIF", 25},
        {command::JbigOptions, "OPTIONJBIG", "Options for JBIG", 0},
    };
    setProfile("Unrelated", "kept");
    const std::string before = profileFile();
    for (const DialogCase& c : cases) {
        SCOPED_TRACE(c.name);
        helpContexts.clear();
        bool stayedOpen = false;
        WhenModalShows([&](QWidget* modal) {
            auto& dialog = *qobject_cast<QDialog*>(modal);
            EXPECT_EQ(dialog.objectName(), c.name);
            EXPECT_EQ(dialog.windowTitle(), c.caption);
            Click(dialog, kHelpId);
            stayedOpen = dialog.isVisible();
            // Change every check box and the last radio, then cancel.
            for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) box->click();
            const QList<QRadioButton*> radios = dialog.findChildren<QRadioButton*>();
            if (!radios.isEmpty()) radios.last()->click();
            Click(dialog, kCancelId);
        });
        EXPECT_FALSE(RunOptionDialog(c.command, nullptr, help()));
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(helpContexts, c.helpContext ? std::vector<int>{c.helpContext} : std::vector<int>{});
        EXPECT_EQ(profileFile(), before);
    }
    EXPECT_FALSE(RunOptionDialog(command::Open, nullptr, help()));  // not an option command: nothing opens
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ViewerDialogsTest, OptionDialogOpensOverTheFrame) {
    FrameWindow& frame = start();
    QWidget* parent = nullptr;
    WhenModalShows([&](QWidget* modal) {
        parent = modal->parentWidget();
        Click(*qobject_cast<QDialog*>(modal), kOkId);
    });
    EXPECT_TRUE(RunOptionDialog(command::GifOptions, &frame, help()));
    EXPECT_EQ(parent, &frame);
    EXPECT_EQ(profile("GifInterlace"), "0");
}

TEST_F(ViewerDialogsTest, MnemonicsMoveTheFocusIntoTheFields) {
    const auto focusAfter = [](QDialog& dialog, Qt::Key key) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));  // shortcuts go to the active window
        QTest::keyClick(&dialog, key, Qt::AltModifier);
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus->property("controlId").toInt() : 0;
    };
    WhenModalShows([&](QWidget* modal) {
        auto& dialog = *qobject_cast<QDialog*>(modal);
        EXPECT_EQ(focusAfter(dialog, Qt::Key_Q), 103);
        Click(dialog, kCancelId);
    });
    RunOptionDialog(command::JpegOptions, nullptr, help());
    WhenModalShows([&](QWidget* modal) {
        auto& dialog = *qobject_cast<QDialog*>(modal);
        EXPECT_EQ(focusAfter(dialog, Qt::Key_T), 102);
        Click(dialog, kCancelId);
    });
    RunOptionDialog(command::OtherOptions, nullptr, help());
    WhenModalShows([&](QWidget* modal) {
        auto& dialog = *qobject_cast<QDialog*>(modal);
        EXPECT_EQ(focusAfter(dialog, Qt::Key_V), 104);
        EXPECT_EQ(focusAfter(dialog, Qt::Key_E), 102);
        EXPECT_EQ(focusAfter(dialog, Qt::Key_W), 101);
        Click(dialog, kCancelId);
    });
    AskRescaleSize(nullptr, 10, 10, help());
}

// ---- JPEG ----

TEST_F(ViewerDialogsTest, JpegWritesItsKeysInOrderFromTheDefaults) {
    EXPECT_TRUE(okAfter(command::JpegOptions, [](QDialog& dialog) {
        EXPECT_EQ(Text(dialog, 103), "75");
        EXPECT_EQ(CheckedAmong(dialog, {106, 107, 108}), std::vector<int>{106});
        EXPECT_EQ(CheckedAmong(dialog, {110, 113, 114, 115}), std::vector<int>{110});
        EXPECT_TRUE(Checked(dialog, 104));
        EXPECT_FALSE(Checked(dialog, 105));
        EXPECT_TRUE(Checked(dialog, 117));
    }));
    EXPECT_EQ(profileLines(), (Lines{"JpegQuality=75", "JpegFast=1", "JpegRatio=1", "JpegOptimize=0", "JpegForceGray=0",
                                     "JpegReadRgb=1", "JpegCrSubsampling=2"}));
}

TEST_F(ViewerDialogsTest, JpegShowsAndWritesBackTheUsersChoices) {
    setProfile("JpegQuality", "80abc");  // leading digits count
    setProfile("JpegRatio", "4");
    setProfile("JpegForceGray", "1");
    setProfile("JpegReadRgb", "1");
    setProfile("JpegCrSubsampling", "1");
    setProfile("JpegFast", "0");
    setProfile("JpegOptimize", "1");
    EXPECT_TRUE(okAfter(command::JpegOptions, [](QDialog& dialog) {
        EXPECT_EQ(Text(dialog, 103), "80");
        EXPECT_EQ(CheckedAmong(dialog, {106, 107, 108}), std::vector<int>{108});  // gray wins over RGB
        EXPECT_EQ(CheckedAmong(dialog, {110, 113, 114, 115}), std::vector<int>{114});
        EXPECT_FALSE(Checked(dialog, 104));
        EXPECT_TRUE(Checked(dialog, 105));
        EXPECT_FALSE(Checked(dialog, 117));
        Click(dialog, 107);
        Click(dialog, 115);
        Click(dialog, 117);
    }));
    EXPECT_EQ(profile("JpegRatio"), "8");
    EXPECT_EQ(profile("JpegForceGray"), "0");
    EXPECT_EQ(profile("JpegReadRgb"), "0");
    EXPECT_EQ(profile("JpegCrSubsampling"), "2");
    EXPECT_EQ(profile("JpegQuality"), "80");

    // A ratio the dialog has no radio for shows as normal size; a word reads as the default.
    setProfile("JpegRatio", "3");
    setProfile("JpegQuality", "high");
    EXPECT_TRUE(okAfter(command::JpegOptions, [](QDialog& dialog) {
        EXPECT_EQ(CheckedAmong(dialog, {110, 113, 114, 115}), std::vector<int>{110});
        EXPECT_EQ(Text(dialog, 103), "75");
        Click(dialog, 113);
    }));
    EXPECT_EQ(profile("JpegRatio"), "2");
}

TEST_F(ViewerDialogsTest, JpegQualityMustLieBetween10And100) {
    const struct {
        const char* typed;
        bool accepted;
    } cases[] = {{"9", false}, {"10", true}, {"100", true}, {"101", false}, {"", false},
                 {"abc", false}, {"-50", false}, {"4294967306", false}, {" 55 ", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        setProfile("JpegQuality", "75");
        setProfile("JpegFast", "0");
        EXPECT_EQ(okAfter(command::JpegOptions, [&](QDialog& dialog) {
                      Type(dialog, 103, c.typed);
                      Click(dialog, 104);
                  }),
                  c.accepted);
        if (c.accepted) {
            EXPECT_EQ(profile("JpegQuality"), QString(c.typed).trimmed().toStdString());
            EXPECT_EQ(profile("JpegFast"), "1");
            EXPECT_TRUE(boxes.empty());
        } else {
            expectRefused("Quality must be between 10 and 100");
            EXPECT_EQ(profile("JpegQuality"), "75");
            EXPECT_EQ(profile("JpegFast"), "0");  // nothing written on a refusal
        }
    }
}

TEST_F(ViewerDialogsTest, RefusedOkCanBeMendedAndAcceptedInTheSameDialog) {
    EXPECT_TRUE(okAfter(command::JpegOptions, [this](QDialog& dialog) {
        Type(dialog, 103, "5");
        Click(dialog, kOkId);
        EXPECT_TRUE(dialog.isVisible());
        expectRefused("Quality must be between 10 and 100");
        Type(dialog, 103, "50");
    }));
    EXPECT_EQ(profile("JpegQuality"), "50");
}

// ---- Other options ----

TEST_F(ViewerDialogsTest, ThresholdMustLieBetween1And254AndKeysComeInOrder) {
    const struct {
        const char* typed;
        bool accepted;
    } cases[] = {{"0", false}, {"1", true}, {"254", true}, {"255", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        std::remove(tempPath("WIN.INI").c_str());
        setProfile("AutoCascade", "0");
        const bool accepted = okAfter(command::OtherOptions, [&](QDialog& dialog) {
            EXPECT_EQ(Text(dialog, 102), "127");
            EXPECT_FALSE(Checked(dialog, 101));
            EXPECT_FALSE(Checked(dialog, 103));
            Type(dialog, 102, c.typed);
            Click(dialog, 101);
        });
        EXPECT_EQ(accepted, c.accepted);
        if (accepted) {
            EXPECT_EQ(profileLines(), (Lines{"AutoCascade=0", "Threshold=" + std::string(c.typed), "NoDither=1"}));
        } else {
            expectRefused("Threshold must be between 1 and 254");
            EXPECT_EQ(profileLines(), Lines{"AutoCascade=0"});
        }
    }
}

// ---- TIFF ----

TEST_F(ViewerDialogsTest, TiffRadiosFollowTheStoredWordsExactly) {
    struct Case {
        const char* what;
        Lines keys;
        std::array<int, 4> checked;  // compression, B/W, colour, predictor; 0: none checked
        std::vector<int> clicks;
        Lines written;
    };
    const Case cases[] = {
        {"no keys", {}, {105, 101, 120, 110}, {106, 102, 112},
         {"TiffCompression=Packbits", "TiffBWCompression=FAX3", "TiffColorCompression=", "TiffPredictor=Always"}},
        {"every word",
         {"TiffCompression=Raw", "TiffBWCompression=FAX4", "TiffColorCompression=JPEG", "TiffPredictor=Smart"},
         {107, 104, 125, 111}, {101, 120},
         {"TiffCompression=Raw", "TiffBWCompression=", "TiffColorCompression=", "TiffPredictor=Smart"}},
        // Words written by hand in another case check no radio, and their keys are left as they are.
        {"lower case",
         {"TiffCompression=lzw", "TiffBWCompression=FAX32D", "TiffPredictor=smart"},
         {0, 103, 120, 0}, {125},
         {"TiffCompression=lzw", "TiffBWCompression=FAX32D", "TiffPredictor=smart", "TiffColorCompression=JPEG"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(tempPath("WIN.INI").c_str());
        setKeys(c.keys);
        EXPECT_TRUE(okAfter(command::TiffOptions, [&](QDialog& dialog) {
            const std::initializer_list<int> groups[] = {{105, 106, 107}, {101, 102, 103, 104}, {120, 125}, {110, 111, 112}};
            for (size_t group = 0; group < 4; ++group)
                EXPECT_EQ(CheckedAmong(dialog, groups[group]),
                          c.checked[group] ? std::vector<int>{c.checked[group]} : std::vector<int>{})
                    << group;
            for (int id : c.clicks) Click(dialog, id);
        }));
        EXPECT_EQ(profileLines(), c.written);
    }
}

// ---- Photo CD, MOK, PostScript, GIF ----

TEST_F(ViewerDialogsTest, PosterSizeLocksTheChrominanceBoxAndAnotherSizeUnlocksIt) {
    setProfile("PcdCrSubsampling", "0");
    EXPECT_TRUE(okAfter(command::PhotoCdOptions, [](QDialog& dialog) {
        EXPECT_EQ(CheckedAmong(dialog, {101, 102, 103, 104, 105}), std::vector<int>{103});
        QCheckBox* subsampled = Find<QCheckBox>(dialog, 117);
        EXPECT_FALSE(subsampled->isChecked());
        Click(dialog, 105);
        EXPECT_TRUE(subsampled->isChecked());
        EXPECT_FALSE(subsampled->isEnabled());
        Click(dialog, 102);
        EXPECT_TRUE(subsampled->isChecked());
        EXPECT_TRUE(subsampled->isEnabled());
    }));
    EXPECT_EQ(profileLines(), (Lines{"PcdCrSubsampling=1", "PcdSize=2"}));

    // A size the dialog has no radio for checks none; OK then writes the poster size.
    setProfile("PcdSize", "9");
    EXPECT_TRUE(okAfter(command::PhotoCdOptions, [](QDialog& dialog) {
        EXPECT_TRUE(CheckedAmong(dialog, {101, 102, 103, 104, 105}).empty());
        Click(dialog, 117);
    }));
    EXPECT_EQ(profileLines(), (Lines{"PcdCrSubsampling=0", "PcdSize=5"}));
}

TEST_F(ViewerDialogsTest, MokPostScriptAndGifWriteTheirChoices) {
    setProfile("MokRatio", "3");
    EXPECT_TRUE(okAfter(command::MokOptions, [](QDialog& dialog) {
        EXPECT_EQ(CheckedAmong(dialog, {110, 113, 114, 115}), std::vector<int>{114});
        Click(dialog, 115);
    }));
    EXPECT_EQ(profile("MokRatio"), "4");
    setProfile("MokRatio", "8");
    EXPECT_TRUE(okAfter(command::MokOptions, [](QDialog& dialog) {
        EXPECT_EQ(CheckedAmong(dialog, {110, 113, 114, 115}), std::vector<int>{110});
    }));
    EXPECT_EQ(profile("MokRatio"), "1");

    setProfile("PSLevel2", "1");
    EXPECT_TRUE(okAfter(command::PostScriptOptions, [](QDialog& dialog) {
        EXPECT_TRUE(Checked(dialog, 103));
        EXPECT_FALSE(Checked(dialog, 104));
        Click(dialog, 103);
        Click(dialog, 104);
    }));
    EXPECT_EQ(profile("PSLevel2"), "0");
    EXPECT_EQ(profile("PSEps"), "1");

    EXPECT_TRUE(okAfter(command::GifOptions, [](QDialog& dialog) { Click(dialog, 101); }));
    EXPECT_EQ(profile("GifInterlace"), "1");
    EXPECT_EQ(profileLines(), (Lines{"MokRatio=1", "PSLevel2=0", "PSEps=1", "GifInterlace=1"}));
}

// ---- JBIG ----

TEST_F(ViewerDialogsTest, JbigOpensOnTheRadiosTheKeysChoose) {
    struct Case {
        const char* what;
        Lines keys;  // set in this order before the dialog opens
        int readingRadio, writingRadio;
        std::vector<std::pair<int, const char*>> fields;  // only the checked radios' fields are filled
        Lines written;
    };
    const Case cases[] = {
        {"no keys",
         {},
         101,
         108,
         {{109, "640"}, {110, "480"}, {107, ""}, {103, ""}},
         {"JbigLrlmaxw=640", "JbigLrlmaxh=480", "JbigMaxsizew=0", "JbigMaxsizeh=0", "JbigLayers=1"}},
        {"layers win over lrlmax",
         {"JbigLrlmaxw=100", "JbigLrlmaxh=50", "JbigMaxsizew=100", "JbigMaxsizeh=200", "JbigLayers=4"},
         102,
         106,
         {{107, "4"}, {103, "100"}, {104, "200"}, {109, ""}},
         {"JbigLrlmaxw=0", "JbigLrlmaxh=0", "JbigMaxsizew=100", "JbigMaxsizeh=200", "JbigLayers=4"}},
        {"one size 0",
         {"JbigLrlmaxh=0", "JbigMaxsizeh=50"},
         101,
         105,
         {{109, ""}, {103, ""}},
         {"JbigLrlmaxh=0", "JbigMaxsizeh=0", "JbigLrlmaxw=0", "JbigMaxsizew=0", "JbigLayers=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(tempPath("WIN.INI").c_str());
        setKeys(c.keys);
        EXPECT_TRUE(okAfter(command::JbigOptions, [&](QDialog& dialog) {
            EXPECT_EQ(CheckedAmong(dialog, {101, 102}), std::vector<int>{c.readingRadio});
            EXPECT_EQ(CheckedAmong(dialog, {105, 106, 108}), std::vector<int>{c.writingRadio});
            for (const auto& [id, text] : c.fields) EXPECT_EQ(Text(dialog, id), text) << id;
        }));
        EXPECT_EQ(profileLines(), c.written);
    }
}

TEST_F(ViewerDialogsTest, JbigEditsClaimTheirRadios) {
    EXPECT_TRUE(okAfter(command::JbigOptions, [](QDialog& dialog) {
        Type(dialog, 107, "3");
        EXPECT_TRUE(Checked(dialog, 106));
        Type(dialog, 104, "64");
        EXPECT_TRUE(Checked(dialog, 102));
        // Focus events are sent directly: whether the window system activates an offscreen
        // dialog in time is not what is tested here.
        QFocusEvent tabbedInto(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(Find<QLineEdit>(dialog, 103), &tabbedInto);
        Type(dialog, 103, "48");
        QFocusEvent clickedInto(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(Find<QLineEdit>(dialog, 110), &clickedInto);
        EXPECT_TRUE(Checked(dialog, 108));
        Click(dialog, 106);  // back to the layer count typed before
    }));
    EXPECT_EQ(profileLines(),
              (Lines{"JbigLrlmaxw=0", "JbigLrlmaxh=0", "JbigMaxsizew=48", "JbigMaxsizeh=64", "JbigLayers=3"}));
}

TEST_F(ViewerDialogsTest, JbigChecksOnlyTheFieldsOfTheCheckedRadios) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, const char*>> typed;
        int writingRadio, readingRadio;
        const char* refusal;  // null: accepted
    };
    const Case cases[] = {
        {"no layers", {{107, "0"}}, 106, 101, "Resolution layers must be between 1 and 16"},
        {"16 layers", {{107, "16"}}, 106, 101, nullptr},
        {"17 layers", {{107, "17"}}, 106, 101, "Resolution layers must be between 1 and 16"},
        {"layer width 31", {{109, "31"}, {110, "32"}}, 108, 101, "Smallest layer can't be smaller than 32x32"},
        {"layer height 0", {{109, "32"}, {110, ""}}, 108, 101, "Smallest layer can't be smaller than 32x32"},
        {"layer 32x32", {{109, "32"}, {110, "32"}}, 108, 101, nullptr},
        {"read 7 high", {{103, "8"}, {104, "7"}}, 105, 102, "Smallest read image must be at least 8x8"},
        {"read 0 wide", {{103, "0"}, {104, "8"}}, 105, 102, "Smallest read image must be at least 8x8"},
        {"read 8x8", {{103, "8"}, {104, "8"}}, 105, 102, nullptr},
        // Fields of radios that are not checked hold anything.
        {"other fields ignored", {{107, "99"}, {109, "1"}, {103, "x"}}, 105, 101, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(tempPath("WIN.INI").c_str());
        const bool accepted = okAfter(command::JbigOptions, [&](QDialog& dialog) {
            for (const auto& [id, text] : c.typed) Type(dialog, id, text);
            Click(dialog, c.writingRadio);
            Click(dialog, c.readingRadio);
        });
        EXPECT_EQ(accepted, c.refusal == nullptr);
        if (c.refusal) {
            expectRefused(c.refusal);
            EXPECT_EQ(profileFile(), "");
        } else {
            EXPECT_EQ(profileLines().size(), 5u);
        }
    }
    EXPECT_EQ(profileLines(),
              (Lines{"JbigLrlmaxw=0", "JbigLrlmaxh=0", "JbigMaxsizew=0", "JbigMaxsizeh=0", "JbigLayers=1"}));
}

// ---- Rescale ----

TEST_F(ViewerDialogsTest, RescaleFieldsFollowEachOther) {
    WhenModalShows([](QWidget* modal) {
        auto& dialog = *qobject_cast<QDialog*>(modal);
        EXPECT_EQ(dialog.objectName(), "RESCALE");
        EXPECT_EQ(dialog.windowTitle(), "Rescale Image");
        EXPECT_TRUE(Checked(dialog, 105));
        EXPECT_EQ((QStringList{Text(dialog, 101), Text(dialog, 102), Text(dialog, 103), Text(dialog, 104)}),
                  (QStringList{"640", "480", "100", "100"}));
        Click(dialog, kOkId);
    });
    EXPECT_EQ(AskRescaleSize(nullptr, 640, 480, help()), QSize(640, 480));

    struct Case {
        const char* what;
        int width, height;
        std::vector<std::pair<int, const char*>> steps;  // typing into a field, or (null text) a click
        QStringList fields;                              // 101, 102, 103, 104 afterwards
    };
    const Case cases[] = {
        {"width percent", 640, 480, {{103, "50"}}, {"320", "240", "50", "50"}},
        // The height percent comes from the new height; every division is whole.
        {"width", 333, 777, {{101, "100"}}, {"100", "233", "30", "29"}},
        {"height", 333, 777, {{102, "1000"}}, {"428", "1000", "128", "128"}},
        {"height percent", 333, 777, {{104, "10"}}, {"33", "77", "10", "10"}},
        {"10 x the width still counts", 2000, 1000, {{101, "20000"}}, {"20000", "10000", "1000", "1000"}},
        {"box off: height alone", 640, 480, {{105, nullptr}, {102, "120"}}, {"640", "120", "100", "25"}},
        {"box off: width percent alone", 640, 480, {{105, nullptr}, {102, "120"}, {103, "200"}},
         {"1280", "120", "200", "25"}},
        // Checking the box again gives the height the width's percentage.
        {"box checked again", 640, 480, {{105, nullptr}, {101, "160"}, {105, nullptr}}, {"160", "120", "25", "25"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList fields;
        const std::optional<QSize> size = rescale(c.width, c.height, [&](QDialog& dialog) {
            for (const auto& [id, text] : c.steps) {
                if (text)
                    Type(dialog, id, text);
                else
                    Click(dialog, id);
            }
            fields = QStringList{Text(dialog, 101), Text(dialog, 102), Text(dialog, 103), Text(dialog, 104)};
        });
        EXPECT_EQ(fields, c.fields);
        EXPECT_EQ(size, QSize(c.fields[0].toInt(), c.fields[1].toInt()));
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ViewerDialogsTest, RescaleLimitsCountAsZeroAndAZeroSizeIsRefused) {
    const struct {
        int field;
        const char* typed;
    } zeroes[] = {{101, "25000"}, {102, "10001"}, {103, "1001"}, {104, ""}, {101, "abc"}, {103, "0"}};
    for (const auto& z : zeroes) {
        SCOPED_TRACE(z.typed);
        bool stayedOpen = false;
        EXPECT_EQ(rescale(2000, 1000,
                          [&](QDialog& dialog) {
                              Type(dialog, z.field, z.typed);
                              // The typed field keeps its text, the others show 0.
                              for (int id : {101, 102, 103, 104})
                                  EXPECT_EQ(Text(dialog, id), id == z.field ? QString(z.typed) : "0") << id;
                              Click(dialog, kOkId);
                              stayedOpen = dialog.isVisible();
                          }),
                  std::nullopt);
        EXPECT_TRUE(stayedOpen);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, "The new width and height must be at least 1 pixel");
        boxes.clear();
    }

    // Without the box only one side drops to 0, and that alone is refused too.
    EXPECT_EQ(rescale(2000, 1000, [this](QDialog& dialog) {
                  Click(dialog, 105);
                  Type(dialog, 102, "");
                  EXPECT_EQ(Text(dialog, 101), "2000");
                  Click(dialog, kOkId);
                  EXPECT_EQ(boxes.size(), 1u);
                  Type(dialog, 102, "1");
              }),
              QSize(2000, 1));
}

TEST_F(ViewerDialogsTest, RescaleHelpAndCancel) {
    WhenModalShows([](QWidget* modal) {
        auto& dialog = *qobject_cast<QDialog*>(modal);
        Click(dialog, kHelpId);
        EXPECT_TRUE(dialog.isVisible());
        Type(dialog, 103, "50");
        Click(dialog, kCancelId);
    });
    EXPECT_EQ(AskRescaleSize(nullptr, 100, 100, help()), std::nullopt);
    EXPECT_EQ(helpContexts, std::vector<int>{10});
}

// ---- About ----

TEST_F(ViewerDialogsTest, AboutBoxShowsFreeMemoryAndResources) {
    FrameWindow& frame = start();
    bool shown = false;
    WhenModalShows([&](QWidget* modal) {
        auto& dialog = *qobject_cast<QDialog*>(modal);
        shown = true;
        EXPECT_EQ(dialog.objectName(), "ABOUT");
        EXPECT_EQ(dialog.windowTitle(), "About Lumo...");
        EXPECT_EQ(dialog.parentWidget(), &frame);
        QLabel* memory = Find<QLabel>(dialog, 100);
        QLabel* resources = Find<QLabel>(dialog, 200);
        EXPECT_TRUE(QRegularExpression("^[1-9][0-9]* Ko$").match(memory->text()).hasMatch()) << memory->text().toStdString();
        EXPECT_EQ(resources->text(), "100 %");
        for (const QLabel* figure : {memory, resources}) {  // smaller than the dialog's text, not fixed-pitch
            EXPECT_LT(figure->font().pointSizeF(), dialog.font().pointSizeF());
            EXPECT_FALSE(QFontInfo(figure->font()).fixedPitch());
        }
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) texts.append(label->text());
        EXPECT_TRUE(texts.contains("Lumo 1.2e for Windows")) << texts.join('|').toStdString();
        Click(dialog, kOkId);
    });
    ShowAboutBox(&frame);
    EXPECT_TRUE(shown);
}

}  // namespace
