// The picture of the main window.
#pragma once
#include <QImage>
#include <QRect>
#include <QWidget>

#include "devices/video.h"

namespace lvov {

class TMainFormEmu;

// How the picture fills the area below the toolbar. It keeps its square aspect and is
// centred on black in every mode.
enum class PictureScale {
    Whole,  // the largest whole multiple of 256 x 256 that fits (the default)
    Fill,  // the largest square that fits, pixels kept sharp
    Smooth,  // the largest square that fits, smoothed
};

// The picture's rectangle in an area of that size. An area smaller than 256 pixels
// shows the largest square that fits, whatever the mode.
QRect fit_picture(QSize area, PictureScale scale);

// The picture: draws the emulator's 256 x 256 bitmap into picture_rect whenever the
// platform asks, black around it, and hands keys and mouse presses to the window; a
// double-click toggles full screen.
class PictureView : public QWidget {
    Q_OBJECT
public:
    PictureView(TMainFormEmu& form, const Picture& picture);
    QRect picture_rect() const { return picture_rect_; }
    void update_picture_rect();
    PictureScale scale() const { return scale_; }
    void set_scale(PictureScale scale);
    // The picture as it is now: 256 x 256, or as the window shows it (picture_rect's
    // size, scaled the way the window scales it).
    QImage picture() const { return image_.copy(); }
    QImage shown_picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Tab and Shift+Tab are keys of the emulated keyboard, not focus moves.
    bool focusNextPrevChild(bool next) override;

private:
    TMainFormEmu& form_;
    QImage image_;  // wraps Picture::pixels, no copy
    QRect picture_rect_;
    PictureScale scale_ = PictureScale::Whole;
};

}  // namespace lvov
