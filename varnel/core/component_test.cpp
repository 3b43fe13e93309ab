// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

// Counts its destructions so that owner-managed lifetime can be observed.
class TTracked : public TComponent {
 public:
  TTracked(TComponent* Owner, int& Destroyed) : TComponent(Owner), FDestroyed(Destroyed) {}
  ~TTracked() override { ++FDestroyed; }

 private:
  int& FDestroyed;
};

TEST(ComponentTest, OwnerDestroysWhatItOwnsAndEarlyDeathLeavesTheList) {
  int Destroyed = 0;
  {
    TComponent Owner;
    auto* First = new TTracked(&Owner, Destroyed);
    new TTracked(&Owner, Destroyed);
    EXPECT_EQ(Owner.ComponentCount(), 2);
    EXPECT_EQ(First->Owner(), &Owner);
    delete First;  // destroyed before its owner
    EXPECT_EQ(Destroyed, 1);
    EXPECT_EQ(Owner.ComponentCount(), 1);
  }
  EXPECT_EQ(Destroyed, 2);
}

TEST(ComponentTest, OwnedKorlenIsReleasedWithItsOwner) {
  TComponent Owner;
  TKorlen& Korlen = CreateOwned<TKorlen>(Owner);
  EXPECT_EQ(Korlen.Owner(), &Owner);
  EXPECT_NE(Korlen.PRegressData, nullptr);
  for (int i = 0; i < 200; ++i) TKorlen Temporary;  // LeakSanitizer watches these
}

TEST(ComponentTest, NewComponentHasDefaultProperties) {
  TKorlen Korlen;
  EXPECT_EQ(Korlen.AlphaLevel(), 95);
  EXPECT_TRUE(Korlen.ScanData());
  EXPECT_EQ(Korlen.MultStatRec.N, 0);
  EXPECT_EQ(Korlen.ClassName(), "TKorlen");
}

