#include "console/RunState.h"

#include <thread>

namespace vantor {

RunState::RunState(UiDispatcher& dispatcher, const Timings& timings)
    : dispatcher_(dispatcher), timings_(timings) {}

void RunState::waitUntil(const std::function<bool()>& done) {
    if (dispatcher_.onUiThread()) {
        dispatcher_.waitUntil(done, timings_.workerPoll);
        return;
    }
    while (!done()) {
        std::this_thread::sleep_for(timings_.workerPoll);
    }
}

}  // namespace vantor
