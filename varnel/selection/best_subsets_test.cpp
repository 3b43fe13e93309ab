// SPDX-License-Identifier: Apache-2.0
// The best-subset search against R (every model of every size of mtcars and
// Longley, as lm over all subsets gives them: the references below were
// formed that way, RSS, R², adjusted R², Cp with the full model's σ̂², AIC()
// and BIC()) and against an enumeration of every subset written here, each
// fitted by its own Householder QR of the centred data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TDataSet;

struct TReference {
  int Size, Rank;
  std::uint32_t Terms;
  long double RSS, R2, AdjR2, Cp, AIC, BIC;
};

// R's double figures keep about 14 digits here.
void ExpectModels(const TBestSubsets& B, const std::vector<TReference>& Want) {
  ASSERT_EQ(B.Models.size(), Want.size());
  for (std::size_t m = 0; m < Want.size(); ++m) {
    const TSubsetModel& Got = B.Models[m];
    const TReference& W = Want[m];
    SCOPED_TRACE(::testing::Message() << "size " << W.Size << " rank " << W.Rank);
    EXPECT_EQ(Got.Size, W.Size);
    EXPECT_EQ(Got.Rank, W.Rank);
    EXPECT_EQ(Got.Terms, W.Terms);
    EXPECT_TRUE(AgreesTo(Got.RSS, W.RSS, 12));
    EXPECT_TRUE(AgreesTo(Got.R2, W.R2, 12));
    EXPECT_TRUE(AgreesTo(Got.AdjR2, W.AdjR2, 12));
    EXPECT_TRUE(AgreesTo(Got.Cp, W.Cp, 11, 1));
    EXPECT_TRUE(AgreesTo(Got.AIC, W.AIC, 12));
    EXPECT_TRUE(AgreesTo(Got.BIC, W.BIC, 12));
  }
}

class BestSubsetsTest : public ::testing::Test {
 protected:
  BestSubsetsTest() { Korlen->SetScanData(false); }
  std::unique_ptr<TKorlen> Korlen = std::make_unique<TKorlen>();
  TBestSubsets Search(const TDataSet& Data, int PerSize, TSubsetCriterion Criterion = TSubsetCriterion::scBIC,
                      const std::function<void(double)>& Progress = {}) {
    testing::Load(*Korlen, Data);
    return Korlen->MVBestSubsets(Korlen->PRegressData, Korlen->Y, Data.K(), Data.N(), PerSize, Criterion,
                                 Progress);
  }
};

