#pragma once

namespace testsupport {

// The tick the tests run the engine at, against the simulated instrument. The engine counts
// ticks, not milliseconds, so the conversation is the same at any period, only quicker; a request
// still waits 20 silent ticks (200 ms here) before it times out, well above a reply's time on a
// loaded machine under the sanitizers.
constexpr int kTestTickMs = 10;

} // namespace testsupport
