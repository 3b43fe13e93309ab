// SPDX-License-Identifier: Apache-2.0
// The one guard of the library's error convention: runs an operation's work,
// and on a fault (an arithmetic fault, an I/O or conversion failure, or an
// exhausted heap) shows the operation's message and reports failure. Whatever
// the work wrote before the fault keeps its value; the caller returns its
// neutral value or what it has filled so far.
#pragma once

#include <new>
#include <string_view>
#include <utility>

#include "varnel/core/faults.h"
#include "varnel/core/messages.h"

namespace varnel {

// Message is read when the fault arrives, so an operation that reports the
// stage it reached may change the view it passed. Showing it allocates
// nothing that can fail past the guard.
template <class Work>
bool Guard(const std::string_view& Message, Work&& work) {
  try {
    std::forward<Work>(work)();
    return true;
  } catch (const EVarnelError&) {
  } catch (const std::bad_alloc&) {
  }
  ShowMessageText(Message, TMsgDlgType::mtCustom);
  return false;
}

}  // namespace varnel
