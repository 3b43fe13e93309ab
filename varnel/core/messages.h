// SPDX-License-Identifier: Apache-2.0
/// \file
/// Message boxes. Every text the library shows goes through a handler: the
/// calling thread's scoped one if it has one, else the process-wide one; the
/// default writes the text and its line end to standard error in one write,
/// an application with a user interface installs a handler that shows a
/// modal box. A message raised while a handler of the same thread is running
/// goes to standard error, so a handler whose own calls fail cannot recurse.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "varnel/export.h"

namespace varnel {

/// The kind of a message box.
enum class TMsgDlgType {
  mtWarning,       ///< a warning
  mtError,         ///< an error
  mtInformation,   ///< information
  mtConfirmation,  ///< a question to confirm
  mtCustom         ///< a plain box: every message of the library's operations
};

/// The buttons of a message box, as flags.
enum TMsgDlgBtn : unsigned {
  mbYes = 1,    ///< Yes
  mbNo = 2,     ///< No
  mbOK = 4,     ///< OK
  mbCancel = 8  ///< Cancel
};
using TMsgDlgButtons = unsigned;  ///< a set of TMsgDlgBtn flags

/// The result of a box closed with OK: what MessageDlg returns.
inline constexpr int mrOk = 1;

/// A message as a handler receives it.
struct TMessage {
  std::string Text;  ///< Windows-1252
  TMsgDlgType Type;  ///< the kind of box
};

/// Shows a message; called on the thread that raised it. An empty handler
/// stands for the default, which writes the text to standard error.
using TMessageHandler = std::function<void(const TMessage&)>;

/// Installs Handler as the process-wide handler (an empty one restores the
/// default) and returns the handler it replaces. Safe from any thread and from
/// inside a handler: a message being shown keeps the handler it started with
/// until that handler returns.
VARNEL_API TMessageHandler SetMessageHandler(TMessageHandler Handler);

/// A plain box with one OK button: a message of type mtCustom.
VARNEL_API void ShowMessage(const std::string& Text);
/// The same for the library's own fixed texts: allocates nothing that can
/// fail before the handler's call.
VARNEL_API void ShowMessage(const char* Text);

/// A box of the given type; returns when the handler returns, with mrOk.
VARNEL_API int MessageDlg(const std::string& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

/// Shows Text without needing memory on the way to the handler's call: when
/// the message itself cannot be built for want of memory, the handler is
/// given one made with room kept for it when the handler was installed (the
/// text cut to 1,024 bytes); only when a handler of another thread holds
/// that room, or the handler itself runs out of memory, does the text go to
/// standard error. What the guard uses.
VARNEL_API void ShowMessageText(std::string_view Text, TMsgDlgType Type);

// The slot the scoped handler keeps the previous one in; internal.
namespace detail {
struct THandlerSlot;  // a handler with the room for a message it is given when memory runs out
}

/// Replaces the handler for the lifetime of the object, in the calling
/// thread only: messages raised by this thread go to Handler, other threads
/// keep theirs, and the destructor restores what this thread saw before.
/// Scopes nest; a thread's scoped handler takes precedence over the
/// process-wide one. Create and destroy it in the same thread.
class VARNEL_API TScopedMessageHandler {
 public:
  /// Makes Handler this thread's handler, with room for one message kept
  /// for it; an empty Handler gives this thread the default.
  explicit TScopedMessageHandler(TMessageHandler Handler);
  /// Restores the handler this thread had before.
  ~TScopedMessageHandler();
  TScopedMessageHandler(const TScopedMessageHandler&) = delete;  ///< not copyable
  TScopedMessageHandler& operator=(const TScopedMessageHandler&) = delete;  ///< not copyable

 private:
  std::shared_ptr<detail::THandlerSlot> FPrevious;
};

}  // namespace varnel
