// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/flat_moments.h"

#include <gtest/gtest.h>

#include <cmath>

#include "varnel/engine/errors.h"

namespace varnel::engine {
namespace {

TMoments Sample() {
  const std::vector<std::vector<double>> Columns = {{1e9 + 0.25, 1e9 - 3, 1e9 + 7.5, std::nan("")},
                                                    {-2, 0.1, 1.0 / 3, 4},
                                                    {5, 6, 7.25, 8}};
  TMoments S(3);
  S.Add(MakeBatch(Columns));
  return S;
}

TEST(EngineFlatTest, RoundTripKeepsEveryBit) {
  for (const TMoments& S : {Sample(), TMoments(3), TMoments(0)}) {
    const std::vector<std::byte> Flat = ToFlat(S);
    const TMoments Back = FromFlat(Flat);
    EXPECT_EQ(ToFlat(Back), Flat);
    ASSERT_EQ(Back.P(), S.P());
    EXPECT_EQ(Back.Count(), S.Count());
    EXPECT_EQ(Back.Incomplete(), S.Incomplete());
    for (std::size_t j = 0; j < S.P(); ++j) {
      EXPECT_EQ(Back.Mean(j), S.Mean(j));
      EXPECT_EQ(Back.Min(j), S.Min(j));
      EXPECT_EQ(Back.Missing(j), S.Missing(j));
      for (std::size_t k = 0; k < S.P(); ++k) EXPECT_EQ(Back.CoMoment(j, k), S.CoMoment(j, k));
    }
  }
  // The layout's fixed fields: magic, version, p.
  const std::vector<std::byte> Flat = ToFlat(Sample());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Flat.data()), 8), "VNLMOMTS");
  EXPECT_EQ(std::to_integer<int>(Flat[8]), 1);
  EXPECT_EQ(std::to_integer<int>(Flat[16]), 3);
  EXPECT_EQ(Flat.size(), 40u + 3 * 48 + 6 * 16 + 8);
}

// Every prefix, one byte more, and every single changed byte are refused.
TEST(EngineFlatTest, DamagedFormsAreRefused) {
  const std::vector<std::byte> Flat = ToFlat(Sample());
  const std::span<const std::byte> All(Flat);
  for (std::size_t n = 0; n < Flat.size(); ++n) EXPECT_THROW(FromFlat(All.first(n)), EFlatStateError) << n;
  std::vector<std::byte> Longer = Flat;
  Longer.push_back(std::byte{0});
  EXPECT_THROW(FromFlat(Longer), EFlatStateError);
  for (std::size_t i = 0; i < Flat.size(); ++i) {
    std::vector<std::byte> Damaged = Flat;
    Damaged[i] ^= std::byte{0x10};
    EXPECT_THROW(FromFlat(Damaged), EFlatStateError) << "byte " << i;
  }
}

}  // namespace
}  // namespace varnel::engine
