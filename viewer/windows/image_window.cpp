#include "viewer/windows/image_window.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/signature.h"
#include "jobs/lossless_turn.h"
#include "platform/system_info.h"
#include "viewer/windows/full_screen_view.h"
#include "viewer/windows/refinement.h"
#include "viewer/dialogs/questions.h"
#include "viewer/windows/screen_depth.h"
#include "viewer/windows/wait_cursor.h"
#include "viewer/windows/zoom_steps.h"

namespace {

int CeilDiv(long long a, long long b) { return static_cast<int>((a + b - 1) / b); }

// The file as a JPEG source, when its signature says JPEG; read before the load, so that a file
// replaced while it loads does not pass for the one shown.
std::optional<ImageWindow::JpegSource> JpegSourceOf(const QString& path, bool uprightFirst) {
    const QByteArray fileName = QFile::encodeName(path);
    if (FileSignature(fileName.constData()).extension != "jpg") return std::nullopt;
    std::error_code error;
    ImageWindow::JpegSource source;
    source.path = path;
    source.size = std::filesystem::file_size(fileName.constData(), error);
    if (error) return std::nullopt;
    source.modified = std::filesystem::last_write_time(fileName.constData(), error).time_since_epoch().count();
    if (error) return std::nullopt;
    source.uprightFirst = uprightFirst;
    return source;
}

}  // namespace

ImageWindow::ImageWindow(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel of the viewport is painted (white beyond the image), and scrolling moves what is
    // already on screen so that only the uncovered band is painted.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setSingleStep(kLineStep);
        bar->setPageStep(kPageStep);
        bar->setRange(0, 0);
    }
}

ImageWindow::~ImageWindow() = default;

bool ImageWindow::reloadFile() {
    if (!loadFile(path_)) return false;
    setScrollPosition({0, 0});
    return true;
}

void ImageWindow::setFilePath(const QString& path) {
    path_ = path;
    setWindowTitle(path);
    emit changed();
}

void ImageWindow::setScrollPosition(QPoint position) {
    horizontalScrollBar()->setValue(position.x());
    verticalScrollBar()->setValue(position.y());
}

bool ImageWindow::loadFile(const QString& path) {
    const QByteArray fileName = QFile::encodeName(path);
    WaitCursor wait;
    const uint32_t start = TickCount();
    std::optional<JpegSource> jpegSource = JpegSourceOf(path, AutoRotateSetting());
    ImagePtr image;
    try {
        image = LoadForWindow(*this, fileName.constData());
    } catch (const RefinementStopped&) {
        // Closed while it refined: the close that was held back happens now.
        QTimer::singleShot(0, this, [this] { CloseImageWindow(*this); });
        return false;
    }
    // At least 1 ms: a load time of 0 stands for a picture that did not come from a file.
    const uint32_t elapsed = std::max<uint32_t>(1, TickCount() - start);
    if (!image) return false;
    std::optional<std::vector<MosaicEntry>> mosaic = LoadMosaicIndex(fileName.toStdString());
    display_.setImage(std::move(image), ScreenDepth(), zoom_,
                      [this](const QString& text) { emit transientStatus(text); });
    path_ = path;
    setWindowTitle(path);
    loadTime_ = elapsed;
    mosaic_ = std::move(mosaic);
    jpegSource_ = std::move(jpegSource);
    modified_ = false;
    imageReplaced();
    startSequence();
    return true;
}

void ImageWindow::startSequence() {
    sequence_ = PictureSequence::For(path_);
    if (!sequence_ || !sequence_->isAnimation()) return;
    connect(sequence_.get(), &PictureSequence::frameShown, this,
            [this](ImagePtr* frame) { showOwnPicture(std::move(*frame)); });
    // The window shows the whole screen of the animation, not its first image alone.
    if (ImagePtr first = sequence_->startAnimation()) showOwnPicture(std::move(first));
    else sequence_.reset();
}

void ImageWindow::showOwnPicture(ImagePtr picture) {
    display_.setImage(std::move(picture), ScreenDepth(), zoom_,
                      [this](const QString& text) { emit transientStatus(text); });
    mosaic_.reset();
    imageReplaced();
}

QString ImageWindow::sequencePosition() const {
    if (!sequence_) return {};
    return sequence_->position() + (sequence_->paused() ? QStringLiteral(" (paused)") : QString());
}

bool ImageWindow::isAnimated() const { return sequence_ && sequence_->isAnimation(); }
bool ImageWindow::animationPaused() const { return isAnimated() && sequence_->paused(); }

