// SPDX-License-Identifier: Apache-2.0
// The states and row parts that processes exchange, packed member by
// member: moments in the engine's flat form, a type with a static
// Members(Self&, Visit) each of its members, and numbers and vectors as
// they are.
#pragma once

#include <cstddef>
#include <memory>
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

template <class T>
inline constexpr bool kAlwaysFalse = false;

template <class T>
struct TIsShared : std::false_type {};
template <class T>
struct TIsShared<std::shared_ptr<T>> : std::true_type {};

template <class T>
struct TIsVectorOfMembers : std::false_type {};
template <class T, class A>
  requires HasMembers<T>
struct TIsVectorOfMembers<std::vector<T, A>> : std::true_type {};

template <class T>
void PackState(TPacker& Out, const T& State) {
  if constexpr (std::is_same_v<T, engine::TMoments>) {
    // A weighted state, which has no flat form, goes field by field.
    Out.Put(static_cast<unsigned char>(State.Weighted()));
    if (State.Weighted()) {
      const engine::TMoments::TFields F = State.Fields();
      Out.Put(F.P).Put(F.Count).Put(F.Incomplete).Put(F.Shift).Put(F.Min).Put(F.Max);
      Out.Put(F.MeanAboutShift).Put(F.CoMoment).Put(F.Missing).Put(F.WeightSum).Put(F.LogWeightSum);
      return;
    }
    const std::vector<std::byte> Flat = engine::ToFlat(State);
    Out.Put(std::string(reinterpret_cast<const char*>(Flat.data()), Flat.size()));
  } else if constexpr (HasMembers<T>) {
    T::Members(State, [&Out](const auto& Member) { PackState(Out, Member); });
  } else if constexpr (TIsShared<T>::value) {  // what it points to, shared again on the other side
    Out.Put(static_cast<unsigned char>(State != nullptr));
    if (State) PackState(Out, *State);
  } else if constexpr (TIsVectorOfMembers<T>::value) {
    Out.Put(State.size());
    for (const auto& Item : State) PackState(Out, Item);
  } else if constexpr (Packable<T>) {
    Out.Put(State);
  } else {
    static_assert(kAlwaysFalse<T>, "a state that crosses processes needs a static Members(Self&, Visit)");
  }
}

template <class T>
void UnpackState(TUnpacker& In, T& State) {
  if constexpr (std::is_same_v<T, engine::TMoments>) {
    if (In.Get<unsigned char>() != 0) {
      engine::TMoments::TFields F;
      F.Weighted = true;
      In.Read(F.P);
      In.Read(F.Count);
      In.Read(F.Incomplete);
      for (auto* Part : {&F.Shift, &F.Min, &F.Max}) In.Read(*Part);
      In.Read(F.MeanAboutShift);
      In.Read(F.CoMoment);
      In.Read(F.Missing);
      In.Read(F.WeightSum);
      In.Read(F.LogWeightSum);
      State = engine::TMoments(std::move(F));
      return;
    }
    const auto Flat = In.Get<std::string>();
    State = engine::FromFlat(std::as_bytes(std::span(Flat.data(), Flat.size())));
  } else if constexpr (HasMembers<T>) {
    T::Members(State, [&In](auto& Member) { UnpackState(In, Member); });
  } else if constexpr (TIsShared<T>::value) {
    State = nullptr;
    if (In.Get<unsigned char>() != 0) {
      auto Made = std::make_shared<std::remove_const_t<typename T::element_type>>();
      UnpackState(In, *Made);
      State = std::move(Made);
    }
  } else if constexpr (TIsVectorOfMembers<T>::value) {
    State.resize(In.Get<std::size_t>());
    for (auto& Item : State) UnpackState(In, Item);
  } else if constexpr (Packable<T>) {
    In.Read(State);
  } else {
    static_assert(kAlwaysFalse<T>, "a state that crosses processes needs a static Members(Self&, Visit)");
  }
}

}  // namespace varnel::cli
