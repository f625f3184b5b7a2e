// The image control: holds a 24-bit bitmap and shows it at 1:1 from its top-left corner, cut to
// the control's size.
#pragma once
#include "ui/bitmap.h"
#include "ui/control.h"

namespace ui {

class Image : public Control {
  public:
    Image(Control* parent, ControlArgs args)
        : Control(parent, ControlKind::Image, std::move(args)) {}

    const Bitmap& Picture() const { return picture_; }
    // Replaces the picture with a copy of the given bitmap.
    void SetPicture(const Bitmap& picture);
    // Drawing access; call Invalidate after drawing so that the window shows it.
    Bitmap& Canvas() { return picture_; }
    void Invalidate() { Changed(Property::Picture); }

  private:
    Bitmap picture_;
};

}  // namespace ui
