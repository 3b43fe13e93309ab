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

}  // namespace varnel::testing
