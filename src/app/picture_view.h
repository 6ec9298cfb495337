// The picture of the main window.
#pragma once
#include <QImage>
#include <QRect>
#include <QWidget>

#include "devices/video.h"

namespace lvov {

class TMainFormEmu;

// The picture: stretches the emulator's 256 x 256 bitmap into picture_rect whenever the
// platform asks, and hands keys and mouse presses to the window.
class PictureView : public QWidget {
    Q_OBJECT
public:
    PictureView(TMainFormEmu& form, const Picture& picture);
    QRect picture_rect() const { return picture_rect_; }
    void update_picture_rect();
protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Tab and Shift+Tab are keys of the emulated keyboard, not focus moves.
    bool focusNextPrevChild(bool next) override;
private:
    TMainFormEmu& form_;
    QImage image_;  // wraps Picture::pixels, no copy
    QRect picture_rect_;
};

}  // namespace lvov
