#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "netlab/LabCommand.h"

#include <sys/types.h>

#include <vector>

namespace vantor::netlab {

// One network namespace of a NetLab, named /run/netns/<name>. Code runs inside it on threads
// of its own: a thread that has entered the namespace opens sockets there, and the programs it
// starts live there too. The NetLab owns and removes it.
class LabNamespace {
  public:
    explicit LabNamespace(std::string name) : name_(std::move(name)) {}
    LabNamespace(const LabNamespace&) = delete;
    LabNamespace& operator=(const LabNamespace&) = delete;

    const std::string& name() const { return name_; }

    // Moves the calling thread into this namespace; throws LabError when it cannot.
    void enter() const;

    // Starts a program inside the namespace without waiting for it; its pid, or -1 when it
    // could not be started. The caller ends and reaps it.
    pid_t spawn(std::vector<std::string> argv) const;

    // Runs fn on a new thread inside the namespace and hands back its result or exception.
    template <class F>
    auto run(F&& fn) const -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        std::exception_ptr failure;
        if constexpr (std::is_void_v<Result>) {
            std::thread worker([&] {
                try {
                    enter();
                    fn();
                } catch (...) {
                    failure = std::current_exception();
                }
            });
            worker.join();
            if (failure) {
                std::rethrow_exception(failure);
            }
        } else {
            std::optional<Result> result;
            std::thread worker([&] {
                try {
                    enter();
                    result.emplace(fn());
                } catch (...) {
                    failure = std::current_exception();
                }
            });
            worker.join();
            if (failure) {
                std::rethrow_exception(failure);
            }
            return std::move(*result);
        }
    }

    // A background thread inside the namespace running fn until its stop token is set; the
    // returned thread stops and joins when destroyed. fn must return soon after a stop.
    std::jthread start(std::function<void(std::stop_token)> fn) const;

    // A program inside the namespace, waited for.
    CommandResult exec(const std::vector<std::string>& argv) const;
    // `ip -n <name> args...`; throws LabError on failure and returns what ip printed.
    std::string ip(const std::vector<std::string>& args) const;

    // Reads and writes a setting under /proc/sys of this namespace ("net/ipv4/...").
    std::string sysctl(std::string_view key) const;
    void setSysctl(std::string_view key, std::string_view value) const;

    // The next free veth name in this namespace: veth0, veth1, ...
    std::string nextInterfaceName() { return "veth" + std::to_string(interfaces_++); }

  private:
    std::string name_;
    int interfaces_ = 0;
};

}  // namespace vantor::netlab
