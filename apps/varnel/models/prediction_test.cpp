// SPDX-License-Identifier: Apache-2.0
// regress --save-model and predict, run as a user would, against R 4.2.2's
// predict.lm(fit, new, se.fit = TRUE, interval = ) on mtcars (cyl as a
// text factor, wt2 = 2·wt to alias a column).
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

const char* const kCars =
    "wt,wt2,hp,cyl,mpg\n"
    "2.62,5.24,110,six,21\n2.875,5.75,110,six,21\n2.32,4.64,93,four,22.8\n3.215,6.43,110,six,21.4\n"
    "3.44,6.88,175,eight,18.7\n3.46,6.92,105,six,18.1\n3.57,7.14,245,eight,14.3\n3.19,6.38,62,four,24.4\n"
    "3.15,6.3,95,four,22.8\n3.44,6.88,123,six,19.2\n3.44,6.88,123,six,17.8\n4.07,8.14,180,eight,16.4\n"
    "3.73,7.46,180,eight,17.3\n3.78,7.56,180,eight,15.2\n5.25,10.5,205,eight,10.4\n5.424,10.848,215,eight,10.4\n"
    "5.345,10.69,230,eight,14.7\n2.2,4.4,66,four,32.4\n1.615,3.23,52,four,30.4\n1.835,3.67,65,four,33.9\n"
    "2.465,4.93,97,four,21.5\n3.52,7.04,150,eight,15.5\n3.435,6.87,150,eight,15.2\n3.84,7.68,245,eight,13.3\n"
    "3.845,7.69,175,eight,19.2\n1.935,3.87,66,four,27.3\n2.14,4.28,91,four,26\n1.513,3.026,113,four,30.4\n"
    "3.17,6.34,264,eight,15.8\n2.77,5.54,175,six,19.7\n3.57,7.14,335,eight,15\n2.78,5.56,109,four,21.4\n";

// The rows to predict at; the third misses wt. The response is not there.
const char* const kNewCars =
    "cyl,hp,wt,wt2\nfour,110,2.5,5\nsix,150,3.2,6.4\neight,120,NA,NA\neight,300,5.1,10.2\n";

bool Agrees(double a, double b, double Digits) { return std::fabs(a - b) <= std::pow(10.0, -Digits) * std::fabs(b); }

// R's fit, se.fit and lower and upper limits at rows 1, 2 and 4.
struct TExpected {
  double Fit[3], SeFit[3], Low[3], High[3];
};

class PredictTest : public ToolTest {
 protected:
  // Saves the model of Fit, then predicts kNewCars with Predict's options.
  ordered_json Predictions(const std::string& Fit, const std::string& Predict, const std::string& Err = "") {
    const std::string Data = Write("cars.csv", kCars), New = Write("new.csv", kNewCars);
    const std::string Model = (Dir / "model.json").string();
    const TRun Saved = Run("regress " + Data + " " + Fit + " --save-model " + Model + " --csv");
    EXPECT_EQ(Saved.Status, 0) << Saved.Err;
    const TRun R = Run("predict " + Model + " " + New + " " + Predict + " --json");
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, Err);
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }

  static void ExpectAsR(const ordered_json& Rows, const char* Low, const char* High, const TExpected& R) {
    ASSERT_EQ(Rows.size(), 4u);
    const int Shown[] = {0, 1, 3};
    for (int i = 0; i < 3; ++i) {
      const auto& Row = Rows[static_cast<std::size_t>(Shown[i])];
      EXPECT_EQ(Row["row"], Shown[i] + 1);
      EXPECT_TRUE(Agrees(Row[".fitted"], R.Fit[i], 10)) << i;
      EXPECT_TRUE(Agrees(Row[".se.fit"], R.SeFit[i], 10)) << i;
      EXPECT_TRUE(Agrees(Row[Low], R.Low[i], 10)) << i;
      EXPECT_TRUE(Agrees(Row[High], R.High[i], 10)) << i;
    }
    // A row missing a value has no prediction, as predict.lm with na.pass.
    EXPECT_EQ(Rows[2]["row"], 3);
    for (const char* Column : {".fitted", ".se.fit", Low, High}) EXPECT_TRUE(Rows[2][Column].is_null()) << Column;
  }
};

