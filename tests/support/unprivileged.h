#pragma once

#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace kv306::test {

// Acts as an ordinary user for a while: root writes through read-only directories.
class Unprivileged {
public:
    Unprivileged()
    {
        if (::geteuid() != 0)
            return;
        groups_.resize(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
        groups_.resize(static_cast<std::size_t>(
            std::max(::getgroups(static_cast<int>(groups_.size()), groups_.data()), 0)));
        // nobody belongs to no group of root's.
        dropped_ = ::setgroups(0, nullptr) == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (dropped_) {
            (void)!::seteuid(0);
            (void)!::setegid(0);
            (void)!::setgroups(groups_.size(), groups_.data());
        }
    }
    bool Dropped() const { return dropped_; }

private:
    bool dropped_ = false;
    std::vector<gid_t> groups_;
};

}  // namespace kv306::test
