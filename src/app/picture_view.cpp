#include "app/picture_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/main_form_emu.h"
#include "devices/host_keys.h"

namespace lvov {

QRect fit_picture(QSize area, PictureScale scale) {
    const int room = std::max(0, std::min(area.width(), area.height()));
    int side = room;
    if (scale == PictureScale::Whole && room >= SCREEN_WIDTH) side = room / SCREEN_WIDTH * SCREEN_WIDTH;
    return QRect((area.width() - side) / 2, (area.height() - side) / 2, side, side);
}

PictureView::PictureView(TMainFormEmu& form, const Picture& picture)
    : QWidget(&form),
      form_(form),
      image_(reinterpret_cast<const uchar*>(picture.pixels.data()), SCREEN_WIDTH, SCREEN_HEIGHT,
             SCREEN_WIDTH * static_cast<int>(sizeof(uint32_t)), QImage::Format_RGB32) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, true);  // every pixel is painted: picture or black
    setMinimumSize(16, 16);
}

void PictureView::update_picture_rect() { picture_rect_ = fit_picture(size(), scale_); }

void PictureView::set_scale(PictureScale scale) {
    scale_ = scale;
    update_picture_rect();
    update();
}

QImage PictureView::shown_picture() const {
    const Qt::TransformationMode mode =
        scale_ == PictureScale::Smooth ? Qt::SmoothTransformation : Qt::FastTransformation;
    if (picture_rect_.isEmpty()) return picture();
    return image_.scaled(picture_rect_.size(), Qt::IgnoreAspectRatio, mode);
}

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    for (const QRect& r : QRegion(event->rect()).subtracted(picture_rect_)) p.fillRect(r, Qt::black);
    if (scale_ == PictureScale::Smooth) p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(picture_rect_, image_);  // nearest-neighbour unless smoothed
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

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
    form_.MenuFullScreenClick();
    event->accept();
}

void PictureView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    form_.FormResize();
}

bool PictureView::focusNextPrevChild(bool) { return false; }

}  // namespace lvov
