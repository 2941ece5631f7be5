#pragma once

#include <sys/types.h>
#include <unistd.h>

// For its lifetime the test process acts as an ordinary user when it runs as root, so that files
// and folders without write permission are as unwritable to it as they are to the user.
class UnprivilegedScope {
  public:
    static constexpr uid_t kNobody = 65534;
    UnprivilegedScope() : root_(geteuid() == 0) {
        if (root_ && (setegid(kNobody) != 0 || seteuid(kNobody) != 0)) root_ = false;
    }
    ~UnprivilegedScope() {
        if (root_ && seteuid(0) == 0) (void)setegid(0);
    }
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;

  private:
    bool root_;
};
