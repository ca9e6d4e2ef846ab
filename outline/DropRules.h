#pragma once
// The rule for dropping a dragged entry onto the outline's tree: whether a drop at a
// point is taken, and where the dragged entry then goes. Plain C++; the view supplies the
// hit zones of the point, the window runs the move.
#include "HitZones.h"
#include "TreeNodes.h"

// What is known about the pointer's position during a drag.
struct TDropQuery {
    bool FromThisTree = false; // the drag started in the tree it is over
    bool HasSelection = false; // the tree has a selected entry (the one being dragged)
    TTreeHitZones Zones;       // the zones of the tree under the pointer
    // Ctrl held. Pressing or releasing it makes the view ask again; a drop is a move
    // either way (there is no copy), so the answer does not depend on it.
    bool Control = false;
};

struct TDropDecision {
    bool Accept = false;
    // Meaningful only when accepted: epLastChild of the entry under the pointer, epBefore
    // it, or epLast (the last top-level entry, below the last row).
    TEntryPlacement Placement = epLastChild;

    bool operator==(const TDropDecision&) const = default;
};

// Accepted exactly when the drag comes from this tree, there is a selection, and the
// zones hold none of hzAbove, hzBelow, hzOnRight, hzOnStateIcon, hzToLeft, hzToRight.
// Placement, by the first match: hzOnEntry → epLastChild; hzNowhere → epLast; only
// hzOnButton and/or hzOnIndent → epBefore; anything else (hzOnIcon, hzOnLabel) →
// epLastChild.
TDropDecision DecideDrop(const TDropQuery& Query) noexcept;
