#pragma once

#include <stdexcept>

namespace vantor::netlab {

// The lab could not build or reach what a test asked for; the message says why.
class LabError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace vantor::netlab
