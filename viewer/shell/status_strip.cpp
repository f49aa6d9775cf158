#include "viewer/shell/status_strip.h"

#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "viewer/shell/viewer_colors.h"

int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const long long product = static_cast<long long>(a) * b;
    const long long half = std::llabs(static_cast<long long>(c)) / 2;
    const long long rounded = (product >= 0) == (c > 0) ? (std::llabs(product) + half) / std::llabs(c)
                                                         : -((std::llabs(product) + half) / std::llabs(c));
    return static_cast<int>(rounded);
}

StatusStrip::StatusStrip(QWidget* parent) : QWidget(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedHeight(textHeight() + 2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int StatusStrip::textHeight() const { return fontMetrics().height(); }

QSize StatusStrip::sizeHint() const { return {200, textHeight() + 2}; }

void StatusStrip::setStatusText(const QString& text) {
    stored_ = text;
    transientShown_ = false;
    progressShown_ = false;
    update();
    emit textShown(text);
}

void StatusStrip::showTransient(const QString& text) {
    transient_ = text;
    transientShown_ = true;
    progressShown_ = false;
    redrawNow();
    emit textShown(text);
}

void StatusStrip::restore() {
    transientShown_ = false;
    progressShown_ = false;
    update();
}

QString StatusStrip::shownText() const {
    if (progressShown_) return {};
    return transientShown_ ? transient_ : stored_;
}

void StatusStrip::progress(int value) {
    if (value == -1) {
        total_ = 100;
        accumulated_ = lastPercent_ = lastValue_ = 0;
        progressShown_ = true;
        redrawNow();
        return;
    }
    if (value == -2) {
        if (lastValue_ < 100) advance(100 - lastValue_);
        lastValue_ = 100;
        progressShown_ = false;
        update();
        if (progressEnd_) progressEnd_();
        return;
    }
    if (value == lastValue_) return;
    advance(value - lastValue_);
    lastValue_ = value;
}

void StatusStrip::advance(int amount) {
    accumulated_ += amount;
    const int percent = MulDiv(accumulated_, 100, total_);
    if (percent == lastPercent_ && progressShown_) return;
    lastPercent_ = percent;
    progressShown_ = true;
    redrawNow();
}

// Long operations run without returning to the event loop, so the strip is painted at once.
void StatusStrip::redrawNow() {
    if (isVisible()) repaint();
}

void StatusStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    painter.fillRect(0, 0, w, 1, Qt::black);
    const QRect strip(0, 1, w, height() - 1);
    painter.fillRect(strip, kLightGrey);
    painter.setFont(font());
    const QFontMetrics metrics = fontMetrics();
    const int baseline = strip.top() + metrics.ascent();
    if (!progressShown_) {
        painter.setPen(Qt::black);
        painter.drawText(5, baseline, shownText());
        return;
    }
    const int percent = std::clamp(lastPercent_, 0, 100);
    const int barRight = MulDiv(w, percent, 100);
    painter.fillRect(QRect(0, strip.top(), barRight, strip.height()), kProgressBlue);
    const QString text = QString::asprintf("%d %%", percent);
    const int textRight = metrics.horizontalAdvance(text) + 5;
    // White on the bar when the text fits inside it, black on grey otherwise.
    painter.setPen(textRight < barRight ? Qt::white : Qt::black);
    painter.drawText(5, baseline, text);
}
