#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "hostnet/ToolRunner.h"

namespace vantor {

// A ToolRunner that runs nothing: it records each command and lets a test act as the tool.
class RecordingToolRunner final : public ToolRunner {
  public:
    using Action = std::function<void(const ToolCommand& command, std::string& output)>;

    explicit RecordingToolRunner(Action action = {}) : action_(std::move(action)) {}

    void Run(const ToolCommand& command, std::string& output) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(command);
        }
        if (action_) {
            action_(command, output);
        }
    }

    std::vector<ToolCommand> commands() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }

  private:
    Action action_;
    mutable std::mutex mutex_;
    std::vector<ToolCommand> commands_;
};

}  // namespace vantor
