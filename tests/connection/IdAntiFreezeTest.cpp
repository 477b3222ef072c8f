#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "connection/IdAntiFreeze.h"
#include "failures/Exceptions.h"

namespace vxt {
namespace {

// The test program's tests run on its main thread, so a registered, active component is in
// use here.
class IdAntiFreezeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TIdAntiFreeze::Instance(), nullptr) << "a component leaked from another test";
  }
  void Install(TIdAntiFreeze& component) {
    component.SetMessagePump([this](bool all_pending) { pumps_.push_back(all_pending); });
  }
  std::vector<bool> pumps_;
};

TEST_F(IdAntiFreezeTest, HasTheDefaultSettings) {
  TIdAntiFreeze component;
  EXPECT_TRUE(component.Active());
  EXPECT_TRUE(component.ApplicationHasPriority());
  EXPECT_EQ(component.IdleTimeOut(), 250);
  EXPECT_TRUE(component.OnlyWhenIdle());
  EXPECT_EQ(TIdAntiFreeze::CurrentIdleTimeOut(), 250);
}

TEST_F(IdAntiFreezeTest, OnlyOneCanExistAndDestroyingItFreesTheRegistration) {
  {
    TIdAntiFreeze first;
    EXPECT_EQ(TIdAntiFreeze::Instance(), &first);
    try {
      TIdAntiFreeze second;
      FAIL() << "a second component was created";
    } catch (const EIdException& e) {
      EXPECT_STREQ(e.ClassName(), "EIdException");
      EXPECT_EQ(e.Message(), "Only one TIdAntiFreeze can exist per application.");
    }
    // The failed second one did not take the registration away.
    EXPECT_EQ(TIdAntiFreeze::Instance(), &first);
    EXPECT_TRUE(TIdAntiFreeze::InUse());
  }
  EXPECT_EQ(TIdAntiFreeze::Instance(), nullptr);
  EXPECT_FALSE(TIdAntiFreeze::InUse());
  TIdAntiFreeze again;
  EXPECT_EQ(TIdAntiFreeze::Instance(), &again);
}

TEST_F(IdAntiFreezeTest, PumpsOnlyWhenInUseAndIdleOrNotOnlyWhenIdle) {
  TIdAntiFreeze::DoProcess(true);  // nothing registered: nothing happens
  TIdAntiFreeze component;
  Install(component);
  TIdAntiFreeze::DoProcess(true);
  TIdAntiFreeze::DoProcess(false);  // OnlyWhenIdle: a busy step does nothing
  EXPECT_EQ(pumps_, (std::vector<bool>{true}));

  component.SetOnlyWhenIdle(false);
  component.SetApplicationHasPriority(false);  // at most one message per step
  TIdAntiFreeze::DoProcess(false);
  TIdAntiFreeze::DoProcess(true);
  EXPECT_EQ(pumps_, (std::vector<bool>{true, false, false}));

  component.SetActive(false);
  EXPECT_FALSE(TIdAntiFreeze::InUse());
  TIdAntiFreeze::DoProcess(true);
  TIdAntiFreeze::DoProcess(false);
  EXPECT_EQ(pumps_.size(), 3u);
}

TEST_F(IdAntiFreezeTest, IsNeverInUseOnAnotherThread) {
  TIdAntiFreeze component;
  component.SetOnlyWhenIdle(false);
  Install(component);
  bool in_use_there = true;
  std::thread other([&] {
    in_use_there = TIdAntiFreeze::InUse();
    TIdAntiFreeze::DoProcess(true);
    TIdAntiFreeze::DoProcess(false);
  });
  other.join();
  EXPECT_FALSE(in_use_there);
  EXPECT_TRUE(pumps_.empty());
  EXPECT_TRUE(TIdAntiFreeze::InUse());
}

TEST_F(IdAntiFreezeTest, APumpWithoutAnInstalledPumpDoesNothing) {
  TIdAntiFreeze component;
  EXPECT_NO_THROW(TIdAntiFreeze::DoProcess(true));
}

}  // namespace
}  // namespace vxt
