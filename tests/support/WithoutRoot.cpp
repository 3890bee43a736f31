#include "support/WithoutRoot.h"

#include <sys/wait.h>
#include <unistd.h>

CheckOutcome CheckWithoutRoot(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check() ? CheckOutcome::Passed : CheckOutcome::Failed;
    constexpr int kCannotDrop = 77;
    const pid_t child = ::fork();
    if (child < 0) return CheckOutcome::Skipped;
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(kCannotDrop);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return CheckOutcome::Failed;
    if (WEXITSTATUS(status) == kCannotDrop) return CheckOutcome::Skipped;
    return WEXITSTATUS(status) == 0 ? CheckOutcome::Passed : CheckOutcome::Failed;
}
