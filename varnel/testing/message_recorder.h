// SPDX-License-Identifier: Apache-2.0
// Records every message the library shows while the recorder lives.
#pragma once

#include <string>
#include <vector>

#include "varnel/core/messages.h"

namespace varnel::testing {

class TMessageRecorder {
 public:
  TMessageRecorder();
  const std::vector<TMessage>& Messages() const { return FMessages; }
  std::vector<std::string> Texts() const;
  // How many messages had exactly this text.
  int Count(const std::string& Text) const;
  void Clear() { FMessages.clear(); }

 private:
  std::vector<TMessage> FMessages;
  TScopedMessageHandler FScope;
};

}  // namespace varnel::testing