void ImageWindow::setImage(ImagePtr picture, bool keepSheetCells) {
    sequence_.reset();  // a command's result is no longer one of the file's pictures
    const auto sizeOf = [](const IMG* shown) { return shown ? QSize(shown->width, shown->height) : QSize(); };
    const QSize oldSize = sizeOf(image());
    display_.setImage(std::move(picture), ScreenDepth(), zoom_,
                      [this](const QString& text) { emit transientStatus(text); });
    // A conversion keeps the sheet's geometry and its thumbnails; a picture of another size does not.
    if (!keepSheetCells || sizeOf(image()) != oldSize || !image()) mosaic_.reset();
    jpegSource_.reset();  // the picture is no longer the file's
    imageReplaced();
}

void ImageWindow::setTurnedImage(ImagePtr picture, Orientation step) {
    std::optional<JpegSource> source = std::move(jpegSource_);
    // The contact sheet's cells no longer lie where the index says, even when the size is the same.
    setImage(std::move(picture), /*keepSheetCells=*/false);
    if (source) source->turns = ThenOrient(source->turns, step);
    jpegSource_ = std::move(source);
}

bool ImageWindow::jpegSourceUnchanged() const {
    if (!jpegSource_) return false;
    const std::optional<JpegSource> now = JpegSourceOf(jpegSource_->path, jpegSource_->uprightFirst);
    return now && now->size == jpegSource_->size && now->modified == jpegSource_->modified;
}

void ImageWindow::takeTurnedJpeg(const QString& path) {
    jpegSource_ = JpegSourceOf(path, jpegSource_ ? jpegSource_->uprightFirst : AutoRotateSetting());
}

void ImageWindow::imageReplaced() {
    hoveredFile_.clear();
    updateScrollRanges();
    offset_ = deviceOffset();
    viewport()->update();
    emit changed();
}

void ImageWindow::setModified(bool modified) {
    if (modified_ == modified) return;
    modified_ = modified;
    emit changed();
}

void ImageWindow::setZoom(int percent) {
    if (shownSize().isEmpty() || percent < kMinZoom || percent > kMaxZoom) return;
    display_.applyZoom(percent);  // a library error leaves the window as it was
    if (refinement_) refinement_->applyZoom(percent);
    zoom_ = percent;
    updateScrollRanges();
    offset_ = deviceOffset();
    viewport()->update();
    emit changed();
}

QSize ImageWindow::shownSize() const {
    if (const IMG* picture = image()) return QSize(picture->width, picture->height);
    if (refinement_ && refinement_->view()) return refinement_->finalSize();
    return {};
}

QSize ImageWindow::zoomedImageSize() const {
    const QSize size = shownSize();
    if (size.isEmpty()) return {};
    return QSize(size.width() * zoom_ / 100, size.height() * zoom_ / 100);
}

int ImageWindow::fitZoom() const {
    const QSize size = shownSize();
    if (size.isEmpty()) return zoom_;
    return FitZoom(size, maximumViewportSize());
}

void ImageWindow::zoomAround(int percent, QPoint anchor) {
    if (!image() || percent < kMinZoom || percent > kMaxZoom) return;
    // The image point under the anchor, in image pixels, before and after.
    const double x = (anchor.x() + offset_.x()) * 100.0 / zoom_;
    const double y = (anchor.y() + offset_.y()) * 100.0 / zoom_;
    setZoom(percent);
    setScrollPosition(QPoint(static_cast<int>(std::lround(x - anchor.x() * 100.0 / percent)),
                             static_cast<int>(std::lround(y - anchor.y() * 100.0 / percent))));
}

QPoint ImageWindow::scrollPosition() const { return {horizontalScrollBar()->value(), verticalScrollBar()->value()}; }

QPoint ImageWindow::scrollMaximum() const {
    return {horizontalScrollBar()->maximum(), verticalScrollBar()->maximum()};
}

QPoint ImageWindow::deviceOffset() const {
    const QPoint position = scrollPosition();
    return {position.x() * zoom_ / 100, position.y() * zoom_ / 100};
}

// An image wider than the window scrolls up to the column that puts its right edge at the
// window's edge; a narrower one does not scroll. The same for heights.
void ImageWindow::updateScrollRanges() {
    int maxX = 0, maxY = 0;
    if (const QSize picture = shownSize(); !picture.isEmpty()) {
        const int width = viewport()->width(), height = viewport()->height();
        if (picture.width() * zoom_ / 100 >= width) maxX = picture.width() - width * 100 / zoom_;
        if (picture.height() * zoom_ / 100 >= height) maxY = picture.height() - height * 100 / zoom_;
    }
    horizontalScrollBar()->setRange(0, std::max(0, maxX));
    verticalScrollBar()->setRange(0, std::max(0, maxY));
}

void ImageWindow::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
}

