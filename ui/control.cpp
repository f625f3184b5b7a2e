// Control base: registration with the parent, state setters that tell the peer.
#include "ui/control.h"

#include <algorithm>

namespace ui {

Control::Control(Control* parent, ControlKind kind, ControlArgs args)
    : kind_(kind),
      name_(std::move(args.name)),
      parent_(parent),
      bounds_(args.bounds),
      text_(std::move(args.text)),
      font_(std::move(args.font)),
      alignment_(args.alignment),
      enabled_(args.enabled),
      visible_(args.visible),
      tabStop_(args.tabStop) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    if (peer_) peer_->ControlGone();
    if (parent_) std::erase(parent_->children_, this);
    for (Control* child : children_) child->parent_ = nullptr;
}

void Control::SetBounds(const Rect& bounds) {
    if (bounds == bounds_) return;
    bounds_ = bounds;
    Changed(Property::Bounds);
}

void Control::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    Changed(Property::Text);
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed(Property::Enabled);
}

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed(Property::Visible);
}

Font Control::EffectiveFont() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (c->font_) return *c->font_;
    }
    return Font::Points(L"Tahoma", 8);
}

void Control::SetFont(const Font& font) {
    font_ = font;
    Changed(Property::Font);
}

Rect Control::BoundsInForm() const {
    if (!parent_) return {0, 0, bounds_.width, bounds_.height};
    Rect parentRect = parent_->BoundsInForm();
    Rect area = parent_->ChildArea();
    return {parentRect.left + area.left + bounds_.left, parentRect.top + area.top + bounds_.top,
            bounds_.width, bounds_.height};
}

Control* Control::ControlAt(int x, int y) {
    Rect area = ChildArea();
    // Later children lie below earlier ones, as the real windows do: the first hit wins.
    for (Control* child : children_) {
        if (!child->visible_) continue;
        if (child->bounds_.Contains(x - area.left, y - area.top)) {
            return child->ControlAt(x - area.left - child->bounds_.left,
                                    y - area.top - child->bounds_.top);
        }
    }
    return this;
}

}  // namespace ui
