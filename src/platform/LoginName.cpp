#include "platform/LoginName.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace corvalin {

QString loginName() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size < 1024)
        size = 1024;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    // getpwuid_r, not getpwuid: the latter's static result is shared between threads.
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found || !found->pw_name)
        return {};
    return QString::fromLocal8Bit(found->pw_name);
}

} // namespace corvalin
