#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

// How many devices a batch upgrades at once.
inline constexpr int kBatchDefaultParallel = 4;
inline constexpr int kBatchMaxParallel = 16;

// One archive to many devices.
struct BatchRequest {
    std::vector<std::string> addresses;  // dotted, distinct
    std::string archivePath;
    std::string setPassword;
    bool onePagePerPacket = false;
    int parallel = kBatchDefaultParallel;  // 1 to kBatchMaxParallel
};

enum class BatchDeviceState {
    Waiting,      // not begun yet
    Running,      // its session runs
    Completed,    // "Upgrade Complete"
    Failed,       // ended with the reason in result
    NotFinished,  // a stop ended the batch before this device was done
};

// One device of a batch as the front-ends show it.
struct BatchDeviceStatus {
    std::string address;
    BatchDeviceState state = BatchDeviceState::Waiting;
    std::string region;  // the region being sent ("microcode", "tail", "bin", "logo"), or empty
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::string result;  // why it failed; empty otherwise
    std::chrono::milliseconds duration{0};
};

// The batch upgrade of the firmware file mode, as the console's front-ends drive it. The
// upgrade driver's requestStop() and active() cover a batch too.
class BatchUpgrader {
  public:
    virtual ~BatchUpgrader() = default;
    // Checks and decodes the archive, then starts the sessions and returns. False when no
    // batch started: one is running, a single Update is running, or the archive was refused
    // (its rows are in the status log).
    virtual bool startBatch(const BatchRequest& request) = 0;
    // Every device of the last batch, in the order of the request.
    virtual std::vector<BatchDeviceStatus> batchStatus() const = 0;
    // From startBatch until every session has ended.
    virtual bool batchActive() const = 0;
};

// The state's name in the summary, the window's table and the saved results.
inline const char* batchStateName(BatchDeviceState state) {
    switch (state) {
        case BatchDeviceState::Waiting:
            return "waiting";
        case BatchDeviceState::Running:
            return "running";
        case BatchDeviceState::Completed:
            return "completed";
        case BatchDeviceState::Failed:
            return "failed";
        case BatchDeviceState::NotFinished:
            return "not finished";
    }
    return "";
}

}  // namespace vantor
