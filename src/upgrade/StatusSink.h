#pragma once

#include <string>

namespace vantor {

// Where the firmware upgrade's lines go: the console's status log, or a recorder in tests.
class StatusSink {
  public:
    virtual ~StatusSink() = default;
    virtual void AppendStatus(int statusTag, const std::string& text) = 0;
};

}  // namespace vantor
