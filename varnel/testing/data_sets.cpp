// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/data_sets.h"

#include <random>

namespace varnel::testing {

TDataSet ExampleData() { return {{{1, 2, 3, 4, 5}, {21, 20, 25, 24, 26}}, {12, 23, 46, 32, 39}}; }

TDataSet LongleyData() {
  TDataSet Data;
  Data.Columns = {
      {83.0, 88.5, 88.2, 89.5, 96.2, 98.1, 99.0, 100.0, 101.2, 104.6, 108.4, 110.8, 112.6, 114.2, 115.7, 116.9},
      {234289, 259426, 258054, 284599, 328975, 346999, 365385, 363112, 397469, 419180, 442769, 444546, 482704,
       502601, 518173, 554894},
      {2356, 2325, 3682, 3351, 2099, 1932, 1870, 3578, 2904, 2822, 2936, 4681, 3813, 3931, 4806, 4007},
      {1590, 1456, 1616, 1650, 3099, 3594, 3547, 3350, 3048, 2857, 2798, 2637, 2552, 2514, 2572, 2827},
      {107608, 108632, 109773, 110929, 112075, 113270, 115094, 116219, 117388, 118734, 120445, 121950, 123366,
       125368, 127852, 130081},
      {1947, 1948, 1949, 1950, 1951, 1952, 1953, 1954, 1955, 1956, 1957, 1958, 1959, 1960, 1961, 1962},
  };
  Data.Y = {60323, 61122, 60171, 61187, 63221, 63639, 64989, 63761,
            66019, 67857, 68169, 66513, 68655, 69564, 69331, 70551};
  return Data;
}

TDataSet MtcarsData() {
  TDataSet Data;
  Data.Columns = {
      {6, 6, 4, 6, 8, 6, 8, 4, 4, 6, 6, 8, 8, 8, 8, 8, 8, 4, 4, 4, 4, 8, 8, 8, 8, 4, 4, 4, 8, 6, 8, 4},
      {160, 160, 108, 258, 360, 225, 360, 146.7, 140.8, 167.6, 167.6, 275.8, 275.8, 275.8, 472, 460,
       440, 78.7, 75.7, 71.1, 120.1, 318, 304, 350, 400, 79, 120.3, 95.1, 351, 145, 301, 121},
      {110, 110, 93, 110, 175, 105, 245, 62, 95, 123, 123, 180, 180, 180, 205, 215,
       230, 66, 52, 65, 97, 150, 150, 245, 175, 66, 91, 113, 264, 175, 335, 109},
      {3.9, 3.9, 3.85, 3.08, 3.15, 2.76, 3.21, 3.69, 3.92, 3.92, 3.92, 3.07, 3.07, 3.07, 2.93, 3,
       3.23, 4.08, 4.93, 4.22, 3.7, 2.76, 3.15, 3.73, 3.08, 4.08, 4.43, 3.77, 4.22, 3.62, 3.54, 4.11},
      {2.62, 2.875, 2.32, 3.215, 3.44, 3.46, 3.57, 3.19, 3.15, 3.44, 3.44, 4.07, 3.73, 3.78, 5.25, 5.424,
       5.345, 2.2, 1.615, 1.835, 2.465, 3.52, 3.435, 3.84, 3.845, 1.935, 2.14, 1.513, 3.17, 2.77, 3.57, 2.78},
      {16.46, 17.02, 18.61, 19.44, 17.02, 20.22, 15.84, 20, 22.9, 18.3, 18.9, 17.4, 17.6, 18, 17.98, 17.82,
       17.42, 19.47, 18.52, 19.9, 20.01, 16.87, 17.3, 15.41, 17.05, 18.9, 16.7, 16.9, 14.5, 15.5, 14.6, 18.6},
      {0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1},
      {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1},
      {4, 4, 4, 3, 3, 3, 3, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 4, 4, 4, 3, 3, 3, 3, 3, 4, 5, 5, 5, 5, 5, 4},
      {4, 4, 1, 1, 2, 1, 4, 2, 2, 4, 4, 3, 3, 3, 4, 4, 4, 1, 2, 1, 1, 2, 2, 4, 2, 1, 2, 2, 4, 6, 8, 2},
  };
  Data.Y = {21, 21, 22.8, 21.4, 18.7, 18.1, 14.3, 24.4, 22.8, 19.2, 17.8, 16.4, 17.3, 15.2, 10.4, 10.4,
            14.7, 32.4, 30.4, 33.9, 21.5, 15.5, 15.2, 13.3, 19.2, 27.3, 26, 30.4, 15.8, 19.7, 15, 21.4};
  return Data;
}

TDataSet RandomData(int k, int n, std::uint32_t Seed) {
  std::mt19937 Engine(Seed);
  std::uniform_real_distribution<double> Unit(0.0, 1.0);
  TDataSet Data;
  Data.Columns.assign(k, std::vector<double>(n));
  std::vector<double> Coefficients(k);
  for (int j = 0; j < k; ++j) {
    const double Scale = 1.0 + j;
    for (int i = 0; i < n; ++i) Data.Columns[j][i] = Scale * (0.5 + Unit(Engine));
    Coefficients[j] = Unit(Engine) * 4 - 2;
  }
  Data.Y.resize(n);
  for (int i = 0; i < n; ++i) {
    double y = 3.0 + 4 * (Unit(Engine) - 0.5);
    for (int j = 0; j < k; ++j) y += Coefficients[j] * Data.Columns[j][i];
    Data.Y[i] = y;
  }
  return Data;
}

TVector Vec(std::initializer_list<long double> Values) {
  TVector v{};
  int i = 0;
  for (long double x : Values) {
    if (i < static_cast<int>(v.size())) v[i++] = x;
  }
  return v;
}

void Load(TKorlen& Korlen, const TDataSet& Data) {
  for (int j = 0; j < Data.K(); ++j) {
    for (int i = 0; i < Data.N(); ++i) (*Korlen.PRegressData)[j + 1][i] = Data.Columns[j][i];
  }
  for (int i = 0; i < Data.N(); ++i) Korlen.Y[i] = Data.Y[i];
  Korlen.MVPrepare();
}

TMatrix RandomSymmetric(int n, unsigned Seed) {
  std::mt19937 Engine(Seed);
  std::uniform_real_distribution<double> Unit(-1.0, 1.0);
  TMatrix A{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= i; ++j) A[i][j] = A[j][i] = Unit(Engine);
  }
  return A;
}

TDataSet TimestampData(const TDraws& Draws, double t0, double Step, int n, double Slope) {
  TDataSet D;
  D.Columns.assign(1, {});
  for (int i = 0; i < n; ++i) {
    D.Columns[0].push_back(t0 + Step * i);
    D.Y.push_back(12 + Slope * Step * i + Draws.Noise(Draws.Engine));
  }
  return D;
}

TDataSet OffsetData(const TDraws& Draws, double c, int n) {
  TDataSet D;
  D.Columns.assign(2, {});
  for (int i = 0; i < n; ++i) {
    const double u = Draws.Unit(Draws.Engine), v = Draws.Unit(Draws.Engine);
    D.Columns[0].push_back(c + u);
    D.Columns[1].push_back(c * 0.5 + v);
    D.Y.push_back(3 + 2 * u - v + 0.1 * Draws.Noise(Draws.Engine));
  }
  return D;
}

}  // namespace varnel::testing
