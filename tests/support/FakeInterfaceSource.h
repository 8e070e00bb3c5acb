#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/InterfaceSource.h"

namespace vantor::test {

// A host whose name and addresses the test sets, from any thread.
class FakeInterfaceSource final : public InterfaceSource {
  public:
    explicit FakeInterfaceSource(std::vector<std::string> addresses = {"192.168.1.10"},
                                 std::optional<std::string> name = std::string("pc1"));

    void set(std::vector<std::string> addresses);
    void setName(std::optional<std::string> name);

    std::optional<std::string> hostName() override;
    std::vector<std::uint32_t> addresses() override;

  private:
    std::mutex mutex_;
    std::vector<std::string> addresses_;
    std::optional<std::string> name_;
};

}  // namespace vantor::test
