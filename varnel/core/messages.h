// SPDX-License-Identifier: Apache-2.0
// Message boxes. Every text the library shows goes through a handler: the
// calling thread's scoped one if it has one, else the process-wide one; the
// default writes the text and its line end to standard error in one write,
// an application with a user interface installs a handler that shows a
// modal box. A message raised while a handler of the same thread is running
// goes to standard error, so a handler whose own calls fail cannot recurse.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "varnel/export.h"

namespace varnel {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgDlgButtons = unsigned;  // a set of TMsgDlgBtn flags

inline constexpr int mrOk = 1;

struct TMessage {
  std::string Text;  // Windows-1252
  TMsgDlgType Type;
};

using TMessageHandler = std::function<void(const TMessage&)>;

// Installs Handler as the process-wide handler (an empty one restores the
// default) and returns the handler it replaces. Safe from any thread and from
// inside a handler: a message being shown keeps the handler it started with
// until that handler returns.
VARNEL_API TMessageHandler SetMessageHandler(TMessageHandler Handler);

// A plain box with one OK button. The second form, for the library's own
// fixed texts, allocates nothing that can fail before the handler's call.
VARNEL_API void ShowMessage(const std::string& Text);
VARNEL_API void ShowMessage(const char* Text);

// A box of the given type; returns when the handler returns, with mrOk.
VARNEL_API int MessageDlg(const std::string& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

// Shows Text without needing memory on the way to the handler's call: when
// the message itself cannot be built for want of memory, the handler is
// given one made with room kept for it when the handler was installed (the
// text cut to 1,024 bytes); only when a handler of another thread holds
// that room, or the handler itself runs out of memory, does the text go to
// standard error. What the guard uses.
VARNEL_API void ShowMessageText(std::string_view Text, TMsgDlgType Type);

// Replaces the handler for the lifetime of the object, in the calling
// thread only: messages raised by this thread go to Handler, other threads
// keep theirs, and the destructor restores what this thread saw before.
// Scopes nest; a thread's scoped handler takes precedence over the
// process-wide one. Create and destroy it in the same thread.
namespace detail {
struct THandlerSlot;  // a handler with the room for a message it is given when memory runs out
}

class VARNEL_API TScopedMessageHandler {
 public:
  explicit TScopedMessageHandler(TMessageHandler Handler);
  ~TScopedMessageHandler();
  TScopedMessageHandler(const TScopedMessageHandler&) = delete;
  TScopedMessageHandler& operator=(const TScopedMessageHandler&) = delete;

 private:
  std::shared_ptr<detail::THandlerSlot> FPrevious;
};

}  // namespace varnel