TEST_F(BestSubsetsTest, MtcarsAgreesWithR) {
  const TBestSubsets B = Search(testing::MtcarsData(), 3);
  ExpectModels(B, {
      {1, 1, 0x10, 278.32193754334355, 0.75283279365826439, 0.74459388678020644, 11.626992610842272, 166.02942899187622, 170.4266367002754},
      {1, 2, 0x1, 308.33423514538543, 0.72618000509380476, 0.71705267193026501, 15.900091259867388, 169.30641719185604, 173.70362490025522},
      {1, 3, 0x2, 317.15868928218487, 0.7183433404897297, 0.7089547851727207, 17.156501667039151, 170.20938909870893, 174.6065968071081},
      {2, 1, 0x11, 191.17196625596225, 0.83022739332940942, 0.81851893769695483, 1.2187315203834679, 156.01006507126272, 161.87300868246163},
      {2, 2, 0x14, 195.04775474146643, 0.82678545188279107, 0.8148396209781561, 1.7705595330507897, 156.65233882564138, 162.51528243684029},
      {2, 3, 0x30, 195.46363160465629, 0.82641612733955139, 0.8144448257767618, 1.829771356344736, 156.72049594022701, 162.58343955142593},
      {3, 1, 0xb0, 169.28592953765198, 0.8496635563617071, 0.8335560802576043, 0.10263573946055615, 154.11937086890117, 161.44805038289979},
      {3, 2, 0x15, 176.62052019882168, 0.8431499832693985, 0.82634462433397693, 1.1469219804201316, 155.47662851025837, 162.80530802425699},
      {3, 3, 0x211, 177.39954857894341, 0.84245815757259868, 0.82557867445537714, 1.2578386840591058, 155.6174620425931, 162.94614155659173},
      {4, 1, 0xb4, 160.06646019081975, 0.85785101906236072, 0.83679191077530313, 0.78998375482886374, 154.32736860132036, 163.12178401811872},
      {4, 2, 0x2b0, 161.24998561825484, 0.8567999748072237, 0.83558515626014573, 0.95849204340173344, 154.56310496308413, 163.35752037988249},
      {4, 3, 0xb2, 166.00985956161003, 0.85257291043887973, 0.83073186013352862, 1.636194603418236, 155.49402704485789, 164.28844246165625},
      {5, 1, 0xb6, 153.4378065024591, 0.86373767617757213, 0.83753338313479753, 1.8462075902655037, 154.97396733339195, 165.23411865299005},
      {5, 2, 0x2b8, 156.75194924080537, 0.8607945111174079, 0.83402422479383242, 2.3180694598792577, 155.65778490858787, 165.91793622818597},
      {5, 3, 0x2b4, 156.83926990630391, 0.86071696493065131, 0.83393176587885354, 2.3305020241141392, 155.67560595201996, 165.93575727161806},
      {6, 1, 0xbe, 150.09325533078109, 0.86670784581948868, 0.83471772881616602, 3.3700162208876279, 156.26873493549846, 167.99462215789626},
      {6, 2, 0x1b6, 150.46041211065349, 0.86638178774310604, 0.83431341680145144, 3.4222913635926773, 156.34691746376592, 168.07280468616372},
      {6, 3, 0xb7, 150.99111336896095, 0.86591049198907488, 0.83372901006645284, 3.4978516842312146, 156.45958869860857, 168.18547592100637},
      {7, 1, 0x1be, 148.52828480396275, 0.86809763706819543, 0.8296261145464191, 5.1471984435690175, 157.93333036081953, 171.12495348601706},
      {7, 2, 0xbf, 149.08985641559102, 0.86759892651870674, 0.82898194675332959, 5.2271540313350258, 158.05409123127782, 171.24571435647536},
      {7, 3, 0xfe, 149.4477691623143, 0.86728107771921037, 0.82857139205398, 5.2781130247040693, 158.13082000782867, 171.32244313302621},
      {8, 1, 0x3be, 147.84282403042437, 0.86870636890567754, 0.82303901895982623, 7.0496037327539653, 159.78530794425433, 174.4426669722516},
      {8, 2, 0x1fe, 148.09444301895203, 0.86848291558034552, 0.82273784273872652, 7.0854288060023904, 159.83972359560789, 174.49708262360517},
      {8, 3, 0x1bf, 148.11385612281495, 0.86846567553563114, 0.82271460615672032, 7.0881928099113871, 159.8439180717674, 174.50127709976468},
      {9, 1, 0x3fe, 147.57430122549744, 0.86894483387225063, 0.81533135681998958, 9.0113719235742629, 161.72713438971385, 177.85022932051083},
      {9, 2, 0x3bf, 147.65455572328409, 0.86887356288229789, 0.81523092951596521, 9.0227984191600932, 161.7445320385682, 177.86762696936518},
      {9, 3, 0x1ff, 147.90109876861447, 0.86865461731050719, 0.81492241530116927, 9.0579007884587419, 161.79791879778304, 177.92101372858002},
      {10, 1, 0x3ff, 147.49443001665082, 0.86901576447776452, 0.80664231899098571, 11, 163.70981043447972, 181.29864126807644},
  });
  EXPECT_EQ(B.N, 32);
  EXPECT_EQ(B.K, 10);
  EXPECT_TRUE(AgreesTo(B.Sigma2, 147.49443001665082L / 21, 12));
  // The best of them all by each criterion, as which.min / which.max of R's columns.
  EXPECT_EQ(B.Best.Terms, 0xb0u);  // BIC: wt + qsec + am
  EXPECT_EQ(Search(testing::MtcarsData(), 3, TSubsetCriterion::scAIC).Best.Terms, 0xb0u);
  EXPECT_EQ(Search(testing::MtcarsData(), 3, TSubsetCriterion::scCp).Best.Terms, 0xb0u);
  const TBestSubsets ByAdjR2 = Search(testing::MtcarsData(), 3, TSubsetCriterion::scAdjR2);
  EXPECT_EQ(ByAdjR2.Best.Terms, 0xb6u);
  EXPECT_EQ(ByAdjR2.Best.Rank, 1);
}

