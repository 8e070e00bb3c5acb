#pragma once

#include "console/OperatorConsole.h"
#include "upgrade/StatusSink.h"

namespace vantor {

// The upgrade's lines into the console's status log.
class ConsoleStatusSink final : public StatusSink {
  public:
    explicit ConsoleStatusSink(OperatorConsole& console) : console_(console) {}
    void AppendStatus(int statusTag, const std::string& text) override {
        console_.AppendStatus(statusTag, text);
    }

  private:
    OperatorConsole& console_;
};

}  // namespace vantor
