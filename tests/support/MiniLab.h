#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/UniqueFd.h"

namespace vantor::test {

// A few network namespaces joined by veth pairs, made by one test and gone with it.
//
// The namespaces have no names: each lives while this object holds a descriptor of it, so
// nothing is left behind on the machine, not even when a test crashes. Needs root (or
// CAP_SYS_ADMIN and CAP_NET_ADMIN) and iproute2.
class MiniLab {
  public:
    class Namespace {
      public:
        explicit Namespace(UniqueFd fd) : fd_(std::move(fd)) {}
        // Runs `body` on a thread of its own inside the namespace and waits for it. Sockets
        // made there stay in the namespace whichever thread uses them later.
        void run(const std::function<void()>& body) const;
        // Runs `ip ARGS...` inside the namespace; true when it exits with 0.
        bool ip(const std::vector<std::string>& args) const;
        // A path that names the namespace to `ip ... netns PATH`.
        std::string path() const;

      private:
        UniqueFd fd_;
    };

    // Whether namespaces can be made here (root, namespaces allowed, ip found).
    static bool Supported();

    // A new namespace with its loopback interface up; nullptr when it cannot be made.
    Namespace* addNamespace();
    // A veth pair: `nameA` in `a` with addressA (CIDR text), `nameB` in `b` with addressB,
    // both up. True when every step worked.
    bool link(const Namespace& a, const std::string& nameA, const std::string& addressA,
              const Namespace& b, const std::string& nameB, const std::string& addressB);

  private:
    std::vector<std::unique_ptr<Namespace>> spaces_;
};

}  // namespace vantor::test