// Year columns and a response in thousands (R's longley$Employed): the sums
// about the shifts keep the digits that sums about zero would lose.
TEST_F(BestSubsetsTest, LongleyAgreesWithR) {
  TDataSet Data = testing::LongleyData();
  for (double& y : Data.Y) y /= 1000;  // the nearest double to R's value
  ExpectModels(Search(Data, 2), {
      {1, 1, 0x2, 6.0361401660767795, 0.96737377185412343, 0.96504332698656081, 52.949425039947982, 35.808849703811966, 38.12661587053131},
      {1, 2, 0x20, 10.456528952941166, 0.94348091829445391, 0.93944384102977196, 100.51321618141154, 44.600238522756122, 46.918004689475467},
      {2, 1, 0x24, 3.2721247030532341, 0.9823136832236683, 0.97959271141192494, 25.208363668673428, 28.011645989822366, 31.102000878781489},
      {2, 2, 0x6, 3.579064969068221, 0.98065462580110518, 0.97767841438589054, 28.511069247201988, 29.446238858299857, 32.536593747258983},
      {3, 1, 0x2c, 1.3233607427332774, 0.99284703994211998, 0.99105879992765, 6.2394836760110426, 15.527405798063356, 19.390349409262264},
      {3, 2, 0xe, 2.7567116889111412, 0.98509956660710263, 0.98137445825887826, 21.662472088028892, 27.269230344574435, 31.132173955773339},
      {4, 1, 0x2e, 0.8586804058299089, 0.99535870572018059, 0.99367096234570074, 3.239480382704615, 10.606877827101822, 15.242410160540508},
      {4, 2, 0x3c, 0.9857196479893644, 0.99467203987344166, 0.99273459982742052, 4.6064343481109908, 12.81448074707005, 17.450013080508736},
      {5, 1, 0x3e, 0.83934803186694462, 0.99546320005367228, 0.99319480008050853, 5.0314622553906663, 12.242536049969715, 17.650657105648182},
      {5, 2, 0x2f, 0.84117300363775616, 0.99545333581200202, 0.99318000371800297, 5.0510991200039985, 12.277286653139127, 17.685407708817596},
      {6, 1, 0x3f, 0.83642405550591969, 0.99547900457729555, 0.99246500762882595, 7, 14.186700689532833, 20.36741046745108},
  });
}

// k predictors around a shared factor, predictor 2 a near copy of 1, every
// third without effect; with Noise, the response does not depend on them.
TDataSet Correlated(int k, int n, std::uint32_t Seed, bool Noise) {
  std::mt19937 Engine(Seed);
  std::normal_distribution<double> Normal(0, 1);
  TDataSet Data;
  Data.Columns.assign(k, std::vector<double>(n));
  Data.Y.resize(n);
  for (int i = 0; i < n; ++i) {
    const double z = Normal(Engine);
    double y = 10 + 3 * Normal(Engine);
    for (int j = 0; j < k; ++j) {
      const double x = j == 1 ? Data.Columns[0][i] + 0.05 * Normal(Engine) : 0.8 * z + Normal(Engine);
      Data.Columns[j][i] = 50 + 4 * x;
      if (!Noise && j % 3 != 2) y += (j % 2 ? 0.6 : -0.4) * x;
    }
    Data.Y[i] = y;
  }
  return Data;
}

// The RSS of Y on the constant and the predictors in Terms, by Householder
// QR of the centred columns in long double.
long double QrRSS(const TDataSet& D, std::uint32_t Terms) {
  const int n = D.N();
  const auto Centred = [n](const std::vector<double>& v) {
    long double Sum = 0;
    for (double x : v) Sum += x;
    std::vector<long double> c(v.begin(), v.end());
    for (long double& x : c) x -= Sum / n;
    return c;
  };
  std::vector<std::vector<long double>> A;
  for (int j = 0; j < D.K(); ++j) {
    if (Terms & (1u << j)) A.push_back(Centred(D.Columns[j]));
  }
  std::vector<long double> y = Centred(D.Y);
  for (std::size_t c = 0; c < A.size(); ++c) {
    long double Norm = 0;
    for (int i = int(c); i < n; ++i) Norm += A[c][i] * A[c][i];
    Norm = std::copysign(std::sqrt(Norm), A[c][c]);
    std::vector<long double> v(A[c].begin(), A[c].end());
    for (int i = 0; i < int(c); ++i) v[i] = 0;
    v[c] += Norm;
    long double vv = 0;
    for (int i = int(c); i < n; ++i) vv += v[i] * v[i];
    const auto Reflect = [&](std::vector<long double>& u) {
      long double d = 0;
      for (int i = int(c); i < n; ++i) d += v[i] * u[i];
      for (int i = int(c); i < n; ++i) u[i] -= 2 * d / vv * v[i];
    };
    for (std::size_t e = c; e < A.size(); ++e) Reflect(A[e]);
    Reflect(y);
  }
  long double RSS = 0;
  for (int i = int(A.size()); i < n; ++i) RSS += y[i] * y[i];
  return RSS;
}

