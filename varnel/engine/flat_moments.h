// SPDX-License-Identifier: Apache-2.0
/// \file
/// The flat form of a moments state, for files, other processes and other
/// languages: a byte string of fixed little-endian layout.
///
///   offset  size  field
///        0     8  magic "VNLMOMTS"
///        8     4  version (u32)
///       12     4  0 (u32)
///       16     8  p, count of complete rows, rows left out (3 × u64)
///       40  48·p  per column: shift, min, max (f64), missing (u64),
///                 mean about the shift (ext)
///        …  16·t  co-moments of the lower triangle, row by row: (0,0),
///                 (1,0), (1,1), (2,0), …; t = p(p+1)/2 (ext)
///        …     8  FNV-1a 64 of every byte before it (u64)
///
/// An ext is an x87 80-bit extended value in its own 10-byte little-endian
/// form (64-bit significand, then sign and exponent) and 6 zero bytes, so
/// that the long doubles travel exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// The version of the layout that ToFlat writes and FromFlat reads.
inline constexpr std::uint32_t kFlatMomentsVersion = 1;

/// The flat form of State, in the layout above; FromFlat gives the same
/// state back, bit for bit. A weighted state has none: EEngineError.
VARNEL_API std::vector<std::byte> ToFlat(const TMoments& State);

/// Throws EFlatStateError for a wrong magic, version, size or checksum, and
/// for a field no accumulation produces (a non-finite mean or co-moment, a
/// negative sum of squares, a range that is not one). Never reads outside
/// Flat.
VARNEL_API TMoments FromFlat(std::span<const std::byte> Flat);

}  // namespace varnel::engine
