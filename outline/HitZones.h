#pragma once
// Hit zones of the outline's tree: which part of the tree lies under a point.
#include <initializer_list>

// In this order; the tree reports a set of them for a point (TTreeHitZones).
enum class TTreeHitZone {
    hzAbove,       // above the client area
    hzBelow,       // below the client area
    hzNowhere,     // in the client area, below the last row
    hzOnEntry,     // on icon, title and state icon at once
    hzOnButton,    // on the entry's expand button
    hzOnIcon,      // on the entry's icon
    hzOnIndent,    // in the row, in the indentation left of the entry
    hzOnLabel,     // on the entry's title text
    hzOnRight,     // in the row, right of the title text
    hzOnStateIcon, // on the entry's state icon
    hzToLeft,      // left of the client area
    hzToRight      // right of the client area
};
using enum TTreeHitZone;

// A small set of TTreeHitZone.
class TTreeHitZones {
public:
    constexpr TTreeHitZones() noexcept = default;
    constexpr TTreeHitZones(std::initializer_list<TTreeHitZone> Zones) noexcept {
        for (TTreeHitZone Zone : Zones)
            Include(Zone);
    }

    constexpr bool Contains(TTreeHitZone Zone) const noexcept { return (FBits & Bit(Zone)) != 0; }
    // True when the sets share a zone.
    constexpr bool Intersects(TTreeHitZones Other) const noexcept { return (FBits & Other.FBits) != 0; }
    // True when every zone of this set lies in Other.
    constexpr bool SubsetOf(TTreeHitZones Other) const noexcept { return (FBits & ~Other.FBits) == 0; }

    constexpr TTreeHitZones& Include(TTreeHitZone Zone) noexcept {
        FBits |= Bit(Zone);
        return *this;
    }

    constexpr bool operator==(const TTreeHitZones&) const noexcept = default;

private:
    static constexpr unsigned Bit(TTreeHitZone Zone) noexcept { return 1u << static_cast<unsigned>(Zone); }

    unsigned FBits = 0;
};