// The best PerSize of every size by going through all 2^k − 1 subsets.
std::vector<std::vector<std::pair<long double, std::uint32_t>>> Exhaustive(const TDataSet& D, int PerSize) {
  std::vector<std::vector<std::pair<long double, std::uint32_t>>> Sizes(D.K() + 1);
  for (std::uint32_t Terms = 1; Terms < (1u << D.K()); ++Terms)
    Sizes[__builtin_popcount(Terms)].push_back({QrRSS(D, Terms), Terms});
  for (auto& Models : Sizes) {
    std::sort(Models.begin(), Models.end());
    if (Models.size() > std::size_t(PerSize)) Models.resize(PerSize);
  }
  return Sizes;
}

void ExpectExhaustive(const TBestSubsets& B, const TDataSet& D, int PerSize) {
  const auto Want = Exhaustive(D, PerSize);
  std::size_t m = 0;
  for (int s = 1; s <= D.K(); ++s) {
    for (std::size_t r = 0; r < Want[s].size(); ++r, ++m) {
      ASSERT_LT(m, B.Models.size());
      SCOPED_TRACE(::testing::Message() << "size " << s << " rank " << r + 1);
      EXPECT_EQ(B.Models[m].Size, s);
      EXPECT_EQ(B.Models[m].Terms, Want[s][r].second);
      EXPECT_TRUE(AgreesTo(B.Models[m].RSS, Want[s][r].first, 13));
    }
  }
  EXPECT_EQ(m, B.Models.size());
}

TEST_F(BestSubsetsTest, BranchAndBoundFindsWhatEveryFitFinds) {
  // Pure noise of many observations puts the models of a size within a few
  // parts in 10⁴ of each other; PerSize 100 keeps every model of k = 6.
  for (const auto& [k, n, Noise, PerSize] : {std::tuple{12, 150, false, 3}, std::tuple{14, 150, false, 2},
                                             std::tuple{13, 150, true, 4}, std::tuple{10, 3000, true, 3},
                                             std::tuple{6, 150, false, 100}}) {
    SCOPED_TRACE(::testing::Message() << "k " << k << " n " << n << (Noise ? " noise" : ""));
    const TDataSet Data = Correlated(k, n, 1000 + k, Noise);
    ExpectExhaustive(Search(Data, PerSize), Data, PerSize);
  }
}

TEST_F(BestSubsetsTest, ProgressRisesToOne) {
  std::vector<double> Fractions;
  const TBestSubsets B = Search(Correlated(24, 30, 7, true), 1, TSubsetCriterion::scBIC,
                                [&](double f) { Fractions.push_back(f); });
  ASSERT_EQ(B.Models.size(), 24u);
  ASSERT_GT(Fractions.size(), 2u);
  EXPECT_TRUE(std::is_sorted(Fractions.begin(), Fractions.end()));
  EXPECT_GT(Fractions.front(), 0);
  EXPECT_LT(Fractions[Fractions.size() - 2], 1);
  EXPECT_EQ(Fractions.back(), 1);
}

TEST_F(BestSubsetsTest, SingularOrFaultyDataAreReportedAndGiveNothing) {
  TDataSet Data = Correlated(4, 40, 3, false);
  for (int i = 0; i < 40; ++i) Data.Columns[2][i] = 0.1 * Data.Columns[0][i];  // singular to working precision
  testing::TMessageRecorder Messages;
  TBestSubsets B = Search(Data, 1);
  EXPECT_TRUE(B.Models.empty());
  EXPECT_EQ(B.N, 0);
  Data = Correlated(4, 40, 3, false);
  Data.Columns[3][7] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(Search(Data, 1).Models.empty());
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(2, "Error occurred in  MVBestSubsets")));
}

TEST_F(BestSubsetsTest, BadArgumentsGiveTheEmptyResultSilently) {
  testing::Load(*Korlen, Correlated(4, 40, 3, false));
  const TRegressData* X = Korlen->PRegressData;
  const std::vector<double> Short(39);
  const auto Empty = [](const TBestSubsets& B) { return B.N == 0 && B.Models.empty(); };
  testing::TMessageRecorder Messages;
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(nullptr, Korlen->Y, 4, 40, 1, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 0, 40, 1, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 25, 40, 1, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 4, 4, 1, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Short, 4, 40, 1, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 4, 40, 0, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 4, 40, 1, static_cast<TSubsetCriterion>(9))));
  EXPECT_FALSE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 4, 40, 1, TSubsetCriterion::scBIC)));
  // Two equal predictors: the data scan rejects them before anything is fitted.
  (*Korlen->PRegressData)[2] = (*Korlen->PRegressData)[1];
  Korlen->SetScanData(true);
  EXPECT_TRUE(Empty(Korlen->MVBestSubsets(X, Korlen->Y, 4, 40, 1, TSubsetCriterion::scBIC)));
  EXPECT_TRUE(Messages.Texts().empty());
}

}  // namespace
}  // namespace varnel
