// SPDX-License-Identifier: Apache-2.0
// The message path under threads and nesting: a handler replaced while it
// runs, handlers swapped from other threads, scoped handlers in several
// threads, a handler whose own calls fail, and whole lines from the default
// handler. CI runs the MessageThreadTest and RegistryThreadTest cases under
// ThreadSanitizer as well.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <latch>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "varnel/core/component.h"
#include "varnel/core/messages.h"
#include "varnel/design/editor.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// Standard error sent to a temporary file for the lifetime of the object.
class TStandardErrorCapture {
 public:
  TStandardErrorCapture() {
    char Name[] = "/tmp/varnel-stderr-XXXXXX";
    const int Fd = ::mkstemp(Name);
    FPath = Name;
    std::fflush(stderr);
    FSaved = ::dup(STDERR_FILENO);
    ::dup2(Fd, STDERR_FILENO);
    ::close(Fd);
  }
  ~TStandardErrorCapture() {
    Restore();
    std::remove(FPath.c_str());
  }
  TStandardErrorCapture(const TStandardErrorCapture&) = delete;
  TStandardErrorCapture& operator=(const TStandardErrorCapture&) = delete;

  // Restores standard error and returns what was written, line by line.
  std::vector<std::string> Lines() {
    Restore();
    std::ifstream In(FPath);
    std::vector<std::string> Result;
    for (std::string Line; std::getline(In, Line);) Result.push_back(Line);
    return Result;
  }

 private:
  void Restore() {
    if (FSaved < 0) return;
    std::fflush(stderr);
    ::dup2(FSaved, STDERR_FILENO);
    ::close(FSaved);
    FSaved = -1;
  }
  std::string FPath;
  int FSaved = -1;
};

// One operation that fails and shows "Error occurred in  GetMean".
void FailOnce(TKorlen& Korlen) {
  const double Bad[3] = {1, NAN, 2};
  Korlen.GetMean(Bad, 3);
}

constexpr const char* kMeanMessage = "Error occurred in  GetMean";

TEST(MessageThreadTest, AHandlerReplacedWhileItRunsLivesUntilItReturns) {
  auto Korlen = std::make_unique<TKorlen>();
  std::vector<std::string> Later;
  auto Payload = std::make_shared<std::vector<int>>(1000, 7);
  TMessageHandler Previous;
  SetMessageHandler([&, Payload](const TMessage&) {
    // Replacing the running handler destroys the process's copy of it; this
    // call's copy, with its payload, must survive to the end of the call.
    Previous = SetMessageHandler([&](const TMessage& M) { Later.push_back(M.Text); });
    Payload->at(999) += 1;
  });
  Payload.reset();
  FailOnce(*Korlen);
  FailOnce(*Korlen);
  SetMessageHandler(nullptr);
  EXPECT_EQ(Later, std::vector<std::string>{kMeanMessage});
}

TEST(MessageThreadTest, HandlersSwappedFromAnotherThreadLoseNoMessage) {
  constexpr int Threads = 8, Operations = 1000;
  std::atomic<int> Delivered{0};
  std::atomic<bool> Done{false};
  const auto Counting = [&Delivered](int Round) {
    auto Count = std::make_shared<int>(Round);  // a payload that dies with each handler
    return [&Delivered, Count](const TMessage& M) {
      if (M.Text == kMeanMessage && *Count >= 0) Delivered.fetch_add(1);
    };
  };
  SetMessageHandler(Counting(0));
  std::thread Swapper([&] {
    for (int Round = 1; !Done.load(); ++Round) SetMessageHandler(Counting(Round));
  });
  std::vector<std::thread> Workers;
  for (int t = 0; t < Threads; ++t) {
    Workers.emplace_back([] {
      auto Korlen = std::make_unique<TKorlen>();
      for (int i = 0; i < Operations; ++i) FailOnce(*Korlen);
    });
  }
  for (auto& W : Workers) W.join();
  Done = true;
  Swapper.join();
  SetMessageHandler(nullptr);
  EXPECT_EQ(Delivered.load(), Threads * Operations);
}

