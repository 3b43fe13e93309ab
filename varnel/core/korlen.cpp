// SPDX-License-Identifier: Apache-2.0
// The component object: its texts, its data matrix, its two published
// properties and the design-time operations that the component editor runs.
#include "varnel/korlen.h"

#include "varnel/core/format.h"

namespace varnel {
namespace {

const char* const kAboutLines[] = {
    "* Regression Summary Values (R, R\xB2, F Stat., RMSE,",
    "    MSE, MSR, SST, SSR, SSE, \xDF params, \xDF std. error",
    "    t-value each \xDF, degrees of freedom, etc.",
    "* Residuals (\"Raw\", Standardized and Studentized)",
    "* Univariate Summary (Min, Max, Range, Mean, Variance,",
    "    Skewness, Kurtosis, Coef. of Variation, etc.)",
    "* Predictor Variables Covariance and Correlation Matrices",
    "* Bivariate routines that handle large arrays (up to 100000 pts)",
    "* Confidence and Prediction Intervals (at .90, .95 and .99)",
    "* Diagnostics (Cook's Distances and Leverage Values)",
    "* 3 Stepwise Regression Routines to help in variable selection",
    "* Eigenvalues/Eigenvectors from Predictor Correlation Matrix",
    "* Factors and Factor Loadings Matrix from Predictor Correlation Matrix",
    "* Transform Variables to Principal Component Scores",
    "* Transform Variables to Standard Z values, Centered values, etc",
    "* Statistical Distance Measures: Euclidean, Mahalanobis, Max. Like, etc.",
    "* Distribution Separability Measures: AvgNormDist, Divergence",
    "  (Many others...)",
};

const char* const kExampleLines[] = {
    "An example of the regression function (using 2X vars): ",
    ":",
    "With Korlen1 do ",
    "Begin  // Assign values to X's and Y...",
    "//    Below are X1's         Below are X2's    Below are Y's",
    "  PRegressData^[1,0]:= 1; PRegressData^[2,0]:= 21; Y[0]:= 12;",
    "  PRegressData^[1,1]:= 2; PRegressData^[2,1]:= 20; Y[1]:= 23;",
    "  PRegressData^[1,2]:= 3; PRegressData^[2,2]:= 25; Y[2]:= 46;",
    "  PRegressData^[1,3]:= 4; PRegressData^[2,3]:= 24; Y[3]:= 32;",
    "  PRegressData^[1,4]:= 5; PRegressData^[2,4]:= 26; Y[4]:= 39;",
    "End;",
    "with Korlen1 do",
    "begin",
    "  MVPrepare; // You must call this before executing any MVReg___ functions",
    "  MultStatRec:= MVRegression(PRegressData,Y,2,5);",
    "  ShowMessage('Corr. Coef.: ' + FormatFloat('0.000',MultStatRec.R));",
    "end;",
    ":",
    "[Use code completion to explore the vars/types/functions available]",
};

std::string BuildAboutText() {
  std::string Text = "Functions Summary:\r\r";
  for (const char* Line : kAboutLines) Text += std::string(Line) + "\r";
  return Text + "\r";
}

std::string BuildExampleText() {
  std::string Text;
  for (const char* Line : kExampleLines) {
    if (!Text.empty()) Text += "\r";
    Text += Line;
  }
  return Text;
}

const bool kRegistered = [] {
  RegisterComponentClass("TKorlen", [] { return std::make_unique<TKorlen>(); });
  return true;
}();

}  // namespace

TKorlen::TKorlen(TComponent* AOwner)
    : TComponent(AOwner),
      AboutText(BuildAboutText()),
      ExampleText(BuildExampleText()),
      FData(std::make_unique<TRegressData>()) {
  PRegressData = FData.get();
  SetAlpha(95);
  SetScanData(true);
}

TKorlen::~TKorlen() = default;

void TKorlen::SetAlpha(int Value) {
  if (Value == 90 || Value == 95 || Value == 99) FAlphaLevel = Value;
}

void TKorlen::SetScanData(bool Value) { FScanData = Value; }

void TKorlen::SafetyHiSet() {
  MessageDlg("Safe setting-not optimized.", TMsgDlgType::mtInformation, mbOK, 0);
  FScanData = true;
}

void TKorlen::SafetyLoSet() {
  MessageDlg("Optimized setting-no safety check.", TMsgDlgType::mtInformation, mbOK, 0);
  FScanData = false;
}

void TKorlen::Alpha99Set() { FAlphaLevel = 99; }
void TKorlen::Alpha95Set() { FAlphaLevel = 95; }

void TKorlen::ShowAbout() { MessageDlg(AboutText, TMsgDlgType::mtInformation, mbOK, 0); }
void TKorlen::ShowExample() { MessageDlg(ExampleText, TMsgDlgType::mtInformation, mbOK, 0); }

std::vector<TPublishedProperty> TKorlen::Published() {
  return {
      {"AlphaLevel", [this] { return IntToStr(FAlphaLevel); },
       [this](const std::string& Value) { SetAlpha(StrToInt(Value)); }},
      {"ScanData", [this] { return std::string(FScanData ? "True" : "False"); },
       [this](const std::string& Value) {
         if (Value != "True" && Value != "False") throw EConvertError("Invalid property value " + Value);
         SetScanData(Value == "True");
       }},
  };
}

}  // namespace varnel
