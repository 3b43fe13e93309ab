// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/messages.h"

#include <sys/uio.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <utility>

namespace varnel {
namespace {

using THandlerPtr = std::shared_ptr<const TMessageHandler>;

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
  return std::make_shared<const TMessageHandler>(std::move(Handler));
}

}  // namespace

void ShowMessageText(std::string_view Text, TMsgDlgType Type) {
  const THandlerPtr Handler = HandlersRunning > 0 ? nullptr : CurrentHandler();
  if (!Handler) {
    WriteLine(Text);
    return;
  }
  const TRunning Running;
  try {
    (*Handler)(TMessage{std::string(Text), Type});
  } catch (const std::bad_alloc&) {
    // No memory for the message or inside the handler: the text still
    // reaches standard error.
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
  return *Previous;
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