TEST_F(PredictTest, BothIntervalsAsPredictLmWithAFactor) {
  const TExpected Confidence{{25.3493061914986626, 18.8385060967087910, 9.49900748580774490},
                             {0.81873369053582767, 0.98146199058885863, 1.48334805087748012},
                             {23.66940342038672540, 16.82471243365308311, 6.45542868845578077},
                             {27.02920896261059980, 20.85229975976449879, 12.54258628315970903}};
  const ordered_json J = Predictions("--x wt,hp,cyl --y mpg", "--interval confidence");
  EXPECT_EQ(J["meta"]["command"], "predict");
  EXPECT_EQ(J["meta"]["response"], "mpg");
  ExpectAsR(J["predictions"], "conf.low", "conf.high", Confidence);

  const TExpected Prediction{{25.3493061914986626, 18.8385060967087910, 9.49900748580774490},
                             {0.81873369053582767, 0.98146199058885863, 1.48334805087748012},
                             {20.0680634216197618, 13.4417647844563764, 3.63958569098028839},
                             {30.6305489613775634, 24.2352474089612073, 15.3584292806352014}};
  ExpectAsR(Predictions("--x wt,hp,cyl --y mpg", "--interval prediction --level 0.95")["predictions"], "pred.low",
            "pred.high", Prediction);
}

TEST_F(PredictTest, ThroughTheOriginAndRankDeficientAsPredictLm) {
  const TExpected Origin{{13.3682463373559060, 16.7991509206743075, 24.7057168792627273},
                         {1.4979039686166113, 1.9124701189005209, 4.0305317843009165},
                         {10.3091183200658865, 12.8933658733446208, 16.4742728319382863},
                         {16.4273743546459237, 20.7049359680039942, 32.9371609265871683}};
  ExpectAsR(Predictions("--x wt,hp --y mpg --no-intercept", "--interval confidence")["predictions"], "conf.low",
            "conf.high", Origin);
  // wt2 = 2·wt is aliased: R predicts from the estimable columns, and warns.
  const TExpected Aliased{{24.03766909239778471, 20.05226969342806953, 7.91844923553502333},
                          {0.57254622212094453, 0.46002682723437022, 1.17176271079246352},
                          {18.60582492398040699, 14.66534705821779383, 2.09805032675630798},
                          {29.46951326081516243, 25.43919232863834523, 13.73884814431373869}};
  ExpectAsR(Predictions("--x wt,wt2,hp --y mpg", "--interval prediction",
                        "varnel: prediction from a rank-deficient fit may be misleading\n")["predictions"],
            "pred.low", "pred.high", Aliased);
}

// A weighted fit's standard errors are about its weighted means; a new
// observation is taken as of weight 1, as R warns.
TEST_F(PredictTest, WeightedFitAsPredictLm) {
  const TExpected Weighted{{22.58283518645322374, 19.38469109092093134, 10.70401426019043001},
                           {0.75777307290103169, 0.54412274048881581, 1.01498181127619347},
                           {-49.77045888841134058, -52.96058541094756578, -61.66242098452077869},
                           {94.93612926131778806, 91.72996759278942136, 83.07044950490164581}};
  ExpectAsR(Predictions("--x wt --y mpg --weights hp", "--interval prediction",
                        "varnel: assuming constant prediction variance even though model fit is weighted\n")["predictions"],
            "pred.low", "pred.high", Weighted);
}

// A formula's model keeps its expanded terms and the levels of its factors,
// and evaluates them again on the new rows, which need not hold the
// response: predict(lm(log(mpg) ~ log(hp) + wt*cyl, d), new, se.fit = TRUE,
// interval = "prediction").
TEST_F(PredictTest, FormulaEvaluatedAgainAsPredictLm) {
  const TExpected Formula{{3.1593740690419385, 2.9177419478641462, 2.4405247206740110},
                          {0.044628682232682848, 0.047690267339419071, 0.062191555660399217},
                          {2.9143300358653086, 2.6702637430452967, 2.1797483722832225},
                          {3.4044181022185684, 3.1652201526829957, 2.7013010690647996}};
  ExpectAsR(Predictions("--formula 'log(mpg) ~ log(hp) + wt*cyl'", "--interval prediction")["predictions"],
            "pred.low", "pred.high", Formula);
  const ordered_json Model = ordered_json::parse(Slurp(Dir / "model.json"));
  EXPECT_EQ(Model["formula"], "log(mpg) ~ log(hp) + wt + cyl + wt:cyl");
  EXPECT_EQ(Model["design"], "formula");
  EXPECT_EQ(Model["columns"].size(), 3u);  // hp, wt and cyl: not the response's mpg
}

