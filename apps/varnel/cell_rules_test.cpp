// SPDX-License-Identifier: Apache-2.0
// How cells become numbers, missing values or factor levels, and which
// columns the unsupervised commands read.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

class CellRulesTest : public ToolTest {
 protected:
  ordered_json Json(const std::string& Arguments) {
    const TRun R = Run(Arguments + " --json");
    EXPECT_EQ(R.Status, 0) << Arguments << ": " << R.Err;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
  void ExpectRefused(const std::string& Arguments, const std::string& Line) {
    const TRun R = Run(Arguments);
    EXPECT_EQ(R.Status, 2) << Arguments;
    EXPECT_EQ(R.Err, "varnel: " + Line + "\n") << Arguments;
  }
};

// A missing spelling that reads as a number is missing; names in --x are
// trimmed; an unknown name lists the columns.
TEST_F(CellRulesTest, MissingNumbersTrimmedNamesAndUnknownColumns) {
  const std::string File = Write("na.csv", "a,b,y\n1,2,3\n-999,5,6\n3,1,9\n4,7,2\n5,3,8\n");
  const ordered_json J = Json("regress --na -999 --x ' a , b' " + File);
  EXPECT_EQ(J["meta"]["n"], 4);
  EXPECT_EQ(J["meta"]["predictors"], ordered_json::array({"a", "b"}));
  EXPECT_EQ(Json("regress " + File)["meta"]["n"], 5);  // without --na, -999 is a number
  ExpectRefused("regress --x a,c " + File, File + ": no column named \"c\"; the columns are \"a\", \"b\", \"y\"");
}

// A numeric column is never made a factor by a few cells that are not
// numbers: they are named, with what to do. A text column (most cells not
// numbers) is still a factor.
TEST_F(CellRulesTest, CellsThatAreNotNumbersAreNamed) {
  const std::string Bad = Write("bad.csv", "x,y\n1,2\ninf,3\n2,4\n0x4,1\n\"1,002.5\",1\n4\xC2\xA0,3\n5,2\n6,1\n7,3\n");
  ExpectRefused("regress " + Bad, Bad + ": column \"x\" holds numbers and 4 cells that are not numbers (data row 2 "
                                        "'inf', data row 4 '0x4', data row 5 '1,002.5', ...); --na TEXT reads such a "
                                        "cell as missing, --factor \"x\" makes the column a factor");
  EXPECT_EQ(Json("regress --na inf --na 0x4 --na 1,002.5 --na '4\xC2\xA0' " + Bad)["meta"]["n"], 5);
  const std::string Space = Write("space.csv", "x,y\n1,2\n4\xC2\xA0,3\n2,4\n3,1\n");
  ExpectRefused("regress " + Space, Space + ": column \"x\" holds numbers and a cell that is not a number (data row "
                                            "2 '4\\xc2\\xa0'); --na TEXT reads such a cell as missing, --factor \"x\" "
                                            "makes the column a factor");
  const std::string Beyond = Write("beyond.csv", "x,y\n1,2\n1e400,3\n2,4\n3,1\n");
  ExpectRefused("regress " + Beyond, Beyond + ": data row 2, column \"x\": '1e400' is beyond the range of a double "
                                              "(about 1.8e308); --na TEXT reads such a cell as missing");
  // Too small for a double is 0, as R reads it.
  const std::string Tiny = Write("tiny.csv", "x,y\n1,2\n1e-400,3\n2,4\n3,1\n");
  EXPECT_EQ(Json("describe " + Tiny)["variables"][0]["min"], 0.0);
  const std::string Comma = Write("comma.csv", "x,y\n\"11,43\",1\n\"2,5\",2\n\"3,75\",4\n\"1,25\",3\n");
  ExpectRefused("regress " + Comma, Comma + ": column \"x\" holds 4 cells that are not numbers (data row 1 '11,43', "
                                            "data row 2 '2,5', data row 3 '3,75', ...); with a decimal comma, "
                                            "--decimal , reads the numbers");
  EXPECT_EQ(Json("regress --decimal , " + Comma)["coefficients"][1]["estimate"].is_number(), true);
  const std::string Text = Write("text.csv", "g,y\na,1\nb,2\na,3\n4,4\nb,5\n");
  EXPECT_EQ(Json("regress " + Text)["coefficients"][2]["term"], "gb");
}

TEST_F(CellRulesTest, ConstantColumnIsDescribed) {
  const ordered_json J = Json("describe " + Write("c.csv", "c,x,y\n5,1,2\n5,2,4\n5,3,5\n5,4,9\n5,5,8\n"));
  const auto& C = J["variables"][0];
  EXPECT_EQ(C["variable"], "c");
  EXPECT_EQ(C["sd"], 0.0);
  EXPECT_EQ(C["mean"], 5.0);
  EXPECT_EQ(C["skew"], nullptr);
  EXPECT_EQ(C["kurtosis"], nullptr);
  // Its correlations are not defined (R's cor: NA, and one warning), its
  // covariances are 0.
  const TRun R = Run("describe " + Write("c.csv", "c,x,y\n5,1,2\n5,2,4\n5,3,5\n5,4,9\n5,5,8\n") + " --json");
  EXPECT_EQ(R.Err, "varnel: the standard deviation of c is zero: its correlations are not defined\n");
  const ordered_json Tables = ordered_json::parse(R.Out);
  EXPECT_EQ(Tables["correlation"][0]["x"], nullptr);
  EXPECT_EQ(Tables["correlation"][1]["x"], 1.0);
  EXPECT_EQ(Tables["covariance"][0]["x"], 0.0);
}

// R 4.2: prcomp(rock, scale. = TRUE)$sdev, and kmeans(scale(rock), 3,
// nstart = 200): tot.withinss 62.624430670162255 of totss 188, sizes 10,
// 14, 24. With --x and no --y every named column is used, none a response.
TEST_F(CellRulesTest, UnsupervisedCommandsUseExactlyTheNamedColumns) {
  const std::string Rock = Write("rock.csv", "area,peri,shape,perm\n"
      "4990,2791.9,0.0903296,6.3\n7002,3892.6,0.148622,6.3\n7558,3930.66,0.183312,6.3\n7352,3869.32,0.117063,6.3\n"
      "7943,3948.54,0.122417,17.1\n7979,4010.15,0.167045,17.1\n9333,4345.75,0.189651,17.1\n8209,4344.75,0.164127,17.1\n"
      "8393,3682.04,0.203654,119\n6425,3098.65,0.162394,119\n9364,4480.05,0.150944,119\n8624,3986.24,0.148141,119\n"
      "10651,4036.54,0.228595,82.4\n8868,3518.04,0.231623,82.4\n9417,3999.37,0.172567,82.4\n8874,3629.07,0.153481,82.4\n"
      "10962,4608.66,0.204314,58.6\n10743,4787.62,0.262727,58.6\n11878,4864.22,0.200071,58.6\n9867,4479.41,0.14481,58.6\n"
      "7838,3428.74,0.113852,142\n11876,4353.14,0.291029,142\n12212,4697.65,0.240077,142\n8233,3518.44,0.161865,142\n"
      "6360,1977.39,0.280887,740\n4193,1379.35,0.179455,740\n7416,1916.24,0.191802,740\n5246,1585.42,0.133083,740\n"
      "6509,1851.21,0.225214,890\n4895,1239.66,0.341273,890\n6775,1728.14,0.311646,890\n7894,1461.06,0.276016,890\n"
      "5980,1426.76,0.197653,950\n5318,990.388,0.326635,950\n7392,1350.76,0.154192,950\n7894,1461.06,0.276016,950\n"
      "3469,1376.7,0.176969,100\n1468,476.322,0.438712,100\n3524,1189.46,0.163586,100\n5267,1644.96,0.253832,100\n"
      "5048,941.543,0.328641,1300\n1016,308.642,0.230081,1300\n5605,1145.69,0.464125,1300\n8793,2280.49,0.420477,1300\n"
      "3475,1174.11,0.200744,580\n1651,597.808,0.262651,580\n5514,1455.88,0.182453,580\n9718,1485.58,0.200447,580\n");
  const ordered_json P = Json("pca --x area,peri,shape,perm " + Rock);
  EXPECT_EQ(P["meta"]["response"], nullptr);
  EXPECT_EQ(P["meta"]["k"], 4);
  const double Sdev[] = {1.61522800142499845, 0.96068704140953598, 0.62933020004319629, 0.26844442850240996};
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(P["components"][j]["sdev"].get<double>(), Sdev[j], 1e-12 * Sdev[j]) << j;
  EXPECT_EQ(Json("distance --x area,peri,shape,perm " + Rock)["meta"]["k"], 4);
  const ordered_json K = Json("cluster --scale --x area,peri,shape,perm " + Rock);
  EXPECT_EQ(K["meta"]["scaled"], true);
  EXPECT_NEAR(K["fit"][0]["tot.withinss"].get<double>(), 62.624430670162255, 1e-12 * 62.6);
  EXPECT_NEAR(K["fit"][0]["totss"].get<double>(), 188, 1e-12 * 188);
  EXPECT_EQ(Json("cluster " + Rock)["meta"]["scaled"], false);
  // With --y the named column stays the response, as before.
  EXPECT_EQ(Json("pca --x area,peri --y perm " + Rock)["meta"]["response"], "perm");
}

}  // namespace
}  // namespace varnel::cli
