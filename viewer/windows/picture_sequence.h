// The pictures one file holds after its first: the pages of a TIFF file, which the user steps
// through, and the frames of an animated GIF or WebP file, which play by themselves with their delays and loop
// count. An image window owns one while it shows the file's own pictures.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "core/image.h"

class AnimationFrames;

class PictureSequence : public QObject {
    Q_OBJECT
public:
    // The sequence of the file, or null when it holds one picture (or is no TIFF, GIF or WebP file).
    static std::unique_ptr<PictureSequence> For(const QString& path);
    ~PictureSequence() override;

    bool isAnimation() const { return frames_ != nullptr; }
    // "page 2/5" or "frame 3/12" (the frame count known from the start).
    QString position() const;

    // Pages: loads page current + step (from 1, within the file's pages); null at either end. A load
    // failure is a LumoFailure.
    ImagePtr stepPage(int step);

    // Frames: the first frame composed on the screen, and the timer started for the next ones, which
    // arrive through frameShown.
    ImagePtr startAnimation();
    bool paused() const { return paused_; }
    void setPaused(bool paused);
    // The delay before the next frame, in milliseconds (the frame's own, 10 ms at least).
    int nextDelay() const;

signals:
    // The next frame of the animation, to be shown in place of the last one.
    void frameShown(ImagePtr* frame);

private:
    explicit PictureSequence(const QString& path);
    void advance();
    bool restart();

    QString path_;
    int count_ = 1;    // pages or frames
    int current_ = 1;  // from 1
    std::unique_ptr<AnimationFrames> frames_;
    QTimer timer_;
    bool paused_ = false;
    int playsDone_ = 0;
};
