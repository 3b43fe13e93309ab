// SPDX-License-Identifier: Apache-2.0
#include "varnel/design/editor.h"

#include <gtest/gtest.h>

#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

// A descendant that overrides one verb's operation.
class TQuietKorlen : public TKorlen {
 public:
  void ShowAbout() override { ++AboutCalls; }
  int AboutCalls = 0;
};

class DesignTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { Register(); }
};

TEST_F(DesignTimeTest, RegisterPutsTKorlenOnStatsWithItsEditor) {
  Register();  // a second installation adds nothing twice
  const auto Pages = PalettePages();
  EXPECT_EQ(std::count(Pages.begin(), Pages.end(), "Stats"), 1);
  EXPECT_EQ(PaletteClasses("Stats"), std::vector<std::string>{"TKorlen"});
  EXPECT_TRUE(PaletteClasses("Samples").empty());
  const std::unique_ptr<TComponent> Created = CreateComponentByClassName("TKorlen");
  ASSERT_NE(dynamic_cast<TKorlen*>(Created.get()), nullptr);
  const auto Editor = ComponentEditorOf(Created.get());
  ASSERT_NE(dynamic_cast<TSampleEditor*>(Editor.get()), nullptr);
  EXPECT_EQ(Editor->Component(), Created.get());
  TComponent Plain;
  EXPECT_EQ(ComponentEditorOf(&Plain), nullptr);
  EXPECT_EQ(ComponentEditorOf(nullptr), nullptr);
}

TEST_F(DesignTimeTest, VerbsHaveTheirCaptionsInOrder) {
  TKorlen Korlen;
  TSampleEditor Editor(&Korlen);
  ASSERT_EQ(Editor.VerbCount(), 6);
  std::vector<std::string> Captions;
  for (int i = 0; i < Editor.VerbCount(); ++i) Captions.push_back(Editor.VerbCaption(i));
  EXPECT_EQ(Captions, (std::vector<std::string>{"ScanData-On", "ScanData-Off", "Alpha .99", "Alpha .95",
                                                "Example...", "About..."}));
  EXPECT_EQ(Editor.VerbCaption(6), "");
  EXPECT_EQ(Editor.VerbCaption(-1), "");
}

TEST_F(DesignTimeTest, VerbsRunTheComponentsOperations) {
  TKorlen Korlen;
  TSampleEditor Editor(&Korlen);
  TMessageRecorder Messages;
  Editor.RunVerb(1);
  EXPECT_FALSE(Korlen.ScanData());
  Editor.RunVerb(2);
  EXPECT_EQ(Korlen.AlphaLevel(), 99);
  Editor.RunVerb(3);
  EXPECT_EQ(Korlen.AlphaLevel(), 95);
  Editor.RunVerb(0);
  EXPECT_TRUE(Korlen.ScanData());
  Editor.RunVerb(4);
  Editor.RunVerb(5);
  Editor.RunVerb(6);
  Editor.RunVerb(-1);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{"Optimized setting-no safety check.",
                                                        "Safe setting-not optimized.", Korlen.ExampleText,
                                                        Korlen.AboutText}));
  for (const TMessage& Message : Messages.Messages()) EXPECT_EQ(Message.Type, TMsgDlgType::mtInformation);
  Messages.Clear();
  Editor.Edit();  // the default action is the first verb
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Safe setting-not optimized."});
}

TEST_F(DesignTimeTest, VerbsDispatchToADescendantsOverrides) {
  TQuietKorlen Korlen;
  TMessageRecorder Messages;
  auto Editor = ComponentEditorOf(&Korlen);
  ASSERT_NE(Editor, nullptr);
  Editor->RunVerb(5);
  EXPECT_EQ(Korlen.AboutCalls, 1);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(DesignTimeTest, PaletteBitmapIsA24By24SixteenColourDib) {
  const std::string Bmp = PaletteBitmap("TKORLEN");
  ASSERT_EQ(Bmp.size(), 14u + 40 + 64 + 12 * 24);
  EXPECT_EQ(Bmp.substr(0, 2), "BM");
  auto Word = [&](int At) { return static_cast<unsigned char>(Bmp[At]) | static_cast<unsigned char>(Bmp[At + 1]) << 8; };
  EXPECT_EQ(Word(18), 24);  // width
  EXPECT_EQ(Word(22), 24);  // height
  EXPECT_EQ(Word(28), 4);   // bits a pixel
  EXPECT_EQ(PaletteBitmap("TKorlen"), "");
}

}  // namespace
}  // namespace varnel
