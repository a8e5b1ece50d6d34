#pragma once
// Drops the super-user's rights on files for this thread while it lives, so
// that a folder without write permission refuses writes also when the tests
// run as root.

#include <sys/fsuid.h>
#include <unistd.h>

namespace testsupport {

struct WithoutFileRights {
    WithoutFileRights() {
        if (::geteuid() == 0)
            ::setfsuid(65534);
    }
    ~WithoutFileRights() {
        if (::geteuid() == 0)
            ::setfsuid(0);
    }
    WithoutFileRights(const WithoutFileRights &) = delete;
    WithoutFileRights &operator=(const WithoutFileRights &) = delete;
};

} // namespace testsupport
