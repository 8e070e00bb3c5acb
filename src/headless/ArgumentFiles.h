#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "headless/CommandLine.h"

namespace vantor {

// The files an Update's (or a batch's) arguments name, read and checked before the console
// starts: the address list, the device password from a file or standard input, and the
// firmware archive. Each is refused unless the descriptor it opens to (without waiting on a
// FIFO) is a regular file, and a file read here is read no further than its limit.
class ArgumentFiles {
  public:
    // Fills options.batchAddresses from --ip-list or the repeated --ip (refusing a list that
    // names a wrong address or one twice) and options.password from its source, and checks
    // that the archive can be read. Returns the refusal (a usage error), or nothing. A password
    // typed on the command line is taken with a warning on `warnings`: every user of the PC can
    // read it in the process list.
    static std::optional<std::string> resolve(CommandLine& options, std::istream& standardInput,
                                              std::ostream& warnings);

    // The first line of the input without its line end ("\n" or "\r\n"); nothing when the input
    // holds no line or a line longer than kPasswordLineMax.
    static std::optional<std::string> firstLine(std::istream& in);

    // Far above any device password; stops a wrong file from being read whole.
    static constexpr std::size_t kPasswordLineMax = 1024;
    // A list of addresses is small; a larger file is not one.
    static constexpr std::size_t kAddressListMax = 1 << 20;
};

}  // namespace vantor
