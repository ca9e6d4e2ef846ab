#include "FindIndex.h"

#include "CodePage932.h"
#include "DataFile.h"
#include "StringList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace {

TByteString Cp932(const std::string& Utf8Text) {
    TByteString Bytes;
    std::size_t Bad = 0;
    if (!TCodePage932::FromUtf8(Utf8Text, Bytes, Bad))
        ADD_FAILURE() << "not code page 932: " << Utf8Text;
    return Bytes;
}

std::string Needle(const char* Utf8Text) {
    return TFindText::Needle(QString::fromUtf8(Utf8Text)).value();
}

class TOwningOutline : public TTreeNodes {
public:
    TOwningOutline() { ReleaseBodiesOnDeletion(*this); }
};

class FindIndexTest : public testing::Test {
protected:
    TTreeNode* Add(TTreeNode* Parent, const std::string& Title, const std::vector<std::string>& Lines) {
        auto* Body = new TStringList;
        for (const std::string& Line : Lines)
            Body->Add(Cp932(Line));
        TTreeNode* Entry = Nodes.AppendChild(Parent, Cp932(Title), Body);
        Entries[Title] = Entry;
        return Entry;
    }

    // A "Claim one" (B "Defence" (C "Reply")) D "背信的悪意者"
    void SetUp() override {
        TTreeNode* A = Add(nullptr, "Claim one", {"payment due"});
        TTreeNode* B = Add(A, "Defence", {"消滅時効 applies", "second line"});
        Add(B, "Reply", {"see 177"});
        Add(nullptr, "背信的悪意者", {"第１７７条"});
    }

    std::string Find(const char* Text, const char* From, TFindDirection Direction = fdNext) {
        const TTreeNode* Start = From[0] ? Entries.at(From) : nullptr;
        const TTreeNode* Found = Index.Find(Needle(Text), Start, Direction);
        if (!Found)
            return "";
        return TCodePage932::ToUtf8Lossy(Found->Text());
    }

    TOwningOutline Nodes;
    TFindIndex Index{Nodes};
    std::map<std::string, TTreeNode*> Entries;
};

struct TOrderCase {
    const char* Needle;
    const char* From;
    TFindDirection Direction;
    const char* Expected;
};

void PrintTo(const TOrderCase& Case, std::ostream* Out) {
    *Out << Case.Needle << " from '" << Case.From << "' " << (Case.Direction == fdNext ? "next" : "previous");
}

class FindIndexOrder : public FindIndexTest, public testing::WithParamInterface<TOrderCase> {};