TEST(MessageThreadTest, ScopedHandlersBelongToTheThreadThatMadeThem) {
  std::vector<std::string> ProcessWide;
  SetMessageHandler([&](const TMessage& M) { ProcessWide.push_back(M.Text); });
  // A installs, B installs, A ends, B ends: the order that used to leave a
  // dead thread's handler installed for everyone.
  std::latch AInstalled(1), BInstalled(1), AEnded(1);
  std::vector<std::string> SeenByA, SeenByB;
  std::thread A([&] {
    auto Korlen = std::make_unique<TKorlen>();
    {
      TScopedMessageHandler Scope([&](const TMessage& M) { SeenByA.push_back("A " + M.Text); });
      AInstalled.count_down();
      BInstalled.wait();
      FailOnce(*Korlen);
    }
    AEnded.count_down();
  });
  std::thread B([&] {
    auto Korlen = std::make_unique<TKorlen>();
    AInstalled.wait();
    TScopedMessageHandler Scope([&](const TMessage& M) { SeenByB.push_back("B " + M.Text); });
    BInstalled.count_down();
    AEnded.wait();
    FailOnce(*Korlen);
  });
  A.join();
  B.join();
  auto Korlen = std::make_unique<TKorlen>();
  FailOnce(*Korlen);
  SetMessageHandler(nullptr);
  EXPECT_EQ(SeenByA, std::vector<std::string>{std::string("A ") + kMeanMessage});
  EXPECT_EQ(SeenByB, std::vector<std::string>{std::string("B ") + kMeanMessage});
  EXPECT_EQ(ProcessWide, std::vector<std::string>{kMeanMessage});
}

TEST(MessageThreadTest, AMessageRaisedInsideAHandlerGoesToStandardError) {
  auto Korlen = std::make_unique<TKorlen>();
  int Calls = 0;
  TStandardErrorCapture Capture;
  {
    TScopedMessageHandler Scope([&](const TMessage&) {
      ++Calls;
      FailOnce(*Korlen);  // the handler's own call fails: no recursion
    });
    FailOnce(*Korlen);
  }
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(Capture.Lines(), std::vector<std::string>{kMeanMessage});
}

TEST(MessageThreadTest, TheDefaultHandlerWritesWholeLines) {
  constexpr int Threads = 8, Messages = 2000;
  TStandardErrorCapture Capture;
  std::vector<std::thread> Workers;
  for (int t = 0; t < Threads; ++t) {
    Workers.emplace_back([t] {
      for (int i = 0; i < Messages; ++i) ShowMessage("thread " + std::to_string(t) + " message " + std::to_string(i));
    });
  }
  for (auto& W : Workers) W.join();
  const std::vector<std::string> Lines = Capture.Lines();
  ASSERT_EQ(Lines.size(), std::size_t(Threads * Messages));
  std::set<std::string> Distinct(Lines.begin(), Lines.end());
  EXPECT_EQ(Distinct.size(), Lines.size());
  for (const std::string& Line : Lines) EXPECT_EQ(Line.rfind("thread ", 0), 0u) << Line;
}

TEST(RegistryThreadTest, RegisteringWhileOtherThreadsLookUp) {
  Register();
  std::atomic<bool> Done{false};
  std::atomic<int> Found{0};
  std::thread Writer([&] {
    for (int i = 0; i < 500; ++i) {
      const std::string Name = "TProbe" + std::to_string(i);
      RegisterComponentClass(Name, [] { return std::make_unique<TKorlen>(); });
      RegisterComponents("Probes", {Name});
      RegisterComponentEditor(Name, [](TComponent* C) { return std::make_unique<TSampleEditor>(C); });
    }
    Done = true;
  });
  std::vector<std::thread> Readers;
  for (int t = 0; t < 3; ++t) {
    Readers.emplace_back([&] {
      auto Korlen = std::make_unique<TKorlen>();
      for (int i = 0; i < 200 || !Done.load(); ++i) {
        Found += IsComponentClassRegistered("TKorlen");
        Found += !PaletteClasses("Probes").empty() || !PalettePages().empty();
        Found += ComponentEditorOf(Korlen.get()) != nullptr;
        Found += CreateComponentByClassName("TProbe0") != nullptr;
      }
    });
  }
  Writer.join();
  for (auto& R : Readers) R.join();
  EXPECT_EQ(PaletteClasses("Probes").size(), 500u);
  EXPECT_TRUE(IsComponentClassRegistered("TProbe499"));
  EXPECT_GT(Found.load(), 0);
}

}  // namespace
}  // namespace varnel
