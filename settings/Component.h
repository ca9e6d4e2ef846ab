#pragma once
// Base of the window's non-visual components.
//
// A component is released by its owner: the owner's destructor destroys every
// component it still owns, the last one first. A component destroyed earlier
// leaves its owner's list, so nothing is released twice. A component given an
// owner must therefore be created with new; one without an owner belongs to
// whoever created it.
#include "ByteString.h"
#include "Object.h"

#include <cstddef>
#include <vector>

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent* Owner() const noexcept { return FOwner; }
    std::size_t ComponentCount() const noexcept { return FComponents.size(); }
    TComponent* Components(std::size_t Index) const { return FComponents.at(Index); }

    const TByteString& Name() const noexcept { return FName; }
    void SetName(TByteString Value) { FName = std::move(Value); }

    // Set only by a form designer that hosts the component; the running program
    // never sets it.
    bool Designing() const noexcept { return FDesigning; }
    void SetDesigning(bool Value) noexcept { FDesigning = Value; }

    // Runs once after a layout has applied all of its properties to the
    // component, before the owner's creation handler.
    virtual void Loaded() {}

private:
    void InsertComponent(TComponent* Component);
    void RemoveComponent(TComponent* Component) noexcept;

    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
    TByteString FName;
    bool FDesigning = false;
};
