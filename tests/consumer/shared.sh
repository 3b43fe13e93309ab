#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the library shared, installs it into a scratch prefix, and builds
# and runs tests/consumer/main.cpp through pkg-config alone, as a Makefile
# outside CMake would. Also checks that the shared library exports the
# public API and nothing of the internals.
# Usage: tests/consumer/shared.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
log="$work/log"
run() { "$@" >>"$log" 2>&1 || { cat "$log"; echo "failed: $*" >&2; exit 1; }; }

# Unoptimised and without debug information, the quickest build: what is
# checked is linking and exports, not speed.
run cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=None -DBUILD_SHARED_LIBS=ON \
  -DVARNEL_BUILD_TESTS=OFF -DVARNEL_BUILD_TOOLS=OFF -DVARNEL_BUILD_EXAMPLES=OFF
run cmake --build "$work/build"
run cmake --install "$work/build" --prefix "$work/prefix"

prefix="$work/prefix"
libdir=$(dirname "$(find "$prefix" -name varnel.pc)")/..
export PKG_CONFIG_PATH="$libdir/pkgconfig"
run g++ -Wall -Wextra -o "$work/consumer" "$source_dir/tests/consumer/main.cpp" \
  $(pkg-config --cflags --libs varnel)
LD_LIBRARY_PATH="$libdir" "$work/consumer" || { echo "the consumer failed against the shared library" >&2; exit 1; }

# The library's own names among its dynamic symbols: the public classes and
# functions, the engine's (varnel/engine.h), and the few internals that the
# varnel tool calls. A name that is newly marked VARNEL_API is added here.
exported='^(typeinfo for |typeinfo name for |vtable for |VTT for )?varnel::(engine::|TKorlen|TComponent|TScopedMessageHandler|E[A-Za-z]*(Error|Divide|Op|Overflow))\b|^varnel::(SetMessageHandler|ShowMessage|ShowMessageText|MessageDlg|RegisterComponentClass|IsComponentClassRegistered|CreateComponentByClassName|WriteComponentToText|ReadComponentFromText|ShapeMoments|[A-Za-z]+(Probability|Quantile)|StudentTTwoSided|FindAliasing|TermVIFs|StepwiseAICOfTerms|Register|ComponentEditorOf)(\[abi:[a-z0-9]+\])?\('
# The dynamic symbols Library defines, in $symbols; fails when one of its
# varnel:: names is not matched by the pattern Allowed.
exports_only() {
  local library=$1 allowed=$2 leaked
  # Read whole before grep -q, which stops at the first match: under
  # pipefail nm's SIGPIPE would fail the pipeline.
  symbols=$(nm -DC --defined-only "$library")
  leaked=$(cut -d' ' -f3- <<<"$symbols" | grep -E '^((typeinfo|vtable|VTT)[a-z ]* for )?varnel::' |
    grep -Ev "$allowed" || true)
  if [ -n "$leaked" ]; then
    echo "$(basename "$library") exports internal names:" >&2
    echo "$leaked" | head -20 >&2
    exit 1
  fi
}
library=$(find "$prefix" -name 'libvarnel.so.*.*.*')
exports_only "$library" "$exported"
grep -q 'varnel::TKorlen::MVRegression' <<<"$symbols" ||
  { echo "the shared library does not export TKorlen" >&2; exit 1; }

# The MPI part, where MPI was found: a library of its own exporting the
# names of varnel/mpi.h and nothing else, which the main library does not
# need.
mpi_library=$(find "$prefix" -name 'libvarnel_mpi.so.*.*.*')
if [ -n "$mpi_library" ]; then
  exports_only "$mpi_library" '^varnel::mpi::(AllGather|AllMergeNodes|AllMerge|AccumulateDistributed|detail::ExchangeNodes)\('
  grep -q 'varnel::mpi::AccumulateDistributed' <<<"$symbols" ||
    { echo "the MPI library does not export its functions" >&2; exit 1; }
fi
if readelf -d "$library" | grep -q 'NEEDED.*libmpi'; then
  echo "the main library links MPI" >&2
  exit 1
fi
