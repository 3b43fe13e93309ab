// SPDX-License-Identifier: Apache-2.0
// The states and row parts that processes exchange, packed member by
// member: moments in the engine's flat form, a type with a static
// Members(Self&, Visit) each of its members, and numbers and vectors as
// they are.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include <varnel/engine.h>

#include "processes/packing.h"

namespace varnel::cli {

template <class T>
concept HasMembers = requires(T& State) { T::Members(State, [](auto&) {}); };

// What TPacker packs as it is.
template <class T>
concept Packable = std::is_arithmetic_v<T> || requires(T& Value) { Value.resize(0); Value.data(); };

// A state that does not cross processes yet.
[[noreturn]] void RefuseUnpackable();

template <class T>
void PackState(TPacker& Out, const T& State) {
  if constexpr (std::is_same_v<T, engine::TMoments>) {
    const std::vector<std::byte> Flat = engine::ToFlat(State);
    Out.Put(std::string(reinterpret_cast<const char*>(Flat.data()), Flat.size()));
  } else if constexpr (HasMembers<T>) {
    T::Members(State, [&Out](const auto& Member) { PackState(Out, Member); });
  } else if constexpr (Packable<T>) {
    Out.Put(State);
  } else {
    RefuseUnpackable();
  }
}

template <class T>
void UnpackState(TUnpacker& In, T& State) {
  if constexpr (std::is_same_v<T, engine::TMoments>) {
    const auto Flat = In.Get<std::string>();
    State = engine::FromFlat(std::as_bytes(std::span(Flat.data(), Flat.size())));
  } else if constexpr (HasMembers<T>) {
    T::Members(State, [&In](auto& Member) { UnpackState(In, Member); });
  } else if constexpr (Packable<T>) {
    In.Read(State);
  } else {
    RefuseUnpackable();
  }
}

}  // namespace varnel::cli
