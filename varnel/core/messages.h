// Message boxes. Every text the library shows goes through one process-wide
// handler; the default writes the text to standard error, an application with
// a user interface installs a handler that shows a modal box.
#pragma once

#include <functional>
#include <string>

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

// Installs Handler (an empty one restores the default) and returns the
// handler it replaces.
TMessageHandler SetMessageHandler(TMessageHandler Handler);

// A plain box with one OK button.
void ShowMessage(const std::string& Text);

// A box of the given type; returns when the handler returns, with mrOk.
int MessageDlg(const std::string& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

// Replaces the handler for the lifetime of the object.
class TScopedMessageHandler {
 public:
  explicit TScopedMessageHandler(TMessageHandler Handler)
      : FPrevious(SetMessageHandler(std::move(Handler))) {}
  ~TScopedMessageHandler() { SetMessageHandler(std::move(FPrevious)); }
  TScopedMessageHandler(const TScopedMessageHandler&) = delete;
  TScopedMessageHandler& operator=(const TScopedMessageHandler&) = delete;

 private:
  TMessageHandler FPrevious;
};

}  // namespace varnel