void ImageWindow::scrollContentsBy(int, int) {
    const QPoint old = offset_;
    offset_ = deviceOffset();
    const QPoint moved = old - offset_;
    if (!moved.isNull()) viewport()->scroll(moved.x(), moved.y());
}

void ImageWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const DibView* view = display_.view();
    // While refining, the coarse level is drawn over the final picture's size.
    if (!image() && refinement_) view = refinement_->view();
    const QSize size = shownSize();
    if (!view || size.isEmpty()) {
        painter.fillRect(area, Qt::white);
        return;
    }
    const long long W = size.width(), H = size.height(), z = zoom_;
    const int offX = offset_.x(), offY = offset_.y();

    // White right of and below the image.
    const int imageRight = static_cast<int>(W * z / 100) - offX;
    const int imageBottom = static_cast<int>(H * z / 100) - offY;
    if (area.right() >= imageRight)
        painter.fillRect(QRect(QPoint(std::max(area.left(), imageRight), area.top()), area.bottomRight()), Qt::white);
    if (area.bottom() >= imageBottom)
        painter.fillRect(QRect(QPoint(area.left(), std::max(area.top(), imageBottom)), area.bottomRight()),
                         Qt::white);

    // The picture columns and rows under the update rectangle.
    const int x0 = static_cast<int>((area.left() + offX) * 100LL / z);
    const int y0 = static_cast<int>((area.top() + offY) * 100LL / z);
    if (x0 >= W || y0 >= H) return;
    const int x1 = std::min<int>(W, CeilDiv((area.right() + 1LL + offX) * 100, z));
    const int y1 = std::min<int>(H, CeilDiv((area.bottom() + 1LL + offY) * 100, z));

    // The displayed picture may be smaller than the image (the half-size picture of a bi-level
    // image): its stored rows and columns are scaled onto the image's.
    const IMG& shown = view->image();
    const double fx = static_cast<double>(W) / shown.width, fy = static_cast<double>(H) / shown.height;
    const int u0 = static_cast<int>(x0 / fx), u1 = std::min<int>(shown.width, static_cast<int>(std::ceil(x1 / fx)));
    // Picture rows y0..y1 are stored rows H - y1 .. H - y0 (the bottom row is stored first).
    const int v0 = static_cast<int>((H - y1) / fy);
    const int v1 = std::min<int>(shown.height, static_cast<int>(std::ceil((H - y0) / fy)));
    const double scale = z / 100.0;
    painter.setTransform(QTransform(fx * scale, 0, 0, -fy * scale, -offX, H * scale - offY));
    view->draw(painter, QRect(u0, v0, u1 - u0, v1 - v0));
}

void ImageWindow::keyPressEvent(QKeyEvent* event) {
    QScrollBar* horizontal = horizontalScrollBar();
    QScrollBar* vertical = verticalScrollBar();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool control = modifiers & Qt::ControlModifier;
    const bool keypad = modifiers & Qt::KeypadModifier;
    // A file of pages: Page Down and Page Up step through them (Ctrl with them still scrolls to the
    // bottom and the top). An animation: Space pauses and resumes it.
    const bool pages = sequence_ && !sequence_->isAnimation() && !control;
    switch (event->key()) {
        case Qt::Key_Escape: emit helpModeRequested(false); break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            if (pages) {
                try {
                    if (ImagePtr page = sequence_->stepPage(event->key() == Qt::Key_PageDown ? 1 : -1))
                        showOwnPicture(std::move(page));
                } catch (const LumoFailure&) {
                    // the message box has named the failure; the page shown stays
                }
            } else if (event->key() == Qt::Key_PageUp) {
                vertical->setValue(control ? 0 : vertical->value() - kPageStep);
            } else {
                vertical->setValue(control ? vertical->maximum() : vertical->value() + kPageStep);
            }
            break;
        case Qt::Key_Space:
            if (!isAnimated()) {
                event->ignore();
                return;
            }
            sequence_->setPaused(!sequence_->paused());
            emit changed();
            break;
        case Qt::Key_End: horizontal->setValue(horizontal->maximum()); break;
        case Qt::Key_Home: horizontal->setValue(0); break;
        case Qt::Key_Left: horizontal->setValue(horizontal->value() - kPageStep); break;
        case Qt::Key_Right: horizontal->setValue(horizontal->value() + kPageStep); break;
        case Qt::Key_Up: vertical->setValue(vertical->value() - kLineStep); break;
        case Qt::Key_Down: vertical->setValue(vertical->value() + kLineStep); break;
        case Qt::Key_Plus:
        case Qt::Key_Minus:
        case Qt::Key_Equal:  // plus without Shift on keyboards that have it above "="
            if (keypad && event->key() != Qt::Key_Equal) {
                emit zoomStepRequested(event->key() == Qt::Key_Plus ? kZoomKeyStep : -kZoomKeyStep);
            } else if (!keypad && !(modifiers & (Qt::AltModifier | Qt::MetaModifier))) {
                // The main keyboard's keys, with or without Ctrl, climb the ladder around the centre.
                const int percent = event->key() == Qt::Key_Minus ? ZoomStepDown(zoom_) : ZoomStepUp(zoom_);
                if (percent != zoom_) emit zoomRequested(percent, viewport()->rect().center());
            } else {
                event->ignore();
                return;
            }
            break;
        case Qt::Key_F1:
            if (!(modifiers & Qt::ShiftModifier)) {
                event->ignore();
                return;
            }
            emit helpModeRequested(true);
            break;
        default: event->ignore(); return;
    }
    event->accept();
}

