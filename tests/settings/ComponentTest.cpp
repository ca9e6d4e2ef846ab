#include "Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TTracedComponent : public TComponent {
public:
    TTracedComponent(TComponent* AOwner, std::string Label, std::vector<std::string>& Trace)
        : TComponent(AOwner), FLabel(std::move(Label)), FTrace(Trace) {}
    ~TTracedComponent() override { FTrace.push_back(FLabel); }

private:
    std::string FLabel;
    std::vector<std::string>& FTrace;
};

TEST(Component, OwnerReleasesWhatItOwnsLastFirst) {
    std::vector<std::string> Trace;
    auto* Form = new TTracedComponent(nullptr, "form", Trace);
    auto* First = new TTracedComponent(Form, "first", Trace);
    new TTracedComponent(Form, "second", Trace);
    new TTracedComponent(First, "grandchild", Trace);
    ASSERT_EQ(Form->ComponentCount(), 2u);
    EXPECT_EQ(Form->Components(0), First);
    EXPECT_EQ(First->Owner(), Form);
    delete Form;
    // Each component's own destructor runs before it releases what it owns.
    EXPECT_EQ(Trace, (std::vector<std::string>{"form", "second", "first", "grandchild"}));
}

TEST(Component, ComponentReleasedEarlyLeavesItsOwner) {
    std::vector<std::string> Trace;
    auto* Form = new TTracedComponent(nullptr, "form", Trace);
    new TTracedComponent(Form, "a", Trace);
    auto* Middle = new TTracedComponent(Form, "b", Trace);
    new TTracedComponent(Form, "c", Trace);
    delete Middle;
    ASSERT_EQ(Form->ComponentCount(), 2u);
    delete Form;
    // Released once each: "b" is not released again by the owner.
    EXPECT_EQ(Trace, (std::vector<std::string>{"b", "form", "c", "a"}));
}

TEST(Component, StartsOutsideAnyDesigner) {
    TComponent Root(nullptr);
    EXPECT_FALSE(Root.Designing());
    EXPECT_EQ(Root.Owner(), nullptr);
    EXPECT_EQ(Root.ComponentCount(), 0u);
}

} // namespace
