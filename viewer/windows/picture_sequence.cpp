#include "viewer/windows/picture_sequence.h"

#include <QFile>

#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/animation.h"
#include "formats/tiff/tiff.h"

namespace {

QByteArray NameOf(const QString& path) { return QFile::encodeName(path); }

// The later pages and frames are read without the library's message boxes: the first picture has
// shown its warnings, and a damaged later part ends the sequence quietly.
class QuietLibrary {
public:
    QuietLibrary() : error_(LumoSetErrorHandler(nullptr)), warning_(LumoSetWarningHandler(nullptr)) {}
    ~QuietLibrary() {
        LumoSetErrorHandler(error_);
        LumoSetWarningHandler(warning_);
    }

private:
    LumoHook error_, warning_;
};

}  // namespace

std::unique_ptr<PictureSequence> PictureSequence::For(const QString& path) {
    const QByteArray name = NameOf(path);
    const std::string route = LoadRouteName(name.constData());
    std::unique_ptr<PictureSequence> sequence;
    const QuietLibrary quiet;
    try {
        if (route == "tif") {
            const size_t pages = ReadTiffPages(name.constData()).size();
            if (pages < 2) return nullptr;
            sequence.reset(new PictureSequence(path));
            sequence->count_ = static_cast<int>(pages);
        } else if (std::unique_ptr<AnimationFrames> frames = OpenAnimation(name.constData())) {
            sequence.reset(new PictureSequence(path));
            sequence->count_ = static_cast<int>(CountAnimationFrames(name.constData()));
            sequence->frames_ = std::move(frames);
        }
    } catch (const LumoFailure&) {
        return nullptr;  // the first picture loaded; the rest is unreadable: shown as one picture
    }
    return sequence;
}

PictureSequence::PictureSequence(const QString& path) : path_(path) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PictureSequence::advance);
}

PictureSequence::~PictureSequence() = default;

QString PictureSequence::position() const {
    return QStringLiteral("%1 %2/%3").arg(isAnimation() ? "frame" : "page").arg(current_).arg(count_);
}

ImagePtr PictureSequence::stepPage(int step) {
    const int page = current_ + step;
    if (isAnimation() || page < 1 || page > count_) return nullptr;
    const QByteArray name = NameOf(path_);
    LumoSetIntOptionTiff("page", page);
    ImagePtr picture;
    try {
        picture = LoadImageByExtension(name.constData());
    } catch (...) {
        LumoSetIntOptionTiff("page", 1);
        throw;
    }
    LumoSetIntOptionTiff("page", 1);
    if (picture) current_ = page;
    return picture;
}

ImagePtr PictureSequence::startAnimation() {
    const QuietLibrary quiet;
    try {
        if (!frames_ || !frames_->next()) return nullptr;
    } catch (const LumoFailure&) {
        return nullptr;
    }
    current_ = 1;
    timer_.start(nextDelay());
    return frames_->copyScreen();
}

int PictureSequence::nextDelay() const { return frames_ ? frames_->delayMs() : 0; }

void PictureSequence::setPaused(bool paused) {
    if (!frames_ || paused_ == paused) return;
    paused_ = paused;
    if (paused) timer_.stop();
    else timer_.start(nextDelay());
}

// Starts the frames again from the file for another play; false when the plays are done.
bool PictureSequence::restart() {
    ++playsDone_;
    const int plays = frames_->plays();
    if (plays != 0 && playsDone_ >= plays) return false;
    frames_ = OpenAnimation(NameOf(path_).constData());
    return frames_ && frames_->next();
}

void PictureSequence::advance() {
    if (!frames_ || paused_) return;
    const QuietLibrary quiet;
    try {
        if (frames_->next()) ++current_;
        else if (!restart()) return;  // the last frame stays
        else current_ = 1;
    } catch (const LumoFailure&) {
        return;  // the file changed or went away: the frame shown stays
    }
    ImagePtr frame = frames_->copyScreen();
    emit frameShown(&frame);
    timer_.start(nextDelay());
}
