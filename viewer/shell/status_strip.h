// The status line at the bottom of the frame: a black separator row, then a light-grey strip with
// one line of text, or the progress bar while a long operation reports progress.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class StatusStrip : public QWidget {
    Q_OBJECT
public:
    explicit StatusStrip(QWidget* parent = nullptr);

    // The stored text, drawn whenever nothing else is shown (empty = a blank strip).
    void setStatusText(const QString& text);
    const QString& statusText() const { return stored_; }
    // Draws a text at once without storing it (menu help, conversions under way).
    void showTransient(const QString& text);
    // Back to the stored text.
    void restore();
    // The text on the strip now (transient or stored); empty while the progress bar is shown.
    QString shownText() const;

    // The library's progress protocol: -1 starts the bar, a percentage advances it, -2 ends it.
    void progress(int value);
    bool progressShown() const { return progressShown_; }
    int progressPercent() const { return lastPercent_; }
    // Called after -2 (the frame puts the image-info text back).
    void setProgressEndHandler(std::function<void()> handler) { progressEnd_ = std::move(handler); }

    // Height of a text line in the status font.
    int textHeight() const;
    QSize sizeHint() const override;

signals:
    // Every text put on the strip, stored or transient.
    void textShown(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void advance(int amount);
    void redrawNow();

    QString stored_;
    QString transient_;
    bool transientShown_ = false;

    bool progressShown_ = false;
    int total_ = 100;
    int accumulated_ = 0;
    int lastPercent_ = 0;
    int lastValue_ = 0;
    std::function<void()> progressEnd_;
};

// a * b / c rounded to the nearest integer (halves away from zero), as the Windows MulDiv; 0 when c is 0.
int MulDiv(int a, int b, int c);