TEST(ComponentTest, SetAlphaAcceptsOnlyTheThreeLevels) {
  TMessageRecorder Messages;
  TKorlen Korlen;
  Korlen.SetAlpha(90);
  EXPECT_EQ(Korlen.AlphaLevel(), 90);
  Korlen.SetAlpha(80);
  Korlen.SetAlpha(0);
  EXPECT_EQ(Korlen.AlphaLevel(), 90);
  Korlen.SetAlpha(99);
  EXPECT_EQ(Korlen.AlphaLevel(), 99);
  Korlen.Alpha99Set();
  Korlen.Alpha95Set();
  EXPECT_EQ(Korlen.AlphaLevel(), 95);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST(ComponentTest, DesignTimeOperationsShowTheirBoxesThenChangeTheField) {
  TKorlen Korlen;
  bool ScanWhileShown = true;
  TScopedMessageHandler Scope([&](const TMessage& Message) {
    EXPECT_EQ(Message.Type, TMsgDlgType::mtInformation);
    if (Message.Text == "Optimized setting-no safety check.") ScanWhileShown = Korlen.ScanData();
  });
  Korlen.SafetyLoSet();
  EXPECT_TRUE(ScanWhileShown);  // the field changes only after the box is closed
  EXPECT_FALSE(Korlen.ScanData());
  Korlen.SafetyHiSet();
  EXPECT_TRUE(Korlen.ScanData());
}

TEST(ComponentTest, AboutAndExampleTextsAreSingleByteAndExact) {
  TKorlen Korlen;
  TMessageRecorder Messages;
  Korlen.ShowAbout();
  Korlen.ShowExample();
  ASSERT_EQ(Messages.Messages().size(), 2u);
  EXPECT_EQ(Messages.Texts()[0], Korlen.AboutText);
  EXPECT_EQ(Messages.Texts()[1], Korlen.ExampleText);

  const std::string& About = Korlen.AboutText;
  EXPECT_EQ(About.rfind("Functions Summary:\r\r* Regression Summary Values (R, R\xB2, F Stat., RMSE,\r", 0), 0u);
  EXPECT_NE(About.find("    MSE, MSR, SST, SSR, SSE, \xDF params, \xDF std. error\r"), std::string::npos);
  EXPECT_NE(About.find("* Residuals (\"Raw\", Standardized and Studentized)\r"), std::string::npos);
  const std::string AboutEnd = "\r  (Many others...)\r\r";
  EXPECT_EQ(About.substr(About.size() - AboutEnd.size()), AboutEnd);
  EXPECT_EQ(About.find("\xC2"), std::string::npos);  // no UTF-8 sequences
  EXPECT_EQ(std::count(About.begin(), About.end(), '\r'), 2 + 18 + 1);

  const std::string& Example = Korlen.ExampleText;
  EXPECT_EQ(Example.rfind("An example of the regression function (using 2X vars): \r:\rWith Korlen1 do \r", 0), 0u);
  EXPECT_NE(Example.find("\r  PRegressData^[1,4]:= 5; PRegressData^[2,4]:= 26; Y[4]:= 39;\r"), std::string::npos);
  EXPECT_NE(Example.find("  ShowMessage('Corr. Coef.: ' + FormatFloat('0.000',MultStatRec.R));\r"), std::string::npos);
  const std::string ExampleEnd = "end;\r:\r[Use code completion to explore the vars/types/functions available]";
  EXPECT_EQ(Example.substr(Example.size() - ExampleEnd.size()), ExampleEnd);
  EXPECT_EQ(std::count(Example.begin(), Example.end(), '\r'), 18);
}

TEST(ComponentTest, PublishedPropertiesSurviveAFormRoundTrip) {
  TKorlen Korlen;
  Korlen.SetName("Korlen1");
  Korlen.SetAlpha(99);
  Korlen.SetScanData(false);
  const std::string Form = WriteComponentToText(Korlen);
  EXPECT_EQ(Form, "object Korlen1: TKorlen\r\n  AlphaLevel = 99\r\n  ScanData = False\r\nend\r\n");
  const std::unique_ptr<TComponent> Read = ReadComponentFromText(Form);
  auto* Copy = dynamic_cast<TKorlen*>(Read.get());
  ASSERT_NE(Copy, nullptr);
  EXPECT_EQ(Copy->Name(), "Korlen1");
  EXPECT_EQ(Copy->AlphaLevel(), 99);
  EXPECT_FALSE(Copy->ScanData());
}

TEST(ComponentTest, MalformedFormsRaiseConvertError) {
  EXPECT_THROW(ReadComponentFromText("object A: TNoSuchClass\r\nend\r\n"), EConvertError);
  EXPECT_THROW(ReadComponentFromText("object A: TKorlen\r\n  Colour = 3\r\nend\r\n"), EConvertError);
  EXPECT_THROW(ReadComponentFromText("object A: TKorlen\r\n  ScanData = Maybe\r\nend\r\n"), EConvertError);
  EXPECT_THROW(ReadComponentFromText("object A: TKorlen\r\n  AlphaLevel = 99\r\n"), EConvertError);
  EXPECT_THROW(ReadComponentFromText(""), EConvertError);
  EXPECT_TRUE(IsComponentClassRegistered("TKorlen"));
  EXPECT_EQ(CreateComponentByClassName("TNoSuchClass"), nullptr);
}

TEST(ComponentTest, DefaultHandlerCanBeRestored) {
  std::vector<std::string> Seen;
  TMessageHandler Previous = SetMessageHandler([&](const TMessage& M) { Seen.push_back(M.Text); });
  ShowMessage("one");
  EXPECT_EQ(MessageDlg("two", TMsgDlgType::mtInformation, mbOK, 0), mrOk);
  SetMessageHandler(Previous);
  EXPECT_EQ(Seen, (std::vector<std::string>{"one", "two"}));
}

}  // namespace
}  // namespace varnel