// The model holds what prediction needs and nothing of the data; it
// reads back to the same predictions, and without --interval the table
// has no limits.
TEST_F(PredictTest, ModelFileHoldsTheFitNotTheData) {
  const std::string Data = Write("cars.csv", kCars), New = Write("new.csv", kNewCars);
  const std::string Model = (Dir / "model.json").string();
  ASSERT_EQ(Run("regress " + Data + " --x wt,hp,cyl --y mpg --save-model " + Model).Status, 0);
  const ordered_json M = ordered_json::parse(Slurp(Model));
  EXPECT_EQ(M["formula"], "mpg ~ wt + hp + cyl");
  EXPECT_EQ(M["columns"][2]["levels"], ordered_json::parse(R"(["eight", "four", "six"])"));
  EXPECT_EQ(M["nobs"], 32);
  EXPECT_EQ(M["df_residual"], 27);
  EXPECT_TRUE(Agrees(M["sigma"], 2.44023096952251, 12));  // summary(lm(mpg ~ wt + hp + cyl))$sigma
  EXPECT_EQ(M["vcov"].size(), 5u);
  // vcov(fit)["wt", "wt"] and ["(Intercept)", "cylfour"]
  EXPECT_TRUE(Agrees(M["vcov"][1][1], 0.517825602272816599, 10)) << M["vcov"];
  EXPECT_TRUE(Agrees(M["vcov"][0][3], -7.627516198131150, 10)) << M["vcov"];
  EXPECT_EQ(Slurp(Model).find("10.848"), std::string::npos);  // a value of the data
  const TRun Plain = Run("predict " + Model + " " + New + " --csv");
  ASSERT_EQ(Plain.Status, 0) << Plain.Err;
  EXPECT_EQ(Plain.Out.substr(0, Plain.Out.find('\n') + 1), "row,.fitted,.se.fit\r\n");
  EXPECT_EQ(Lines(Plain.Out), 5);
}

// Each refusal is exit 2 with one line naming what is wrong, before any
// output; the model file never replaces an input.
TEST_F(PredictTest, RefusalsNameTheCause) {
  const std::string Data = Write("cars.csv", kCars);
  const std::string Model = (Dir / "model.json").string();
  ASSERT_EQ(Run("regress " + Data + " --x wt,hp,cyl --y mpg --save-model " + Model).Status, 0);
  const auto Refused = [&](const std::string& Arguments, const std::string& Says) {
    const TRun R = Run(Arguments);
    EXPECT_EQ(R.Status, 2) << Arguments;
    EXPECT_NE(R.Err.find(Says), std::string::npos) << R.Err;
    EXPECT_EQ(Lines(R.Err), 1) << R.Err;
    EXPECT_TRUE(R.Out.empty()) << Arguments;
  };
  Refused("predict " + Model + " " + Write("unseen.csv", "cyl,hp,wt\nsix,110,2.5\nten,150,3.2\n"),
          "data row 2, column \"cyl\": 'ten' is not one of the factor's levels in the model");
  Refused("predict " + Model + " " + Write("nohp.csv", "cyl,wt\nsix,2.5\n"), "hp");
  Refused("predict " + Data + " " + Data, "not a model saved by varnel regress or glm --save-model");
  Refused("predict " + Write("v9.json", R"({"format": "varnel linear model", "format_version": 9})") + " " + Data,
          "a model of format version 9; this varnel reads version 1");
  Refused("predict " + Model, "predict needs new data");
  Refused("regress " + Data + " --save-model " + Data, "--save-model");
  EXPECT_EQ(Slurp(Data), kCars);
}

// New data of many rows are predicted block by block on every thread,
// with the same bytes for any number of them.
TEST_F(PredictTest, ManyRowsTheSameOnAnyThreads) {
  const std::string Data = Write("cars.csv", kCars);
  const std::string Model = (Dir / "model.json").string();
  ASSERT_EQ(Run("regress " + Data + " --x wt,hp,cyl --y mpg --save-model " + Model).Status, 0);
  std::string Rows = "wt,hp,cyl\n";
  const char* const Levels[] = {"four", "six", "eight"};
  for (long long i = 0; i < 60000; ++i)
    Rows += std::to_string(1.5 + 4 * Uniform(i, 1)) + "," + std::to_string(50 + 300 * Uniform(i, 2)) + "," +
            Levels[i % 3] + "\n";
  const std::string New = Write("many.csv", Rows);
  const TRun One = Run("predict " + Model + " " + New + " --interval prediction --csv --threads 1");
  const TRun Three = Run("predict " + Model + " " + New + " --interval prediction --csv --threads 3");
  ASSERT_EQ(One.Status, 0) << One.Err;
  EXPECT_EQ(Lines(One.Out), 60001);
  EXPECT_TRUE(One.Out == Three.Out);
}

}  // namespace
}  // namespace varnel::cli
