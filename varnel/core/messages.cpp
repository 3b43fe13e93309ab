#include "varnel/core/messages.h"

#include <cstdio>
#include <utility>

namespace varnel {
namespace {

void WriteToStandardError(const TMessage& Message) {
  std::fwrite(Message.Text.data(), 1, Message.Text.size(), stderr);
  std::fputc('\n', stderr);
}

TMessageHandler& CurrentHandler() {
  static TMessageHandler Handler = WriteToStandardError;
  return Handler;
}

void Show(const TMessage& Message) {
  const TMessageHandler& Handler = CurrentHandler();
  if (Handler) Handler(Message);
}

}  // namespace

TMessageHandler SetMessageHandler(TMessageHandler Handler) {
  if (!Handler) Handler = WriteToStandardError;
  return std::exchange(CurrentHandler(), std::move(Handler));
}

void ShowMessage(const std::string& Text) { Show({Text, TMsgDlgType::mtCustom}); }

int MessageDlg(const std::string& Text, TMsgDlgType DlgType, TMsgDlgButtons /*Buttons*/,
               int /*HelpCtx*/) {
  Show({Text, DlgType});
  return mrOk;
}

}  // namespace varnel
