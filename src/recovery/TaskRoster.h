#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace vantor {

class CTimedSocket;

// The tasks a recovery listener runs beside its request loops, each on a thread of its own:
// the TFTP transfers of one interface, or the restart waits of the devices that fetched their
// RAM disk. One slow, silent or hostile client then holds up only its own task.
//
// A task has a key, of which at most one task runs at a time (a transfer's client address and
// port: RFC 1350's transfer ID), the address of its peer, and an owner: the MAC of the device
// the peer was known to be when the task began, if it was. A device that starts its boot again
// aborts its own tasks: those it owns, and those without an owner whose peer is the address
// the device speaks from. At most `capacity` tasks run at once.
//
// The roster joins every thread it started: finished ones when asked (Reap) or when a new task
// is started, the rest in JoinAll and in its destructor. Its lock is never held while a task
// runs, waits or is joined.
class TaskRoster {
  public:
    // What a task sees of its own entry.
    class Control {
      public:
        // Aborted by its owner's new boot request, or cut short by CancelAll with `closing`.
        bool aborted() const { return aborted_.load(); }
        // The device the task serves, when known (a MAC text).
        const std::string& owner() const { return owner_; }

        // Keeps a socket of the task published for as long as it lives, so that an abort or a
        // stop can end its wait from another thread.
        class Publication {
          public:
            Publication(Control& control, CTimedSocket& socket);
            ~Publication();
            Publication(const Publication&) = delete;
            Publication& operator=(const Publication&) = delete;

          private:
            Control& control_;
        };

        // Made by the roster alone.
        Control(TaskRoster& roster, std::string key, std::string owner, std::uint32_t peer)
            : roster_(roster), key_(std::move(key)), owner_(std::move(owner)), peer_(peer) {}

      private:
        friend class TaskRoster;

        TaskRoster& roster_;
        const std::string key_;
        const std::string owner_;
        const std::uint32_t peer_;
        std::atomic<bool> aborted_{false};
        std::atomic<bool> ended_{false};
        CTimedSocket* socket_ = nullptr;  // guarded by the roster's lock
        std::thread thread_;
    };

    enum class Admission {
        started,  // the task runs
        busy,     // `capacity` tasks run already, or `perPeer` of this peer's (or no thread)
        running,  // a task of this key runs already
    };

    // At most `capacity` tasks at once, and at most `perPeer` of them for one peer address, so
    // that one host cannot take every place.
    TaskRoster(std::size_t capacity, std::size_t perPeer);
    ~TaskRoster();
    TaskRoster(const TaskRoster&) = delete;
    TaskRoster& operator=(const TaskRoster&) = delete;

    // Starts body(control) on a thread of its own, unless the roster is full or a task of the
    // same key runs.
    Admission Start(std::string key, std::string owner, std::uint32_t peer,
                    std::function<void(Control&)> body);
    // Marks the tasks of the device `owner` aborted and ends their waits: those it owns, and
    // those without an owner whose peer is `from` (0: none). The number marked. An empty owner
    // owns nothing.
    std::size_t AbortFor(std::string_view owner, std::uint32_t from);
    // Whether a task runs that is owned by a device other than `owner`.
    bool RunsForAnotherThan(std::string_view owner) const;
    // Ends the wait of every task, and of every socket published from now on (a stop: the
    // tasks decide themselves whether that ends them). With `abort`, they are marked aborted
    // too.
    void CancelAll(bool abort);
    // Joins the threads of the tasks that have ended.
    void Reap();
    // Waits until every task has ended and joins them.
    void JoinAll();
    std::size_t running() const;
    std::size_t capacity() const { return capacity_; }

  private:
    void publish(Control& control, CTimedSocket* socket);
    void finished(Control& control);

    const std::size_t capacity_;
    const std::size_t perPeer_;
    mutable std::mutex mutex_;
    std::condition_variable taskEnded_;
    std::list<Control> tasks_;
    bool cancelled_ = false;
    bool abortAll_ = false;
};

}  // namespace vantor
