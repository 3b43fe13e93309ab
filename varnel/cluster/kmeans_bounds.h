// SPDX-License-Identifier: Apache-2.0
// Bounds on the distances of each observation to the k-means centres, kept
// so that a step can pass over an observation whose decision they settle
// and still make exactly the decisions it would make from every distance.
// Each observation has an upper bound on its distance to one centre,
// Near(t), a lower bound on its distance to another, Next(t) (the next
// nearest when the bounds were set), and a lower bound on its distances to
// all the rest; a centre that moves widens only the bounds it is part of,
// and the one on all the rest by at most the largest move among them.
//
// Two kinds of distance meet here. The true distance is the real-number
// Euclidean distance between the observation and the centre as stored. The
// computed square is what the steps compare: the sum of the squared
// differences, variable by variable, in double arithmetic. The bounds are on
// true distances, because only those obey the triangle inequality that
// carries a bound across a centre's move; AtLeast and AtMost turn them into
// bounds on the computed square. Every conversion and every update leans
// outwards by a relative slack far above the rounding of a sum of at most
// 24 squares (about 26 units in the last place), plus an absolute one above
// what underflow can lose, so a bound never settles a decision that the
// computed squares would make otherwise, ties included.
//
// Centres move within epochs (a Lloyd iteration, a pass of single moves).
// A centre's shift is its distance from where it stood when the epoch
// began. Bounds are kept as bounds on the distances to those starting
// places: a bound set in mid-epoch is widened by the shift then, and one
// read is widened by the shift now, so that centres can move without the
// observations being visited. At the end of an epoch every bound is carried
// to the places where the next one begins, in one sweep.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace varnel {

class TBounds {
 public:
  static constexpr double kSlack = 1e-12;   // relative
  static constexpr double kFloor = 1e-300;  // absolute, on squares
  static constexpr double kFar = 1e300;     // a lower bound where there is no other centre

  // Bounds on the true distance from a computed square D2.
  static double TrueLower(double D2) { return std::sqrt(std::max(0.0, D2 * (1 - 4 * kSlack) - kFloor)); }
  static double TrueUpper(double D2) { return std::sqrt(D2 * (1 + 4 * kSlack) + kFloor); }
  // Bounds on the computed square from bounds on the true distance (a
  // lower bound that has drifted below 0 says nothing).
  static double AtLeast(double Lower) { return Lower > 0 ? Lower * Lower * (1 - 4 * kSlack) - kFloor : -kFloor; }
  static double AtMost(double Upper) { return Upper * Upper * (1 + 4 * kSlack) + kFloor; }

  // N observations, K centres of k variables; the first epoch begins with
  // the first Settle. Every bound must be set before it is read.
  void Reset(int N, int K, int k);

  int Near(int t) const { return FNear[t]; }
  int Next(int t) const { return FNext[t]; }  // Near(t) when there is none
  // The bounds of observation t as they stand now: on its true distance to
  // Near(t), to Next(t), to every centre but those two, and to every centre
  // but Near(t).
  double Upper(int t) const { return Raised(FUpper[t], FShift[FNear[t]]); }
  double ToNext(int t) const { return Lowered(FToNext[t], FShift[FNext[t]]); }
  double Beyond(int t) const { return Lowered(FBeyond[t], MostBut(FNear[t], FNext[t])); }
  double Lower(int t) const { return std::min(ToNext(t), Beyond(t)); }

  // Observation t is at computed square D2 from centre c, at least ToNext
  // (a true distance) from centre Next (−1: none) and at least Beyond from
  // every other one.
  void Set(int t, int c, double D2, int Next, double ToNext, double Beyond);
  // Observation t is at computed square D2 from Near(t), or from Next(t).
  void SetUpper(int t, double D2) { FUpper[t] = Raised(TrueUpper(D2), FShift[FNear[t]]); }
  void SetNext(int t, double D2) { FToNext[t] = Lowered(TrueLower(D2), FShift[FNext[t]]); }

  // Centre c now stands at Centre.
  void Moved(int c, const double* Centre);
  // How many moves of a centre the epoch has seen.
  int Moves() const { return FMoves; }
  // Ends the epoch; the next begins where the K centres, cluster by
  // cluster, now stand.
  void Settle(const double* Centres);

 private:
  // Value ± By (By ≥ 0), rounded outwards by more than the rounding of
  // the sum: an upper bound raised, a lower one lowered.
  static double Raised(double Value, double By) { return Value + By + kSlack * (std::fabs(Value) + By); }
  static double Lowered(double Value, double By) { return Value - By - kSlack * (std::fabs(Value) + By); }
  // The largest shift this epoch of any centre but a and b: the three
  // centres that have shifted the most hold it whatever a and b are.
  double MostBut(int a, int b) const {
    for (const int c : FMost) {
      if (c != a && c != b) return c < 0 ? 0 : FReach[c];
    }
    return 0;
  }

  int FK = 0, Fk = 0;
  // On the distances to where the centres began the epoch.
  std::vector<double> FUpper, FToNext, FBeyond;
  std::vector<int> FNear, FNext;
  std::vector<double> FAt;     // where the centres began the epoch
  std::vector<double> FShift;  // [c], now
  std::vector<double> FReach;  // [c], the largest this epoch
  std::array<int, 3> FMost{-1, -1, -1};  // the centres of the three largest reaches, largest first
  int FMoves = 0;
};

}  // namespace varnel
