#include "DropRules.h"

TDropDecision DecideDrop(const TDropQuery& Query) noexcept {
    TDropDecision Decision;
    const TTreeHitZones Refused{hzAbove, hzBelow, hzOnRight, hzOnStateIcon, hzToLeft, hzToRight};
    Decision.Accept = Query.FromThisTree && Query.HasSelection && !Query.Zones.Intersects(Refused);
    if (!Decision.Accept)
        return Decision;
    const TTreeHitZones Zones = Query.Zones;
    if (Zones.Contains(hzOnEntry))
        Decision.Placement = epLastChild;
    else if (Zones.Contains(hzNowhere))
        Decision.Placement = epLast;
    else if (Zones.SubsetOf({hzOnButton, hzOnIndent}))
        Decision.Placement = epBefore;
    else
        Decision.Placement = epLastChild;
    return Decision;
}
