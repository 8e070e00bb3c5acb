#include "recovery/TaskRoster.h"

#include <algorithm>
#include <system_error>

#include "net/CTimedSocket.h"

namespace vantor {

TaskRoster::Control::Publication::Publication(Control& control, CTimedSocket& socket)
    : control_(control) {
    control_.roster_.publish(control_, &socket);
}

TaskRoster::Control::Publication::~Publication() {
    control_.roster_.publish(control_, nullptr);
}

TaskRoster::TaskRoster(std::size_t capacity, std::size_t perPeer)
    : capacity_(capacity), perPeer_(perPeer) {}

TaskRoster::~TaskRoster() {
    // The owner ends its tasks before it lets the roster go; this only keeps a task that is
    // still waiting on a client from outliving the objects it uses.
    CancelAll(true);
    JoinAll();
}

TaskRoster::Admission TaskRoster::Start(std::string key, std::string owner, std::uint32_t peer,
                                        std::function<void(Control&)> body) {
    Reap();
    const std::lock_guard lock(mutex_);
    std::size_t active = 0;
    std::size_t ofPeer = 0;
    for (const Control& task : tasks_) {
        if (task.ended_) {
            continue;
        }
        if (task.key_ == key) {
            return Admission::running;
        }
        ++active;
        ofPeer += task.peer_ == peer ? 1 : 0;
    }
    if (active >= capacity_ || ofPeer >= perPeer_) {
        return Admission::busy;
    }
    Control& control = tasks_.emplace_back(*this, std::move(key), std::move(owner), peer);
    if (cancelled_) {
        control.aborted_ = abortAll_;
    }
    try {
        control.thread_ = std::thread([this, &control, body = std::move(body)] {
            body(control);
            finished(control);
        });
    } catch (const std::system_error&) {
        tasks_.pop_back();
        return Admission::busy;
    }
    return Admission::started;
}

std::size_t TaskRoster::AbortFor(std::string_view owner, std::uint32_t from) {
    if (owner.empty()) {
        return 0;
    }
    const std::lock_guard lock(mutex_);
    std::size_t aborted = 0;
    for (Control& task : tasks_) {
        const bool its =
            task.owner_.empty() ? from != 0 && task.peer_ == from : task.owner_ == owner;
        if (task.ended_ || !its) {
            continue;
        }
        // The flag first: the task looks at it when its wait returns.
        task.aborted_ = true;
        if (task.socket_ != nullptr) {
            task.socket_->ClearReceiveTimeout();
            task.socket_->CancelBlockingCall();
        }
        ++aborted;
    }
    return aborted;
}

bool TaskRoster::RunsForAnotherThan(std::string_view owner) const {
    const std::lock_guard lock(mutex_);
    return std::ranges::any_of(tasks_, [owner](const Control& task) {
        return !task.ended_ && !task.owner_.empty() && task.owner_ != owner;
    });
}

void TaskRoster::CancelAll(bool abort) {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    abortAll_ = abortAll_ || abort;
    for (Control& task : tasks_) {
        if (abort) {
            task.aborted_ = true;
        }
        if (task.socket_ != nullptr) {
            task.socket_->CancelBlockingCall();
        }
    }
}

void TaskRoster::publish(Control& control, CTimedSocket* socket) {
    const std::lock_guard lock(mutex_);
    control.socket_ = socket;
    // A stop or an abort that came before this socket existed found nothing to cancel.
    if (socket != nullptr && (cancelled_ || control.aborted_)) {
        socket->CancelBlockingCall();
    }
}

void TaskRoster::finished(Control& control) {
    {
        const std::lock_guard lock(mutex_);
        control.ended_ = true;
    }
    taskEnded_.notify_all();
}

void TaskRoster::Reap() {
    std::list<Control> ended;
    {
        const std::lock_guard lock(mutex_);
        for (auto task = tasks_.begin(); task != tasks_.end();) {
            const auto next = std::next(task);
            if (task->ended_) {
                ended.splice(ended.end(), tasks_, task);
            }
            task = next;
        }
    }
    // Joined without the lock: a thread that has marked itself ended may still be leaving.
    for (Control& task : ended) {
        if (task.thread_.joinable()) {
            task.thread_.join();
        }
    }
}

void TaskRoster::JoinAll() {
    {
        // The tasks stay listed while they end, so that an abort or a cancel still reaches them.
        std::unique_lock lock(mutex_);
        taskEnded_.wait(lock, [this] {
            return std::ranges::all_of(tasks_,
                                       [](const Control& task) { return task.ended_.load(); });
        });
    }
    Reap();
}

std::size_t TaskRoster::running() const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::ranges::count_if(tasks_, [](const Control& task) { return !task.ended_; }));
}

}  // namespace vantor
