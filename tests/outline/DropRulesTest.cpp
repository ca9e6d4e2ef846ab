#include "DropRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TDropCase {
    const char* Name;
    bool FromThisTree;
    bool HasSelection;
    TTreeHitZones Zones;
    bool Accept;
    TEntryPlacement Placement; // checked only when accepted
};

class DropRulesTest : public ::testing::TestWithParam<TDropCase> {};

TEST_P(DropRulesTest, AcceptanceAndPlacementFollowTheZones) {
    const TDropCase& Case = GetParam();
    // Ctrl makes the view ask again; the answer is the same with and without it.
    for (const bool Control : {false, true}) {
        SCOPED_TRACE(Control ? "with Ctrl" : "without Ctrl");
        const TDropDecision Decision = DecideDrop({Case.FromThisTree, Case.HasSelection, Case.Zones, Control});
        EXPECT_EQ(Decision.Accept, Case.Accept);
        if (Case.Accept) {
            EXPECT_EQ(Decision.Placement, Case.Placement);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DropRulesTest,
    ::testing::Values(
        // Where a drop is taken, and what it does.
        TDropCase{"OnTitleMakesLastChild", true, true, {hzOnLabel}, true, epLastChild},
        TDropCase{"OnIconMakesLastChild", true, true, {hzOnIcon}, true, epLastChild},
        TDropCase{"OnWholeEntryMakesLastChild", true, true, {hzOnEntry}, true, epLastChild},
        TDropCase{"OnEntryWinsOverIndent", true, true, {hzOnEntry, hzOnIndent}, true, epLastChild},
        TDropCase{"BelowLastRowMakesLastTopLevel", true, true, {hzNowhere}, true, epLast},
        TDropCase{"NowhereWinsOverButton", true, true, {hzNowhere, hzOnButton}, true, epLast},
        TDropCase{"InIndentGoesBefore", true, true, {hzOnIndent}, true, epBefore},
        TDropCase{"OnButtonGoesBefore", true, true, {hzOnButton}, true, epBefore},
        TDropCase{"ButtonAndIndentGoBefore", true, true, {hzOnButton, hzOnIndent}, true, epBefore},
        TDropCase{"IndentWithLabelMakesLastChild", true, true, {hzOnIndent, hzOnLabel}, true, epLastChild},
        // Where it is refused.
        TDropCase{"RightOfTitleRefused", true, true, {hzOnRight}, false, epLastChild},
        TDropCase{"StateIconRefused", true, true, {hzOnStateIcon}, false, epLastChild},
        TDropCase{"AboveRefused", true, true, {hzAbove}, false, epLastChild},
        TDropCase{"BelowRefused", true, true, {hzBelow}, false, epLastChild},
        TDropCase{"LeftRefused", true, true, {hzToLeft}, false, epLastChild},
        TDropCase{"RightRefused", true, true, {hzToRight}, false, epLastChild},
        TDropCase{"CornerRefused", true, true, {hzAbove, hzToLeft}, false, epLastChild},
        TDropCase{"RefusedZoneSpoilsAcceptedOne", true, true, {hzOnLabel, hzOnRight}, false, epLastChild},
        TDropCase{"FromElsewhereRefused", false, true, {hzOnLabel}, false, epLastChild},
        TDropCase{"WithoutSelectionRefused", true, false, {hzOnLabel}, false, epLastChild},
        TDropCase{"WithoutSelectionBelowRowsRefused", true, false, {hzNowhere}, false, epLastChild}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
