// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/message_recorder.h"

#include <algorithm>

namespace varnel::testing {

TMessageRecorder::TMessageRecorder()
    : FScope([this](const TMessage& Message) { FMessages.push_back(Message); }) {}

std::vector<std::string> TMessageRecorder::Texts() const {
  std::vector<std::string> Result;
  for (const TMessage& Message : FMessages) Result.push_back(Message.Text);
  return Result;
}

int TMessageRecorder::Count(const std::string& Text) const {
  return static_cast<int>(std::count_if(FMessages.begin(), FMessages.end(),
                                        [&](const TMessage& Message) { return Message.Text == Text; }));
}

}  // namespace varnel::testing
