// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/flat_moments.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "varnel/engine/errors.h"

namespace varnel::engine {
namespace {

static_assert(std::endian::native == std::endian::little, "the flat form is written in the host's byte order");
static_assert(std::numeric_limits<long double>::digits == 64, "the flat form holds x87 extended values");

constexpr char kMagic[8] = {'V', 'N', 'L', 'M', 'O', 'M', 'T', 'S'};
constexpr std::size_t kHeaderBytes = 40, kColumnBytes = 48, kExtBytes = 16, kExtUsed = 10, kSumBytes = 8;
constexpr std::size_t kMaxColumns = std::size_t{1} << 24;  // keeps every size below far from overflow

std::uint64_t Fnv1a(std::span<const std::byte> Bytes) {
  std::uint64_t Hash = 14695981039346656037ull;
  for (const std::byte b : Bytes) Hash = (Hash ^ std::to_integer<std::uint64_t>(b)) * 1099511628211ull;
  return Hash;
}

class TWriter {
 public:
  std::vector<std::byte> Bytes;
  void Raw(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::byte*>(p);
    Bytes.insert(Bytes.end(), b, b + n);
  }
  void U32(std::uint32_t v) { Raw(&v, sizeof v); }
  void U64(std::uint64_t v) { Raw(&v, sizeof v); }
  void F64(double v) { Raw(&v, sizeof v); }
  void Ext(long double v) {
    Raw(&v, kExtUsed);
    Bytes.resize(Bytes.size() + kExtBytes - kExtUsed, std::byte{0});
  }
};

class TReader {
 public:
  explicit TReader(std::span<const std::byte> Bytes) : FBytes(Bytes) {}
  void Raw(void* p, std::size_t n) {
    if (n > FBytes.size() - FAt) throw EFlatStateError("flat state is truncated");
    std::memcpy(p, FBytes.data() + FAt, n);
    FAt += n;
  }
  std::uint32_t U32() { return Get<std::uint32_t>(); }
  std::uint64_t U64() { return Get<std::uint64_t>(); }
  double F64() { return Get<double>(); }
  long double Ext() {
    long double v = 0;
    Raw(&v, kExtUsed);
    unsigned char Padding[kExtBytes - kExtUsed];
    Raw(Padding, sizeof Padding);
    for (const unsigned char b : Padding) {
      if (b != 0) throw EFlatStateError("flat state has a malformed extended value");
    }
    if (!std::isfinite(v)) throw EFlatStateError("flat state has a non-finite mean or co-moment");
    return v;
  }

 private:
  template <class T>
  T Get() {
    T v;
    Raw(&v, sizeof v);
    return v;
  }
  std::span<const std::byte> FBytes;
  std::size_t FAt = 0;
};

std::size_t FlatSize(std::size_t P) {
  return kHeaderBytes + kColumnBytes * P + kExtBytes * (P * (P + 1) / 2) + kSumBytes;
}

void CheckHeader(std::span<const std::byte> Flat, TReader& In, std::size_t& P) {
  char Magic[sizeof kMagic];
  In.Raw(Magic, sizeof Magic);
  if (std::memcmp(Magic, kMagic, sizeof kMagic) != 0) throw EFlatStateError("not a flat moments state");
  const std::uint32_t Version = In.U32();
  if (Version != kFlatMomentsVersion) {
    throw EFlatStateError("flat moments state of version " + std::to_string(Version) + " is not supported");
  }
  if (In.U32() != 0) throw EFlatStateError("flat state has a malformed header");
  const std::uint64_t Columns = In.U64();
  if (Columns > kMaxColumns || FlatSize(Columns) != Flat.size()) {
    throw EFlatStateError("flat state size does not match its number of columns");
  }
  P = Columns;
  std::uint64_t Sum = 0;
  std::memcpy(&Sum, Flat.data() + Flat.size() - kSumBytes, kSumBytes);
  if (Sum != Fnv1a(Flat.first(Flat.size() - kSumBytes))) throw EFlatStateError("flat state checksum does not match");
}

// What an accumulation can produce: finite shifts, a range or the empty
// range, and sums of squares that are not negative.
void CheckFields(const TMoments::TFields& F) {
  for (std::size_t j = 0; j < F.P; ++j) {
    const bool Empty = F.Min[j] == HUGE_VAL && F.Max[j] == -HUGE_VAL;
    const bool Range = std::isfinite(F.Min[j]) && std::isfinite(F.Max[j]) && F.Min[j] <= F.Max[j];
    if (!std::isfinite(F.Shift[j]) || !(Empty || Range) || !(F.CoMoment[j * F.P + j] >= 0)) {
      throw EFlatStateError("flat state holds values no accumulation produces");
    }
  }
}

}  // namespace

std::vector<std::byte> ToFlat(const TMoments& State) {
  if (State.Weighted()) throw EEngineError("a weighted moments state has no flat form");
  const std::size_t P = State.P();
  TWriter Out;
  Out.Bytes.reserve(FlatSize(P));
  Out.Raw(kMagic, sizeof kMagic);
  Out.U32(kFlatMomentsVersion);
  Out.U32(0);
  Out.U64(P);
  Out.U64(State.Count());
  Out.U64(State.Incomplete());
  for (std::size_t j = 0; j < P; ++j) {
    Out.F64(State.Shift(j));
    Out.F64(State.Min(j));
    Out.F64(State.Max(j));
    Out.U64(State.Missing(j));
    Out.Ext(State.MeanAboutShift(j));
  }
  for (std::size_t j = 0; j < P; ++j) {
    for (std::size_t k = 0; k <= j; ++k) Out.Ext(State.CoMoment(j, k));
  }
  Out.U64(Fnv1a(Out.Bytes));
  return std::move(Out.Bytes);
}

TMoments FromFlat(std::span<const std::byte> Flat) {
  TReader In(Flat);
  std::size_t P = 0;
  CheckHeader(Flat, In, P);
  TMoments::TFields F;
  F.P = P;
  F.Count = In.U64();
  F.Incomplete = In.U64();
  F.Shift.resize(P), F.Min.resize(P), F.Max.resize(P), F.Missing.resize(P), F.MeanAboutShift.resize(P);
  F.CoMoment.resize(P * P);
  for (std::size_t j = 0; j < P; ++j) {
    F.Shift[j] = In.F64();
    F.Min[j] = In.F64();
    F.Max[j] = In.F64();
    F.Missing[j] = In.U64();
    F.MeanAboutShift[j] = In.Ext();
  }
  for (std::size_t j = 0; j < P; ++j) {
    for (std::size_t k = 0; k <= j; ++k) F.CoMoment[j * P + k] = F.CoMoment[k * P + j] = In.Ext();
  }
  CheckFields(F);
  return TMoments(std::move(F));
}

}  // namespace varnel::engine
