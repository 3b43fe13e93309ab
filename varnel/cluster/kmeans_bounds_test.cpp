// SPDX-License-Identifier: Apache-2.0
#include "varnel/cluster/kmeans_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace varnel {
namespace {

// Observations and centres that move, with the bounds kept on them; every
// check compares the bounds with distances computed afresh: the computed
// square as the k-means steps form it, and the true distance in extended
// precision (some 18 digits, far inside the bounds' slack of 12).
class TMovingCentres {
 public:
  static constexpr int N = 40, K = 7, k = 5;

  TMovingCentres(double Scale, std::uint64_t Seed) : FScale(Scale), FRandom(Seed) {
    for (double& v : FX) v = Draw();
    for (double& v : FC) v = Draw();
    FAt = FC;
    FB.Reset(N, K, k);
    for (int t = 0; t < N; ++t) SetExact(t);
    FB.Settle(FC.data());
  }
  double Draw() { return std::normal_distribution<double>(0, FScale)(FRandom); }
  int Any(int Count) { return static_cast<int>(FRandom() % Count); }

  // The bounds of t from its exact squares, as the steps set them.
  void SetExact(int t) {
    std::vector<int> Order(K);
    for (int c = 0; c < K; ++c) Order[c] = c;
    std::sort(Order.begin(), Order.end(), [&](int a, int b) { return Square(t, a) < Square(t, b); });
    FB.Set(t, Order[0], Square(t, Order[0]), Order[1], TBounds::TrueLower(Square(t, Order[1])),
           TBounds::TrueLower(Square(t, Order[2])));
  }
  // A centre steps a little, jumps, returns to where the epoch began, or
  // lands on an observation.
  void MoveACentre() {
    const int c = Any(K), How = Any(4), t = Any(N);
    for (int j = 0; j < k; ++j) {
      double& v = FC[c * k + j];
      v = How == 0 ? v + Draw() / 50 : How == 1 ? v + 3 * Draw() : How == 2 ? FAt[c * k + j] : FX[t * k + j];
    }
    FB.Moved(c, &FC[c * k]);
  }
  // An epoch begins; the centre next nearest observation t (Rank 1) or
  // third nearest (Rank 2) steps away from it, t's bounds on that centre are
  // set anew, and the centre steps as far the other way, past where it began
  // and close to t: a bound set in mid-epoch must allow for the way back as
  // well as the way on.
  void Ambush(int Rank) {
    Settle();
    const int t = Any(N);
    SetExact(t);
    std::vector<int> Order(K);
    for (int c = 0; c < K; ++c) Order[c] = c;
    std::sort(Order.begin(), Order.end(), [&](int a, int b) { return Square(t, a) < Square(t, b); });
    const int c = Order[Rank];
    for (const double Step : {0.9, -0.9}) {
      for (int j = 0; j < k; ++j) FC[c * k + j] = FAt[c * k + j] + Step * (FAt[c * k + j] - FX[t * k + j]);
      FB.Moved(c, &FC[c * k]);
      if (Step < 0) break;
      if (Rank == 1) {
        FB.SetNext(t, Square(t, c));
      } else {
        SetExact(t);
      }
    }
  }
  void Settle() {
    FB.Settle(FC.data());
    FAt = FC;
  }

  double Square(int t, int c) const {
    double s = 0;
    for (int j = 0; j < k; ++j) s += (FX[t * k + j] - FC[c * k + j]) * (FX[t * k + j] - FC[c * k + j]);
    return s;
  }
  long double Distance(int t, int c) const {
    long double s = 0;
    for (int j = 0; j < k; ++j) s += std::pow(static_cast<long double>(FX[t * k + j]) - FC[c * k + j], 2);
    return std::sqrt(s);
  }

  void ExpectBoundsHold(const std::string& When) const {
    for (int t = 0; t < N; ++t) {
      const int Near = FB.Near(t);
      EXPECT_GE(FB.Upper(t), Distance(t, Near)) << When << ", observation " << t;
      EXPECT_GE(TBounds::AtMost(FB.Upper(t)), Square(t, Near)) << When << ", observation " << t;
      for (int c = 0; c < K; ++c) {
        if (c == Near) continue;
        EXPECT_LE(FB.Lower(t), Distance(t, c)) << When << ", observation " << t << ", centre " << c;
        EXPECT_LE(TBounds::AtLeast(FB.Lower(t)), Square(t, c)) << When << ", observation " << t << ", centre " << c;
      }
    }
  }
  // Right after being set from exact squares, with nothing moved since, the
  // bounds are the distances to some 11 digits, not merely safe (where the
  // squares are far above the absolute slack).
  void ExpectTight(int t) const {
    std::vector<long double> Others;
    for (int c = 0; c < K; ++c) {
      if (c != FB.Near(t)) Others.push_back(Distance(t, c));
    }
    const long double Own = Distance(t, FB.Near(t)), Next = *std::min_element(Others.begin(), Others.end());
    EXPECT_NEAR(FB.Upper(t), Own, 1e-11L * Own);
    EXPECT_NEAR(FB.Lower(t), Next, 1e-11L * Next);
  }

  TBounds FB;

 private:
  double FScale;
  std::mt19937_64 FRandom;
  std::vector<double> FX = std::vector<double>(N * k), FC = std::vector<double>(K * k);
  std::vector<double> FAt;  // where the centres began the epoch
};

// Moves of every size and direction within epochs, bounds set anew in
// mid-epoch, epochs ended: the bounds hold throughout, at ordinary scales
// and at ones where the squares underflow to subnormals or near overflow.
TEST(KMeansBoundsTest, BoundsHoldAsCentresMoveAndEpochsEnd) {
  for (const double Scale : {1.0, 1e-160, 1e140}) {
    TMovingCentres W(Scale, 11);
    for (int t = 0; t < W.N && Scale >= 1; ++t) W.ExpectTight(t);
    for (int Step = 0; Step < 300; ++Step) {
      const int What = W.Any(10);
      if (What < 6) {
        W.MoveACentre();
      } else if (What == 6) {
        const int t = W.Any(W.N);  // the own and the next distance computed afresh, as the steps do
        W.FB.SetUpper(t, W.Square(t, W.FB.Near(t)));
        W.FB.SetNext(t, W.Square(t, W.FB.Next(t)));
      } else if (What == 7) {
        W.SetExact(W.Any(W.N));
      } else if (What == 8) {
        W.Ambush(1 + W.Any(2));
      } else {
        W.Settle();
      }
      W.ExpectBoundsHold("scale " + std::to_string(Scale) + ", step " + std::to_string(Step));
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace varnel
