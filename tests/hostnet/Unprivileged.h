#pragma once

#include <cstdint>
#include <functional>

namespace vantor {

// Runs body in a child process that has given up root (uid and gid 65534, no groups) but
// holds the capabilities `keep` as permitted and effective ones, as a program installed with
// "setcap ...+ep" would. The child starts in the calling thread's network namespace. Returns
// body's result, or -1 when the child could not be set up or did not exit normally.
int RunUnprivileged(std::uint64_t keep, const std::function<int()>& body);

}  // namespace vantor
