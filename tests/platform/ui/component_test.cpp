// Components: ownership, names, free notification and the loading bracket.
#include <gtest/gtest.h>

#include "platform/ui/component.h"

namespace {

struct TTracked : TComponent {
  TTracked(TComponent* Owner, std::vector<std::string>* Log, std::string Id)
      : TComponent(Owner), FLog(Log), FId(std::move(Id)) {}
  ~TTracked() override { FLog->push_back("free " + FId); }
  void Notification(TComponent* C, TOperation Op) override {
    TComponent::Notification(C, Op);
    if (Op == opRemove) FLog->push_back(FId + " hears " + C->Name() + " go");
  }
  void Loaded() override {
    TComponent::Loaded();
    FLog->push_back("loaded " + FId);
  }
  std::vector<std::string>* FLog;
  std::string FId;
};

TEST(Component, OwnerFreesWhatItOwnsLastFirstAndSiblingsHearOfAFreedOne) {
  std::vector<std::string> log;
  {
    TTracked owner(nullptr, &log, "owner");
    auto* a = new TTracked(&owner, &log, "a");
    a->SetName("A");
    auto* b = new TTracked(&owner, &log, "b");
    b->SetName("B");
    auto* c = new TTracked(&owner, &log, "c");
    c->SetName("C");
    EXPECT_EQ(owner.ComponentCount(), 3);
    EXPECT_EQ(owner.FindComponent("a"), a);  // names compare without case
    EXPECT_EQ(owner.FindComponent("zz"), nullptr);
    EXPECT_EQ(c->ComponentIndex(), 2);
    EXPECT_THROW(b->SetName("A"), EComponentError);
    // Freeing one while the owner lives: the owner and the siblings hear of it.
    delete b;
    EXPECT_EQ(log, (std::vector<std::string>{"free b", "a hears B go", "c hears B go", "owner hears B go"}));
    EXPECT_EQ(owner.ComponentCount(), 2);
    log.clear();
  }
  EXPECT_EQ(log, (std::vector<std::string>{"free owner", "free c", "free a"}));
}

TEST(Component, FreeNotificationReachesComponentsOfOtherOwners) {
  std::vector<std::string> log;
  TTracked watcher(nullptr, &log, "watcher");
  auto* other = std::make_unique<TTracked>(nullptr, &log, "other").release();
  other->SetName("Other");
  other->FreeNotification(&watcher);
  delete other;
  EXPECT_EQ(log, (std::vector<std::string>{"free other", "watcher hears Other go"}));
  // Removing the request before the end silences it.
  log.clear();
  auto* again = new TTracked(nullptr, &log, "again");
  again->FreeNotification(&watcher);
  again->RemoveFreeNotification(&watcher);
  delete again;
  EXPECT_EQ(log, (std::vector<std::string>{"free again"}));
}

TEST(Component, LoaderKeepsLoadingStateUntilTheEndThenCallsLoadedInOrder) {
  std::vector<std::string> log;
  TTracked form(nullptr, &log, "form");
  bool loadingSeen = false;
  {
    TComponentLoader l;
    l.Add(&form);
    auto* c = l.Add(new TTracked(&form, &log, "c"));
    loadingSeen = c->ComponentState().Contains(csLoading);
    EXPECT_TRUE(log.empty());
  }
  EXPECT_TRUE(loadingSeen);
  EXPECT_EQ(log, (std::vector<std::string>{"loaded form", "loaded c"}));
  EXPECT_FALSE(form.ComponentState().Contains(csLoading));
}

}  // namespace
