// The image control.
#include "ui/image.h"

namespace ui {

void Image::SetPicture(const Bitmap& picture) {
    picture_ = picture;
    Changed(Property::Picture);
}

}  // namespace ui
