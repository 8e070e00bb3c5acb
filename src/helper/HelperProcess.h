// How the program starts its network helper, and how the helper ends.
#pragma once

#include "hostnet/NetHelperRecord.h"  // kHelperSocketDescriptor

namespace vantor {

enum class HelperExit : int {
    // The program closed its end, or a termination signal came: what was planted is removed.
    ended = 0,
    // A record that does not parse, ancillary data from the program, or a broken socket;
    // what was planted is removed too.
    badRecord = 1,
    // Descriptor 3 is no SOCK_SEQPACKET socket of AF_UNIX, or the helper cannot watch for
    // signals: nothing was served.
    cannotServe = 2,
};

}  // namespace vantor
