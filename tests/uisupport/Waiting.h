#pragma once
// Letting the event loop run in tests, screenshots and benchmarks: until something holds (with a
// generous limit, never as the synchronisation itself), or for a while so that windows lay
// themselves out and paint.
#include <functional>

namespace quillmar::test {

// Lets events run until done() holds or ms have passed; false on timeout.
bool WaitUntil(const std::function<bool()>& done, int ms = 20000);
// Lets events run for ms (layout and painting; a check that something does NOT happen).
void Pump(int ms);

}  // namespace quillmar::test
