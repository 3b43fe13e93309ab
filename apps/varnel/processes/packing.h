// SPDX-License-Identifier: Apache-2.0
// States and rows packed into bytes for the other processes of a run, in
// the memory layout of the machine (every process of a run is the same
// build on the same architecture): numbers, texts and vectors of them. A
// state that crosses processes has a Pack(TPacker&) const and an
// Unpack(TUnpacker&), or a Transfer overload below.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace varnel::cli {

class TPacker {
 public:
  template <class T>
  TPacker& Put(const T& Value) {
    if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
      FBytes.append(reinterpret_cast<const char*>(&Value), sizeof Value);
    } else if constexpr (std::is_same_v<T, std::string>) {
      Put(Value.size());
      FBytes.append(Value);
    } else {
      Put(Value.size());
      if constexpr (std::is_arithmetic_v<typename T::value_type>) {
        FBytes.append(reinterpret_cast<const char*>(Value.data()), Value.size() * sizeof(typename T::value_type));
      } else {
        for (const auto& Item : Value) Put(Item);
      }
    }
    return *this;
  }
  const std::string& Bytes() const { return FBytes; }
  std::string Take() { return std::move(FBytes); }

 private:
  std::string FBytes;
};

class TUnpacker {
 public:
  explicit TUnpacker(std::string_view Bytes) : FBytes(Bytes) {}
  template <class T>
  T Get() {
    T Value{};
    Read(Value);
    return Value;
  }
  template <class T>
  void Read(T& Value) {
    if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
      Copy(&Value, sizeof Value);
    } else if constexpr (std::is_same_v<T, std::string>) {
      Value.resize(Get<std::size_t>());
      Copy(Value.data(), Value.size());
    } else {
      Value.resize(Get<std::size_t>());
      if constexpr (std::is_arithmetic_v<typename T::value_type>) {
        Copy(Value.data(), Value.size() * sizeof(typename T::value_type));
      } else {
        for (auto& Item : Value) Read(Item);
      }
    }
  }
  bool Done() const { return FAt == FBytes.size(); }

 private:
  void Copy(void* Out, std::size_t Size) {
    if (Size > FBytes.size() - FAt) throw std::length_error("a packed state ends early");
    if (Size > 0) std::memcpy(Out, FBytes.data() + FAt, Size);
    FAt += Size;
  }
  std::string_view FBytes;
  std::size_t FAt = 0;
};

}  // namespace varnel::cli
