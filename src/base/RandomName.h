#pragma once
// Names drawn at random inside a Safe ("category" + number, number + ".entry", number + ".reminder").
//
// The number is drawn uniformly from 0 to 9999998 from the system's random source and drawn again
// while the caller's predicate says the resulting name is taken. Should a folder ever be so full that
// random draws keep hitting taken names, the remaining numbers are tried in order from a random start,
// so a free number is always found when one exists; when none is left EQuillmarError is thrown.
#include <cstdint>
#include <functional>
#include <string>

namespace quillmar {

constexpr int32_t kRandomNameMax = 9999998;

// A free number in 0..kRandomNameMax; isTaken(n) tells whether n is in use.
int32_t DrawFreeNumber(const std::function<bool(int32_t)>& isTaken);

// prefix + number + suffix, for example RandomFreeName("category", "", ...) or ("", ".entry", ...);
// isTaken receives the whole name.
std::string RandomFreeName(const std::string& prefix, const std::string& suffix,
                           const std::function<bool(const std::string&)>& isTaken);

}  // namespace quillmar
