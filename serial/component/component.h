// The component model the serial layer's components share: an owner that frees what it owns, a
// name and a tag, and the state flags that say whether a component is being loaded, designed or
// destroyed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/component/small_set.h"

enum class TComponentStateFlag : uint8_t { csLoading, csDesigning, csDestroying };
using TComponentState = SmallSet<TComponentStateFlag>;

// A component is created with `new` and handed to its owner, which frees it when the owner itself
// is freed. A component without an owner belongs to whoever created it (usually a unique_ptr).
// Freeing a component early is allowed: it removes itself from its owner first.
// Components are used on the main thread only.
class TComponent {
  public:
    explicit TComponent(TComponent* AOwner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }  // not owned
    const std::string& Name() const { return FName; }
    void SetName(const std::string& Value) { FName = Value; }
    intptr_t Tag() const { return FTag; }
    void SetTag(intptr_t Value) { FTag = Value; }
    TComponentState ComponentState() const { return FComponentState; }

    // The components this one owns, in the order they were created.
    size_t ComponentCount() const { return FComponents.size(); }
    TComponent* Components(size_t Index) const { return FComponents.at(Index); }

    // Loading from a stored form: BeginLoading marks the component csLoading, and whoever loads it
    // calls Loaded once every property is set. Overrides of Loaded call the base first, which
    // clears csLoading, and then apply what they deferred while loading.
    void BeginLoading();
    virtual void Loaded();

    // Design time: the component sits in a designer and must not touch devices.
    void SetDesigning(bool Value);

  protected:
    // Marks the component csDestroying. The base destructor calls it, but by then the derived
    // parts are gone, so a derived destructor that wants its owned components or its own code
    // to see the flag calls it first.
    void Destroying();
    // Frees every owned component, the last created first.
    void DestroyComponents();

  private:
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    TComponent* FOwner;                    // not owned
    std::vector<TComponent*> FComponents;  // owned
    std::string FName;
    intptr_t FTag = 0;
    TComponentState FComponentState;
};
