// The component model: ownership, names, tags and state flags.
#include "serial/component/component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
    if (FOwner) FOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::BeginLoading() { FComponentState.Include(TComponentStateFlag::csLoading); }

void TComponent::Loaded() { FComponentState.Exclude(TComponentStateFlag::csLoading); }

void TComponent::SetDesigning(bool Value) {
    if (Value)
        FComponentState.Include(TComponentStateFlag::csDesigning);
    else
        FComponentState.Exclude(TComponentStateFlag::csDesigning);
}

void TComponent::Destroying() { FComponentState.Include(TComponentStateFlag::csDestroying); }

void TComponent::DestroyComponents() {
    // Each child removes itself from FComponents in its destructor.
    while (!FComponents.empty()) delete FComponents.back();
}

void TComponent::InsertComponent(TComponent* AComponent) { FComponents.push_back(AComponent); }

void TComponent::RemoveComponent(TComponent* AComponent) {
    auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (it != FComponents.end()) FComponents.erase(it);
}
