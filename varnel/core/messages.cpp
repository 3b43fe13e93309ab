// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/messages.h"

#include <sys/uio.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <optional>
#include <utility>

namespace varnel {
namespace detail {

// A handler with a message of its own whose text has room for any
// message of the library, made when the handler is installed: when there
// is no memory to build a message, the text is copied into that room
// (which allocates nothing) and the handler still hears of it.
struct THandlerSlot {
  static constexpr std::size_t kSpareBytes = 1024;
  explicit THandlerSlot(TMessageHandler Given) : Handler(std::move(Given)) { Spare.Text.reserve(kSpareBytes); }
  TMessageHandler Handler;
  std::mutex SpareLock;
  TMessage Spare{{}, TMsgDlgType::mtCustom};
};

}  // namespace detail
namespace {

using detail::THandlerSlot;
using THandlerPtr = std::shared_ptr<THandlerSlot>;

// The text and its line end in one write(2), so that lines from several
// threads never interleave; nothing is allocated. A failed write has
// nowhere left to be reported.
void WriteLine(std::string_view Text) {
  char LineEnd = '\n';
  iovec Parts[2] = {{const_cast<char*>(Text.data()), Text.size()}, {&LineEnd, 1}};
  [[maybe_unused]] const ssize_t Written = ::writev(STDERR_FILENO, Parts, 2);
}

void WriteToStandardError(const TMessage& Message) { WriteLine(Message.Text); }

// The process-wide handler; empty means the default. Copied under the lock,
// called outside it, so that replacing it never waits for a message and
// never destroys a handler that is running.
struct TProcessHandler {
  std::mutex Lock;
  THandlerPtr Handler;
};

TProcessHandler& Process() {
  static TProcessHandler Shared;
  return Shared;
}

thread_local THandlerPtr ThreadHandler;  // the innermost TScopedMessageHandler of this thread
thread_local int HandlersRunning = 0;    // handlers of this thread now running

THandlerPtr CurrentHandler() {
  if (ThreadHandler) return ThreadHandler;
  TProcessHandler& P = Process();
  const std::lock_guard<std::mutex> Hold(P.Lock);
  return P.Handler;
}

struct TRunning {
  TRunning() { ++HandlersRunning; }
  ~TRunning() { --HandlersRunning; }
  TRunning(const TRunning&) = delete;
  TRunning& operator=(const TRunning&) = delete;
};

THandlerPtr Shared(TMessageHandler Handler) {
  if (!Handler) Handler = WriteToStandardError;
  return std::make_shared<THandlerSlot>(std::move(Handler));
}

// The message in the slot's own room, cut to it; false when another
// thread's message holds the room, and the text goes to standard error.
bool ShowInSpare(THandlerSlot& Slot, std::string_view Text, TMsgDlgType Type) {
  const std::unique_lock<std::mutex> Hold(Slot.SpareLock, std::try_to_lock);
  if (!Hold.owns_lock()) return false;
  Slot.Spare.Text.assign(Text.substr(0, Slot.Spare.Text.capacity()));
  Slot.Spare.Type = Type;
  Slot.Handler(Slot.Spare);
  return true;
}

}  // namespace

void ShowMessageText(std::string_view Text, TMsgDlgType Type) {
  const THandlerPtr Handler = HandlersRunning > 0 ? nullptr : CurrentHandler();
  if (!Handler) {
    WriteLine(Text);
    return;
  }
  const TRunning Running;
  std::optional<TMessage> Message;
  try {
    Message.emplace(TMessage{std::string(Text), Type});
  } catch (const std::bad_alloc&) {
  }
  try {
    if (Message) {
      Handler->Handler(*Message);
    } else if (!ShowInSpare(*Handler, Text, Type)) {
      WriteLine(Text);
    }
  } catch (const std::bad_alloc&) {
    // No memory inside the handler: the text still reaches standard error.
    WriteLine(Text);
  }
}

TMessageHandler SetMessageHandler(TMessageHandler Handler) {
  THandlerPtr Next = Handler ? Shared(std::move(Handler)) : nullptr;
  THandlerPtr Previous;
  {
    TProcessHandler& P = Process();
    const std::lock_guard<std::mutex> Hold(P.Lock);
    Previous = std::exchange(P.Handler, std::move(Next));
  }
  if (!Previous) return WriteToStandardError;
  return Previous->Handler;
}

TScopedMessageHandler::TScopedMessageHandler(TMessageHandler Handler)
    : FPrevious(std::exchange(ThreadHandler, Shared(std::move(Handler)))) {}

TScopedMessageHandler::~TScopedMessageHandler() { ThreadHandler = std::move(FPrevious); }

void ShowMessage(const std::string& Text) { ShowMessageText(Text, TMsgDlgType::mtCustom); }

void ShowMessage(const char* Text) { ShowMessageText(Text, TMsgDlgType::mtCustom); }

int MessageDlg(const std::string& Text, TMsgDlgType DlgType, TMsgDlgButtons /*Buttons*/,
               int /*HelpCtx*/) {
  ShowMessageText(Text, DlgType);
  return mrOk;
}

}  // namespace varnel
