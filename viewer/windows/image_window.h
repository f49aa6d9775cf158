// An image window: owns one image and what is made from it for display, shows it at a zoom of
// 10 to 1000 % with scroll positions counted in image pixels, asks before closing with unsaved
// changes, and on a contact sheet names the thumbnail under the mouse and opens it on double-click.
// It tells the frame about changes and requests through its signals; it never calls the frame.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/image.h"
#include "core/orientation.h"
#include "viewer/windows/image_display.h"
#include "viewer/windows/picture_sequence.h"
#include "jobs/mosaic_index.h"

class FullScreenView;
class Refinement;

class ImageWindow : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kMinZoom = 10;
    static constexpr int kMaxZoom = 1000;
    static constexpr int kZoomKeyStep = 10;
    static constexpr int kLineStep = 32;  // image pixels per scroll-bar arrow or Up/Down key
    static constexpr int kPageStep = 96;  // image pixels per page

    explicit ImageWindow(QWidget* parent = nullptr);
    ~ImageWindow() override;

    // Loads a file into the window (wait cursor, load time, contact-sheet index, display for the
    // screen depth) and makes path its title. False when the file gave no image; a library error
    // arrives as LumoFailure. Either way the window keeps what it showed before.
    bool loadFile(const QString& path);
    // Loads the window's own file again (Revert): scroll positions go to 0, the zoom stays and the
    // modified flag is cleared. The window keeps its image when the load fails.
    bool reloadFile();
    // Shows another image (a conversion's result, a rescaled or pasted picture) and releases the
    // old one; the zoom, the load time and, within the new ranges, the scroll positions stay. The
    // contact-sheet thumbnails stay when keepSheetCells is set and the size is the same.
    void setImage(ImagePtr picture, bool keepSheetCells = true);

    // Shows the picture turned by step (Rotate, Flip): like setImage, but a JPEG source stays, the
    // step added to its turns.
    void setTurnedImage(ImagePtr picture, Orientation step);

    // The JPEG file the picture still is, when only turns and mirror images were done to it since it
    // was loaded: Save can then turn the file itself, losslessly. Any other change drops it.
    struct JpegSource {
        QString path;
        uintmax_t size = 0;     // the file on disk when it was loaded
        int64_t modified = 0;   // its modification time, in the file system's ticks
        bool uprightFirst = true;  // AutoRotate when it was loaded: the picture was shown upright by its Exif tag
        Orientation turns = Orientation::Upright;  // what was done to the picture since
    };
    const JpegSource* jpegSource() const { return jpegSource_ ? &*jpegSource_ : nullptr; }
    // True when the source file has the size and modification time it had when it was loaded.
    bool jpegSourceUnchanged() const;
    // After the picture was written as the JPEG file path by turning its source: that file is the
    // source now, with no turns.
    void takeTurnedJpeg(const QString& path);

    const IMG* image() const { return display_.image(); }
    const ImageDisplay& display() const { return display_; }
    const QString& filePath() const { return path_; }
    // The file the image now belongs to (after Save as): path and title.
    void setFilePath(const QString& path);
    uint32_t loadTime() const { return loadTime_; }

    int zoom() const { return zoom_; }
    // Ignored without image or outside 10-1000 %.
    void setZoom(int percent);
    // The size of the picture shown: the image's, or while refining the final picture's; empty
    // without either.
    QSize shownSize() const;
    // The image at the current zoom, in screen pixels.
    QSize zoomedImageSize() const;
    // The zoom at which the whole image shows in the window as it is now (no scroll bars needed).
    int fitZoom() const;
    // Sets the zoom and keeps the image point under anchor (a point of the viewport) where it is.
    void zoomAround(int percent, QPoint anchor);

    // First visible image column and row, and their largest values.
    QPoint scrollPosition() const;
    QPoint scrollMaximum() const;

    bool isModified() const { return modified_; }
    void setModified(bool modified);
    // Scrolls to a first visible image column and row (kept within the scroll ranges).
    void setScrollPosition(QPoint position);

    // The contact sheet's thumbnails, or null when the image has no index.
    const std::vector<MosaicEntry>* mosaicEntries() const { return mosaic_ ? &*mosaic_ : nullptr; }
    // The thumbnail under a point of the viewport, or -1; and the file it shows.
    int mosaicEntryAt(QPoint viewportPoint) const;
    QString mosaicFile(int entry) const;

    // The file's pages or animation frames shown: "page 2/5", "frame 3/12 (paused)"; empty for a
    // single picture, or once a command has changed the picture shown.
    QString sequencePosition() const;
    // An animation plays in the window (Space pauses and resumes it).
    bool isAnimated() const;
    bool animationPaused() const;

    // While a file loads coarse first (refinement.h): the refinement under way, or null. The window
    // then shows its coarse level at the final size and has no image yet.
    const Refinement* refinement() const { return refinement_; }
    bool isRefining() const { return refinement_ != nullptr; }
    void setRefinement(Refinement* refinement) { refinement_ = refinement; }
    // A new coarse level is shown: scroll ranges, repaint, status line.
    void refinementAdvanced() { imageReplaced(); }

    // The save question for unsaved changes; true when the window may close.
    bool queryClose();

    void showFullScreenView();
    FullScreenView* fullScreenView() const;

signals:
    // The image, zoom, title or modified flag changed: the status line, toolbar and menus follow.
    void changed();
    // A text for the status line shown at once but not stored, and back to the stored text.
    void transientStatus(const QString& text);
    void statusRestored();
    // The user asks for a file in a new window (a contact-sheet thumbnail double-clicked).
    void openFileRequested(const QString& path);
    // The zoom keys: a step of the zoom in percent.
    void zoomStepRequested(int step);
    // The zoom ladder's keys and Ctrl+wheel: a new zoom, keeping the image point under anchor in place.
    void zoomRequested(int percent, QPoint anchor);
    void helpModeRequested(bool enter);
    // The save question was answered Yes: the receiver saves the window as Save does and sets
    // *saved (connected directly, so the answer is there when the signal returns).
    void saveRequested(ImageWindow* window, bool* saved);
    // A file loading coarse first has its first level to show: the window belongs on screen now.
    void refinementShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The file's further pictures: the sequence found for the file loaded, an animation started.
    void startSequence();
    // Shows a page or frame of the file: the file, its name and the unmodified state stay.
    void showOwnPicture(ImagePtr picture);
    void imageReplaced();
    void updateScrollRanges();
    // The screen offset of the first visible image pixel: scroll position x zoom / 100.
    QPoint deviceOffset() const;

    ImageDisplay display_;
    QString path_;
    uint32_t loadTime_ = 0;
    int zoom_ = 100;
    bool modified_ = false;
    QPoint offset_;
    std::optional<std::vector<MosaicEntry>> mosaic_;
    std::optional<JpegSource> jpegSource_;
    QString hoveredFile_;
    QPointer<FullScreenView> fullScreen_;
    std::unique_ptr<PictureSequence> sequence_;
    Refinement* refinement_ = nullptr;  // owned by the load under way
    int wheelTurn_ = 0;  // Ctrl+wheel turn not yet worth a zoom step (fine-grained wheels and touchpads)
};
