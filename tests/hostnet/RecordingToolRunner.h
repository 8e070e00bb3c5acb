#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hostnet/ToolRunner.h"

namespace vantor {

// A ToolRunner that runs nothing: it records each command and lets a test act as the tool.
// The run succeeds unless the action says otherwise (an action returning bool).
class RecordingToolRunner final : public ToolRunner {
  public:
    using Action = std::function<void(const ToolCommand& command, std::string& output)>;
    using CheckedAction = std::function<bool(const ToolCommand& command, std::string& output)>;

    explicit RecordingToolRunner(Action action = {}) {
        if (action) {
            action_ = [action = std::move(action)](const ToolCommand& command,
                                                   std::string& output) {
                action(command, output);
                return true;
            };
        }
    }
    // A runner whose action also decides whether the run succeeded.
    static std::unique_ptr<RecordingToolRunner> withOutcome(CheckedAction action) {
        auto runner = std::make_unique<RecordingToolRunner>();
        runner->action_ = std::move(action);
        return runner;
    }

    bool Run(const ToolCommand& command, std::string& output) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(command);
        }
        return !action_ || action_(command, output);
    }

    std::vector<ToolCommand> commands() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }

  private:
    CheckedAction action_;
    mutable std::mutex mutex_;
    std::vector<ToolCommand> commands_;
};

}  // namespace vantor
