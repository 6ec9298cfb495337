// The 16 x 16 images of the menu and the toolbar, drawn at start-up.
//
// The numbers are the places of the images in the window's image list; only these are
// used.
#pragma once
#include <QIcon>

namespace lvov {

enum ImageIndex : int {
    IMAGE_DEBUGGER = 2,  // green beetle
    IMAGE_OPEN = 4,  // open folder
    IMAGE_EXIT = 6,  // door with an arrow
    IMAGE_PAUSE = 7,  // pause bars
    IMAGE_RESUME = 8,  // green play triangle
    IMAGE_FULL_RESET_MENU = 11,  // magenta square
    IMAGE_RESUME_BLINK = 14,  // magenta play triangle
    IMAGE_FULL_RESET = 16,  // red circular arrows
    IMAGE_QUICK_RESET = 17,  // green circular arrows
    IMAGE_REWIND_BACK = 20,  // two blue triangles pointing left
    IMAGE_REWIND_FORWARD = 21,  // two blue triangles pointing right
};

constexpr int IMAGE_SIZE = 16;

// The image of that index; an index without a picture gives an empty icon.
QIcon make_image(int index);

}  // namespace lvov
