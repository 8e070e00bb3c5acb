#include "Unprivileged.h"

#include <grp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "hostnet/Capabilities.h"

namespace vantor {

int RunUnprivileged(std::uint64_t keep, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        constexpr int kSetUpFailed = 120;
        // Keep the permitted set across the change of user, then trim it to `keep`.
        if (::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0 || ::setgroups(0, nullptr) != 0 ||
            ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0 ||
            !Capabilities::SetForThisThread(CapabilitySets{keep, keep, 0}) ||
            ::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0) != 0) {
            ::_exit(kSetUpFailed);
        }
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vantor
