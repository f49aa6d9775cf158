// The fixture of the viewer suites: a viewer started on a profile of its own, message boxes and
// questions answered in code, and helpers to make picture files and read screen pixels.
#pragma once

#include <QApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "core/image.h"
#include "formats/bmp.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "tests/support/lumo_test.h"
#include "viewer/shell/application.h"
#include "viewer/shell/frame_window.h"
#include "viewer/shell/sign_on_box.h"
#include "viewer/windows/image_window.h"
#include "viewer/dialogs/questions.h"
#include "viewer/shell/status_strip.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

struct ShownBox {
    std::string caption;
    std::string text;
};

struct AskedQuestion {
    QString caption;
    QString text;
};

class ViewerTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        ::setenv("LUMO_PROFILE", tempPath("WIN.INI").c_str(), 1);
        ::unsetenv("LUMO_SCREEN_DEPTH");
        boxes.clear();
        questions.clear();
        previousBox_ = SetMessageBoxFunction([this](const char* caption, const char* text, MessageIcon) {
            boxes.push_back({caption, text});
        });
        previousQuestion_ = SetQuestionFunction([this](QWidget*, const QString& caption, const QString& text) {
            questions.push_back({caption, text});
            return answer;
        });
    }

    void TearDown() override {
        viewer_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetQuestionFunction(previousQuestion_);
        SetMessageBoxFunction(previousBox_);
        ::unsetenv("LUMO_SCREEN_DEPTH");
        ::unsetenv("LUMO_PROFILE");
        LumoTest::TearDown();
    }

    FrameWindow& start(const QStringList& files = {}) {
        ViewerOptions options;
        options.files = files;
        viewer_ = std::make_unique<Viewer>(options);
        settle();
        return viewer_->frame();
    }
    // The viewer without its sign-on box, which would hold the keyboard.
    FrameWindow& startWithoutSignOn() {
        start({});
        if (SignOnBox* signOn = viewer_->signOnBox()) signOn->close();
        settle();
        return viewer_->frame();
    }
    void stop() {
        viewer_.reset();
        settle();
    }
    bool started() const { return viewer_ != nullptr; }
    // The picture in a new image window (the viewer started first when it is not running).
    ImageWindow& show(ImagePtr image) {
        if (!started()) start({});
        ImageWindow* window = frame().openImageInNewWindow(std::move(image));
        settle();
        return *window;
    }
    Viewer& viewer() { return *viewer_; }
    FrameWindow& frame() { return viewer_->frame(); }

    // Runs pending events, deferred deletions included.
    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QString writeBmp(const std::string& name, ImageKind kind, int width, int height, unsigned seed = 1) {
        const std::string path = tempPath(name);
        ImagePtr image = MakePatternImage(kind, width, height, seed);
        SaveBmp(image.get(), path.c_str());
        return QString::fromStdString(path);
    }
    void writeText(const std::string& name, const std::string& text) {
        WriteBytes(tempPath(name), std::vector<uint8_t>(text.begin(), text.end()));
    }
    static void setProfile(const char* key, const char* value) { WriteProfileStringA(kProfileSection, key, value); }

    int windowCount() { return static_cast<int>(frame().mdiArea().subWindowList().size()); }

    std::vector<ShownBox> boxes;
    std::vector<AskedQuestion> questions;
    Answer answer = Answer::Cancel;

private:
    std::unique_ptr<Viewer> viewer_;
    MessageBoxFunction previousBox_;
    QuestionFunction previousQuestion_;
};

// The colour a pixel of an image stands for, worked out from the record itself.
inline QRgb ColourOf(const IMG& image, int x, int y) {
    const uint32_t value = PixelAt(image, x, y);
    switch (KindOf(image)) {
        case ImageKind::BW: return value ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        case ImageKind::GRAY16: return qRgb(17 * value, 17 * value, 17 * value);
        case ImageKind::GRAY256: return qRgb(value, value, value);
        case ImageKind::COLOR16:
        case ImageKind::COLOR256: {
            const uint8_t* entry = image.palette + 3 * value;
            return qRgb(entry[0], entry[1], entry[2]);
        }
        case ImageKind::RGB: return 0xFF000000u | value;
    }
    return 0;
}

// What the viewport of an image window shows, as its paint event draws it.
inline QImage ViewportPixels(ImageWindow& window) {
    return window.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}
