#include "Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
    if (FOwner != nullptr)
        FOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    while (!FComponents.empty()) {
        TComponent* Last = FComponents.back();
        // The child's destructor removes it from FComponents.
        delete Last;
    }
    if (FOwner != nullptr)
        FOwner->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* Component) {
    FComponents.push_back(Component);
}

void TComponent::RemoveComponent(TComponent* Component) noexcept {
    const auto Found = std::find(FComponents.rbegin(), FComponents.rend(), Component);
    if (Found != FComponents.rend())
        FComponents.erase(std::next(Found).base());
}
