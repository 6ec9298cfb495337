#include "app/picture_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/main_form_emu.h"
#include "devices/host_keys.h"

namespace lvov {

PictureView::PictureView(TMainFormEmu& form, const Picture& picture)
    : QWidget(&form),
      form_(form),
      image_(reinterpret_cast<const uchar*>(picture.pixels.data()), SCREEN_WIDTH, SCREEN_HEIGHT,
             SCREEN_WIDTH * static_cast<int>(sizeof(uint32_t)), QImage::Format_RGB32) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMinimumSize(16, 16);
}

// The picture fills the client area below the toolbar; its right and bottom edges stop
// one pixel short of the client's, as the window always drew it.
void PictureView::update_picture_rect() {
    picture_rect_ = QRect(0, 0, std::max(0, width() - 1), std::max(0, height() - 1));
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(picture_rect_, image_);  // nearest-neighbour stretch
}

void PictureView::keyPressEvent(QKeyEvent* event) {
    if (const uint8_t vk = host_virtual_key(*event)) form_.FormKeyDown(vk);
    event->accept();
}

void PictureView::keyReleaseEvent(QKeyEvent* event) {
    // The host repeats a held key as release-press pairs; only the presses count, as
    // auto-repeats of the key-down.
    if (!event->isAutoRepeat()) {
        if (const uint8_t vk = host_virtual_key(*event)) form_.FormKeyUp(vk);
    }
    event->accept();
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    form_.FormMouseDown();
    event->accept();
}

void PictureView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    form_.FormResize();
}

bool PictureView::focusNextPrevChild(bool) { return false; }

}  // namespace lvov