// Ctrl+wheel climbs the zoom ladder around the mouse, a step per notch; the wheel alone scrolls.
void ImageWindow::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        wheelTurn_ = 0;
        return QAbstractScrollArea::wheelEvent(event);
    }
    event->accept();
    wheelTurn_ += event->angleDelta().y();
    constexpr int kNotch = 120;  // eighths of a degree in one notch of a common wheel
    int percent = zoom_;
    for (; wheelTurn_ >= kNotch; wheelTurn_ -= kNotch) percent = ZoomStepUp(percent);
    for (; wheelTurn_ <= -kNotch; wheelTurn_ += kNotch) percent = ZoomStepDown(percent);
    if (percent != zoom_) emit zoomRequested(percent, event->position().toPoint());
}

int ImageWindow::mosaicEntryAt(QPoint point) const {
    if (!mosaic_) return -1;
    const QPoint position = scrollPosition();
    return MosaicHitTest(*mosaic_, point.x() * 100 / zoom_ + position.x(), point.y() * 100 / zoom_ + position.y());
}

QString ImageWindow::mosaicFile(int entry) const {
    if (!mosaic_ || entry < 0 || entry >= static_cast<int>(mosaic_->size())) return {};
    const std::string directory = SplitFileName(QFile::encodeName(path_).toStdString()).directory;
    return QFile::decodeName(QByteArray::fromStdString(directory + (*mosaic_)[entry].name));
}

void ImageWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!mosaic_) return QAbstractScrollArea::mouseMoveEvent(event);
    const int entry = mosaicEntryAt(event->position().toPoint());
    if (entry >= 0) {
        const QString file = mosaicFile(entry);
        if (file != hoveredFile_) {
            hoveredFile_ = file;
            // A picture changed or gone since the sheet was made is marked (checked once per hover).
            const char* state = PictureStateText(MosaicEntryState(QFile::encodeName(path_).toStdString(), (*mosaic_)[entry]));
            const QString mark = *state ? QStringLiteral(" (%1)").arg(QString::fromUtf8(state)) : QString();
            emit transientStatus(QStringLiteral("Double Click here to load ") + file + mark);
        }
    } else if (!hoveredFile_.isEmpty()) {
        hoveredFile_.clear();
        emit statusRestored();
    }
}

void ImageWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    const int entry = mosaicEntryAt(event->position().toPoint());
    if (entry < 0) return QAbstractScrollArea::mouseDoubleClickEvent(event);
    emit openFileRequested(mosaicFile(entry));
}

bool ImageWindow::queryClose() {
    if (!modified_) return true;
    switch (AskYesNoCancel(this, QStringLiteral("Save ?"), QStringLiteral("Save %1 ?").arg(windowTitle()))) {
        case Answer::Yes: {
            bool saved = false;
            emit saveRequested(this, &saved);
            return saved;
        }
        case Answer::No: return true;
        case Answer::Cancel: break;
    }
    return false;
}

// Space in a playing window pauses it rather than stepping to the next picture of the folder.
bool ImageWindow::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && isAnimated()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void ImageWindow::closeEvent(QCloseEvent* event) {
    if (refinement_) {
        // The load under way unwinds first; the window closes once it has.
        refinement_->requestStop();
        event->ignore();
        return;
    }
    if (queryClose())
        event->accept();
    else
        event->ignore();
}

void ImageWindow::showFullScreenView() {
    const IMG* picture = display_.displayImage();
    if (!picture || fullScreen_) return;
    fullScreen_ = new FullScreenView(*picture, QSize(image()->width, image()->height), this);
    // A frameless window over the whole screen, which covers it whether or not a window manager
    // runs to honour a full-screen request.
    fullScreen_->setGeometry(screen()->geometry());
    fullScreen_->show();
    fullScreen_->raise();
    fullScreen_->activateWindow();
    fullScreen_->setFocus();
}

FullScreenView* ImageWindow::fullScreenView() const { return fullScreen_; }
