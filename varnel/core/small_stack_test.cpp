// SPDX-License-Identifier: Apache-2.0
// Every public operation in a thread with a 64 KiB stack: an application may
// call the component from worker threads with small stacks, so no operation
// may keep large scratch on the stack. Each operation runs in a child
// process, so that an overflow names the operation that caused it.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/every_operation.h"

namespace varnel {
namespace {

using testing::EveryOperation;
using testing::TInputs;
using testing::TOperation;

// AddressSanitizer's redzones make every frame several times larger; the
// limit that matters is the one of the plain build.
#ifdef __SANITIZE_ADDRESS__
constexpr std::size_t kStack = 4 * 64 * 1024;
#else
constexpr std::size_t kStack = 64 * 1024;
#endif


// Runs Work in a thread whose whole stack is kStack bytes.
void OnSmallStack(const std::function<void()>& Work) {
  pthread_attr_t Attributes;
  pthread_attr_init(&Attributes);
  pthread_attr_setstacksize(&Attributes, kStack);
  pthread_t Thread;
  const auto Start = [](void* Argument) -> void* {
    (*static_cast<const std::function<void()>*>(Argument))();
    return nullptr;
  };
  if (pthread_create(&Thread, &Attributes, Start, const_cast<std::function<void()>*>(&Work)) != 0) std::abort();
  pthread_join(Thread, nullptr);
  pthread_attr_destroy(&Attributes);
}

class SmallStackTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SmallStackTest, RunsInA64KiBThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const TOperation& Operation = EveryOperation()[GetParam()];
  EXPECT_EXIT(
      {
        TInputs Inputs;
        OnSmallStack([&] {
          try {
            Operation.second(Inputs);
          } catch (const std::exception&) {
            // A fault an unguarded operation passes on is not the point here.
          }
        });
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "")
      << Operation.first;
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, SmallStackTest, ::testing::Range<std::size_t>(0, EveryOperation().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& Info) {
                           return std::string(EveryOperation()[Info.param].first);
                         });

}  // namespace
}  // namespace varnel
