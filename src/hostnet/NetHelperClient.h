#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/Timings.h"
#include "hostnet/NetHelperPort.h"

namespace vantor {

// The program's end of the socketpair to its network helper. Callers on any thread send their
// request and wait for its answer, which a reader thread of the client takes off the socket
// and hands to them by sequence number. The helper answers in order and one request at a time.
// A helper that ends, sends a record that does not parse, or stays silent for the patience is
// taken for gone: every request from then on gets no answer.
class NetHelperClient final : public NetHelperPort {
  public:
    // Starts the helper at `path` with its end of a new socketpair as descriptor 3, standard
    // input and output on /dev/null, a fixed environment and a process group of its own (a
    // Ctrl-C at the terminal reaches the program, which then ends the helper in order), and
    // greets it. Nothing, and why in `problem`, when it cannot be started or does not answer.
    static std::unique_ptr<NetHelperClient> Start(const std::string& path, const Timings& timings,
                                                  std::string& problem);
    // Over a socket already connected to a helper; `helper` is its process to wait for at the
    // end, or 0.
    NetHelperClient(UniqueFd socket, pid_t helper, const Timings& timings);
    // Closes the socket, upon which the helper removes what it planted that no mode kept and
    // ends; waits for that up to Timings::helperFarewell.
    ~NetHelperClient() override;
    NetHelperClient(const NetHelperClient&) = delete;
    NetHelperClient& operator=(const NetHelperClient&) = delete;

    std::optional<HelperAnswer> Ask(HelperRequest request, UniqueFd* descriptor) override;
    // The helper's effective capabilities, as its greeting said.
    std::uint64_t capabilities() const { return capabilities_; }
    pid_t process() const { return helper_; }

  private:
    struct Received {
        HelperAnswer answer;
        UniqueFd descriptor;
    };

    void readAnswers();
    // Marks the helper gone and wakes every waiting caller. Call with mutex_ held.
    void endLocked();

    UniqueFd socket_;
    const pid_t helper_;
    const Millis patience_;
    const Millis farewell_;
    std::uint64_t capabilities_ = 0;

    std::mutex mutex_;
    std::condition_variable answered_;
    std::uint32_t nextSequence_ = 1;
    std::map<std::uint32_t, Received> answers_;
    bool ended_ = false;
    std::thread reader_;
};

}  // namespace vantor
