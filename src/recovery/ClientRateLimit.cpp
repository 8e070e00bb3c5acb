#include "recovery/ClientRateLimit.h"

namespace vantor {

ClientRateLimit::Verdict ClientRateLimit::Admit(std::string_view macText, Clock::time_point now) {
    Client* client = clients_.Touch(macText);
    if (client == nullptr) {
        client = &clients_.Insert(macText, Client{now}).value;
    } else if (now - client->since >= window_) {
        *client = Client{now};
    }
    if (client->answered < kDhcpMessagesPerClientWindow) {
        ++client->answered;
        return Verdict{};
    }
    ++client->dropped;
    ++droppedTotal_;
    return Verdict{false, client->dropped};
}

}  // namespace vantor
