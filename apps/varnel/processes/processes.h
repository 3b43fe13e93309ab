// SPDX-License-Identifier: Apache-2.0
// The processes that run one analysis together (under mpirun), or the one
// process that runs it alone. Each process reads a part of the data; what
// they exchange is bytes: states in their packed form, rows for rank 0 to
// write, and the outcome of each pass, so that an error in any process ends
// the run on every one with the same message.
#pragma once

#include <cstddef>
#include <exception>
#include <limits>
#include <string>
#include <vector>

namespace varnel::cli {

class TProcesses {
 public:
  virtual ~TProcesses() = default;
  virtual int Rank() const = 0;
  virtual int Count() const = 0;
  // The processes on this machine, which share its cores.
  virtual int LocalCount() const { return 1; }
  // Every process's Bytes, in rank order, on every process.
  virtual std::vector<std::string> AllGather(const std::string& Bytes) = 0;
  // Rank 0's messages from one process, in the order it sent them.
  virtual void SendToFirst(const std::string& Bytes) = 0;
  virtual std::string ReceiveFrom(int Rank) = 0;
};

// The process alone: gathering gives back its own bytes.
class TOneProcess final : public TProcesses {
 public:
  int Rank() const override { return 0; }
  int Count() const override { return 1; }
  std::vector<std::string> AllGather(const std::string& Bytes) override { return {Bytes}; }
  void SendToFirst(const std::string&) override {}
  std::string ReceiveFrom(int) override { return {}; }
};

TProcesses& OneProcess();

inline constexpr std::size_t kNoBlock = std::numeric_limits<std::size_t>::max();

// Every process says how its step ended (Error null when it succeeded;
// Block the data block it failed on, kNoBlock when none): when any failed,
// every process throws the error of the lowest block, the lowest rank
// among equals, as the same kind of error with the same message, so that
// the run ends as one process reading everything would end it.
void Agree(TProcesses& Processes, std::exception_ptr Error, std::size_t Block = kNoBlock);

}  // namespace varnel::cli
