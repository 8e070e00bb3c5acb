#pragma once

#include <optional>

#include "base/UniqueFd.h"
#include "helper/NetHelperService.h"
#include "hostnet/NetHelperRecord.h"

namespace vantor {

// The helper's end of its socketpair with the program: one request record a message in, one
// answer record (with a descriptor, when there is one) out. Every wait also watches the
// termination signals' descriptor, so that a signal ends the helper between two records.
class HelperChannel {
  public:
    enum class Event {
        ok,          // a well-formed request arrived, or the answer went out
        closed,      // the program closed its end
        bad,         // a record that does not parse, ancillary data, or a socket error
        terminated,  // SIGTERM, SIGHUP or SIGINT
    };

    // Neither descriptor is owned.
    HelperChannel(int socket, int signals) : socket_(socket), signals_(signals) {}

    // Waits for the next record; on Event::ok, request holds it.
    Event Receive(HelperRequest& request);
    // Sends the answer and the reply's descriptor; the helper's copy closes either way.
    Event Send(HelperReply reply);

  private:
    // Event::ok once the socket is ready for events, or has an error or hang-up to tell.
    Event waitFor(short events) const;

    int socket_;
    int signals_;
};

}  // namespace vantor