TEST_P(FindIndexOrder, FindsInPreOrderAfterTheStartAndWraps) {
    const TOrderCase& Case = GetParam();
    EXPECT_EQ(Find(Case.Needle, Case.From, Case.Direction), Case.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindIndexOrder,
    testing::Values(
        TOrderCase{"177", "", fdNext, "Reply"}, TOrderCase{"177", "Reply", fdNext, "背信的悪意者"},
        TOrderCase{"177", "背信的悪意者", fdNext, "Reply"}, TOrderCase{"177", "", fdPrevious, "背信的悪意者"},
        TOrderCase{"177", "背信的悪意者", fdPrevious, "Reply"}, TOrderCase{"177", "Reply", fdPrevious, "背信的悪意者"},
        TOrderCase{"SECOND LINE", "Claim one", fdNext, "Defence"}, TOrderCase{"消滅時効", "Defence", fdNext, "Defence"},
        TOrderCase{"ｐａｙｍｅｎｔ", "Reply", fdNext, "Claim one"}, TOrderCase{"due消滅", "", fdNext, ""},
        TOrderCase{"one\xE3\x80\x80payment", "", fdNext, ""}, TOrderCase{"nowhere", "Defence", fdPrevious, ""}));

TEST_F(FindIndexTest, OwnEntryIsMatchedAgainstTheFieldsInstead) {
    TTreeNode* B = Entries.at("Defence");
    const std::string Fields =
        TFindIndex::FoldFields(QStringLiteral("Defence"), QStringLiteral("typed, not committed"));
    EXPECT_EQ(Index.Find(Needle("COMMITTED"), nullptr, fdNext, B, Fields), B);
    EXPECT_EQ(Index.Find(Needle("消滅時効"), nullptr, fdNext, B, Fields), nullptr);
    EXPECT_EQ(Index.Find(Needle("payment"), B, fdNext, B, Fields), Entries.at("Claim one"));
}

TEST_F(FindIndexTest, FollowsTitlesInsertsRemovalsMovesAndClears) {
    ASSERT_EQ(Find("reply", ""), "Reply");
    Nodes.SetEntryTitle(Entries.at("Reply"), Cp932("Rejoinder"));
    EXPECT_EQ(Find("reply", ""), "");
    EXPECT_EQ(Find("REJOINDER", ""), "Rejoinder");

    Add(Entries.at("背信的悪意者"), "Added later", {"ｶﾞｲﾄﾞ"});
    EXPECT_EQ(Find("ガイド", ""), "Added later");

    Nodes.MoveEntry(Entries.at("背信的悪意者"), Entries.at("Claim one"), epBefore);
    EXPECT_EQ(Find("177", ""), "背信的悪意者");

    Nodes.DeleteEntry(Entries.at("Defence"));
    EXPECT_EQ(Find("消滅時効", ""), "");
    EXPECT_EQ(Find("177", "背信的悪意者"), "背信的悪意者");
    EXPECT_EQ(Index.EntryCount(), 3u);

    Nodes.ClearOutline();
    EXPECT_EQ(Index.EntryCount(), 0u);
    EXPECT_EQ(Index.TextBytes(), 0u);
    Add(nullptr, "Fresh", {"177"});
    EXPECT_EQ(Find("177", ""), "Fresh");
}

TEST_F(FindIndexTest, BodyCommittedOnLeavingTheSelectionIsFoldedAgain) {
    TTreeNode* A = Entries.at("Claim one");
    Nodes.SelectEntry(A);
    ASSERT_EQ(Find("payment", ""), "Claim one");
    // What the window's commit does while the selection moves on.
    Nodes.OnChanging = [&](TObject*, TTreeNode*, bool&) { TextToLines(*A->Data(), Cp932("取得時効")); };
    Nodes.SelectEntry(Entries.at("Reply"));
    EXPECT_EQ(Find("payment", ""), "");
    EXPECT_EQ(Find("取得時効", ""), "Claim one");

    // A body replaced by other means is reported.
    TextToLines(*Entries.at("Reply")->Data(), Cp932("replaced"));
    Index.EntryBodyChanged(Entries.at("Reply"));
    EXPECT_EQ(Find("REPLACED", ""), "Reply");
}

TEST(FindIndexBuild, InterruptedFirstBuildSurvivesEditsAndMatchesEveryEntry) {
    TOwningOutline Nodes;
    std::vector<TTreeNode*> Path;
    for (int K = 0; K < 3000; ++K) {
        const std::size_t Depth = Path.empty() ? 0 : static_cast<std::size_t>(K * 7 % 5) % (Path.size() + 1);
        Path.resize(Depth);
        auto* Body = new TStringList;
        Body->Add("body " + std::to_string(K));
        Path.push_back(Nodes.AppendChild(Depth == 0 ? nullptr : Path.back(), "entry " + std::to_string(K) + ".", Body));
    }
    TFindIndex Index(Nodes);
    EXPECT_FALSE(Index.BuildFor(std::chrono::microseconds(0)));
    EXPECT_FALSE(Index.Complete());
    // Edits between slices of the first build.
    Nodes.DeleteEntry(Nodes.EntryAtIndex(10));
    Nodes.MoveEntry(Nodes.EntryAtIndex(2000), nullptr, epFirst);
    Nodes.SetEntryTitle(Nodes.EntryAtIndex(2500), "renamed entry.");
    EXPECT_FALSE(Index.BuildFor(std::chrono::microseconds(0)));
    Nodes.AppendChild(nullptr, "appended.", new TStringList);
    while (!Index.BuildFor(std::chrono::microseconds(200))) {
    }
    EXPECT_TRUE(Index.Complete());
    EXPECT_EQ(Index.EntryCount(), static_cast<std::size_t>(Nodes.EntryCount()));

    // Edits after the first build update the pre-order list in place.
    Nodes.AppendChild(Nodes.EntryAtIndex(100), "child of 100.", new TStringList);
    Nodes.AppendSibling(Nodes.EntryAtIndex(5), "sibling of 5.", new TStringList);
    Nodes.DeleteEntry(Nodes.EntryAtIndex(50));
    Nodes.MoveEntry(Nodes.EntryAtIndex(2000), Nodes.EntryAtIndex(3), epBefore);
    Nodes.MoveEntry(Nodes.EntryAtIndex(40), Nodes.EntryAtIndex(2990), epLastChild);
    Nodes.MoveEntry(Nodes.EntryAtIndex(Nodes.EntryCount() - 1), nullptr, epFirst);
    Nodes.SetEntryTitle(Nodes.EntryAtIndex(1000), "retitled.");
    Nodes.AppendChild(nullptr, "last.", new TStringList);
    EXPECT_EQ(Index.EntryCount(), static_cast<std::size_t>(Nodes.EntryCount()));
    // Every title holds a '.': the next and previous match of "." are the neighbours.
    TTreeNode* First = Nodes.GetFirstNode();
    TTreeNode* Last = Nodes.EntryAtIndex(Nodes.EntryCount() - 1);
    for (TTreeNode* N = First; N; N = N->GetNext()) {
        ASSERT_EQ(Index.Find(".", N, fdNext), N->GetNext() ? N->GetNext() : First) << N->Text();
        ASSERT_EQ(Index.Find(".", N, fdPrevious), N->GetPrev() ? N->GetPrev() : Last) << N->Text();
    }

    std::size_t Bytes = 0;
    for (const TTreeNode* N = Nodes.GetFirstNode(); N; N = N->GetNext()) {
        const std::string Title = N->Text();
        // Every title ends in '.', so each names exactly one entry.
        EXPECT_EQ(Index.Find(Title, nullptr, fdNext), N) << Title;
        Bytes += TFindIndex::FoldEntry(N).size();
    }
    EXPECT_EQ(Index.TextBytes(), Bytes);
}

} // namespace
