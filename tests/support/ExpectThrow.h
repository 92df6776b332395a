#pragma once
// ExpectThrow: runs a callable that must throw E and gives the exception's message, so that a test
// can compare or search it in one line. When nothing is thrown the test fails and the result is
// kNoException, which no real message equals. An exception of another type is not caught: the test
// fails on it as on any unexpected exception. E is the engine's error unless a test names another.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "container/SFSError.h"

namespace quillmar::test {

inline constexpr char kNoException[] = "<no exception>";

template <class E = ESFSError>
std::string ExpectThrow(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "no exception was thrown";
  return kNoException;
}

}  // namespace quillmar::test
