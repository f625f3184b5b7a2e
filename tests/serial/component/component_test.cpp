// The component model: owners free what they own, an early free leaves the owner, and the
// loading and destroying flags are seen where they matter.
#include "serial/component/component.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Records its own destruction, and whether its owner was already marked destroying then.
class Probe : public TComponent {
  public:
    Probe(TComponent* owner, std::vector<std::string>* log, std::string name)
        : TComponent(owner), log_(log) {
        SetName(name);
    }
    ~Probe() override {
        std::string entry = Name();
        if (Owner() && Owner()->ComponentState().Contains(TComponentStateFlag::csDestroying))
            entry += " (owner destroying)";
        log_->push_back(entry);
    }

  private:
    std::vector<std::string>* log_;
};

TEST(TComponent, OwnerFreesWhatItOwnsLastCreatedFirst) {
    std::vector<std::string> log;
    {
        TComponent form(nullptr);
        new Probe(&form, &log, "a");
        auto* b = new Probe(&form, &log, "b");
        new Probe(b, &log, "b.child");
        ASSERT_EQ(form.ComponentCount(), 2u);
        EXPECT_EQ(form.Components(1), b);
        EXPECT_EQ(b->Owner(), &form);
    }
    // b's own destructor body runs before the base part frees b's children.
    EXPECT_EQ(log, (std::vector<std::string>{"b (owner destroying)", "b.child (owner destroying)",
                                             "a (owner destroying)"}));
}

TEST(TComponent, AComponentFreedEarlyLeavesItsOwner) {
    std::vector<std::string> log;
    {
        TComponent form(nullptr);
        new Probe(&form, &log, "a");
        auto* b = new Probe(&form, &log, "b");
        new Probe(&form, &log, "c");
        delete b;
        ASSERT_EQ(form.ComponentCount(), 2u);
        EXPECT_EQ(form.Components(0)->Name(), "a");
        EXPECT_EQ(form.Components(1)->Name(), "c");
    }
    // b is not freed a second time.
    EXPECT_EQ(log, (std::vector<std::string>{"b", "c (owner destroying)", "a (owner destroying)"}));
}

class Deferring : public TComponent {
  public:
    using TComponent::TComponent;
    void Loaded() override {
        TComponent::Loaded();
        loadingSeenInLoaded =
            ComponentState().Contains(TComponentStateFlag::csLoading);  // base cleared it first
        applied = true;
    }
    bool loadingSeenInLoaded = true;
    bool applied = false;
};

TEST(TComponent, LoadingLastsUntilLoaded) {
    Deferring c(nullptr);
    EXPECT_TRUE(c.ComponentState().Empty());
    c.BeginLoading();
    EXPECT_TRUE(c.ComponentState().Contains(TComponentStateFlag::csLoading));
    c.Loaded();
    EXPECT_TRUE(c.applied);
    EXPECT_FALSE(c.loadingSeenInLoaded);
    EXPECT_FALSE(c.ComponentState().Contains(TComponentStateFlag::csLoading));
}

TEST(TComponent, NameTagAndDesigning) {
    TComponent c(nullptr);
    c.SetName("SioComPort1");
    c.SetTag(-7);
    c.SetDesigning(true);
    EXPECT_EQ(c.Name(), "SioComPort1");
    EXPECT_EQ(c.Tag(), -7);
    EXPECT_EQ(c.ComponentState(), TComponentState{TComponentStateFlag::csDesigning});
    c.SetDesigning(false);
    EXPECT_TRUE(c.ComponentState().Empty());
}

enum class Colour { cRed, cGreen, cBlue };

TEST(SmallSet, HoldsMembersAndCombines) {
    SmallSet<Colour> s{Colour::cRed, Colour::cBlue};
    EXPECT_TRUE(s.Contains(Colour::cRed));
    EXPECT_FALSE(s.Contains(Colour::cGreen));
    s.Exclude(Colour::cRed).Include(Colour::cGreen);
    EXPECT_EQ(s, (SmallSet<Colour>{Colour::cGreen, Colour::cBlue}));
    EXPECT_EQ(s * SmallSet<Colour>{Colour::cBlue}, SmallSet<Colour>{Colour::cBlue});
    EXPECT_EQ(s - SmallSet<Colour>{Colour::cBlue}, SmallSet<Colour>{Colour::cGreen});
    EXPECT_EQ(s + SmallSet<Colour>{Colour::cRed},
              (SmallSet<Colour>{Colour::cRed, Colour::cGreen, Colour::cBlue}));
}

}  // namespace
