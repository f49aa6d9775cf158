#include "viewer/shell/sign_on_box.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "viewer/shell/toolbar_glyphs.h"

SignOnBox::SignOnBox(QWidget* frame) : QDialog(frame) {
    setWindowTitle(QStringLiteral("Lumo for Windows"));
    setWindowIcon(LumoIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);  // the frame keeps the keyboard
    setModal(false);

    QLabel* icon = new QLabel(this);
    icon->setPixmap(LumoIcon().pixmap(48, 48));
    QLabel* name = new QLabel(QStringLiteral("<b>Lumo v1.2e</b>"), this);
    QLabel* what = new QLabel(QStringLiteral("Image viewer and converter"), this);
    QLabel* how = new QLabel(QStringLiteral("Open images with Ctrl+F12 or drop them on the window"), this);
    QVBoxLayout* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(what);
    texts->addWidget(how);
    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(16);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts);

    QTimer::singleShot(kShowMilliseconds, this, &QWidget::close);
    qApp->installEventFilter(this);
}

SignOnBox::~SignOnBox() { qApp->removeEventFilter(this); }

// Centred, the left edge on a multiple of 8 pixels.
void SignOnBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        const int x = ((area.width() - width()) / 2 + 4) / 8 * 8;
        move(area.left() + x, area.top() + (area.height() - height()) / 2);
    }
}

bool SignOnBox::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
            close();
            break;
        default: break;
    }
    return QDialog::eventFilter(watched, event);  // the event goes on to its window
}
