// SPDX-License-Identifier: Apache-2.0
#include "processes/processes.h"

#include <new>
#include <stdexcept>
#include <tuple>

#include <varnel/core/faults.h>

#include "csv_table.h"
#include "posix_io.h"
#include "processes/packing.h"

namespace varnel::cli {
namespace {

// The kinds the tool turns into its exit statuses.
enum class TKind : unsigned char { None, Input, Write, Fault, Memory, Other };

std::pair<TKind, std::string> KindOf(const std::exception_ptr& Error) {
  if (!Error) return {TKind::None, {}};
  try {
    std::rethrow_exception(Error);
  } catch (const TInputError& E) {
    return {TKind::Input, E.what()};
  } catch (const TWriteError& E) {
    return {TKind::Write, E.what()};
  } catch (const EVarnelError& E) {
    return {TKind::Fault, E.what()};
  } catch (const std::bad_alloc&) {
    return {TKind::Memory, {}};
  } catch (const std::exception& E) {
    return {TKind::Other, E.what()};
  }
}

[[noreturn]] void Throw(TKind Kind, const std::string& Message) {
  switch (Kind) {
    case TKind::Input: throw TInputError(Message);
    case TKind::Write: throw TWriteError(Message);
    case TKind::Fault: throw EVarnelError(Message);
    case TKind::Memory: throw std::bad_alloc();
    default: throw std::runtime_error(Message);
  }
}

}  // namespace

TProcesses& OneProcess() {
  static TOneProcess Alone;
  return Alone;
}

void Agree(TProcesses& Processes, std::exception_ptr Error, std::size_t Block) {
  if (Processes.Count() == 1) {
    if (Error) std::rethrow_exception(Error);
    return;
  }
  const auto [Kind, Message] = KindOf(Error);
  TPacker Out;
  Out.Put(static_cast<unsigned char>(Kind)).Put(Block).Put(Message);
  std::tuple<std::size_t, int, TKind, std::string> First{kNoBlock, -1, TKind::None, {}};
  const std::vector<std::string> All = Processes.AllGather(Out.Bytes());
  for (int Rank = 0; Rank < static_cast<int>(All.size()); ++Rank) {
    TUnpacker In(All[Rank]);
    const auto Theirs = static_cast<TKind>(In.Get<unsigned char>());
    const auto TheirBlock = In.Get<std::size_t>();
    std::string Text = In.Get<std::string>();
    if (Theirs == TKind::None) continue;
    if (std::get<1>(First) < 0 || TheirBlock < std::get<0>(First)) First = {TheirBlock, Rank, Theirs, std::move(Text)};
  }
  if (std::get<1>(First) < 0) return;
  if (std::get<1>(First) == Processes.Rank()) std::rethrow_exception(Error);
  Throw(std::get<2>(First), std::get<3>(First));
}

}  // namespace varnel::cli
