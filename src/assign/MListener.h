#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/SocketError.h"
#include "ports/InterfaceWorker.h"
#include "ports/WorkerPorts.h"

namespace vantor {

class Announcement;
class CTimedSocket;

// Listens on one interface for the datagrams with which devices announce themselves. The first
// device heard on any interface becomes the console's current device: its MAC and IP fill the
// fields, it is told this interface's address (so that it can route back to the PC), gets a
// host route through this interface and is pinged until it answers. Later senders are only
// named in the notice line, until listening is started again. Every device accepted goes into
// the list of devices heard; with "Take every device" each is taken in turn, on this thread,
// so that a flood of announcements queues in the socket rather than starting work of its own.
//
// One listener per interface address, each run on a thread of its own by the console.
class MListener final : public InterfaceWorker {
  public:
    // nicAddress in network byte order.
    MListener(WorkerPorts& ports, std::uint32_t nicAddress, std::uint16_t listenPort);
    ~MListener() override;
    MListener(const MListener&) = delete;
    MListener& operator=(const MListener&) = delete;

    // The listening loop: true after the loop ended because the console left Auto or the
    // listener was stopped, false when its sockets could not be created.
    bool start();
    // Ends a blocked receive, or the next one when none is blocked yet; returns at once.
    void stop() override;
    // Thread body: start, and note whether it ended normally.
    void run() override;
    bool finished() const { return finished_.load(); }

  private:
    bool keepListening() const;
    // Whether the announced address can be a device's (assign/AnnouncedAddress.h), judged
    // against the PC's addresses and the broadcasts of this interface as they are now.
    bool namesDevice(const Announcement& announcement) const;
    void reportReceiveError(SocketError error, const std::string& prefix);
    // Whether the device just heard is taken now: the first of a listening session, or with
    // `every` each one not yet taken, and one that moved to another address again.
    bool takes(const HeardDevices::Hearing& heard, bool every, const std::string& ignoring);
    // The device announced another address: its host route, when we added it, goes.
    void moveRoute(const Announcement& announcement, const HeardDevices::Hearing& heard,
                   const std::string& prefix);
    // Steps after a device was taken, written as one log group. With `every` the device
    // becomes the current one only once it answers.
    void handleDevice(const Announcement& announcement, CTimedSocket& notifySocket,
                      const std::string& prefix, bool every);
    void showDevice(const Announcement& announcement);
    // False when the notification could not be sent (a warning row says so).
    bool notify(CTimedSocket& notifySocket, const Announcement& announcement,
                const std::string& prefix);

    // Sockets published while start() runs, so that stop() can cancel the receive.
    std::mutex socketMutex_;
    CTimedSocket* receiveSocket_ = nullptr;
    CTimedSocket* notifySocket_ = nullptr;
    // Set under socketMutex_ and never cleared, so that a stop that comes before the sockets
    // exist still ends the loop.
    std::atomic<bool> stopRequested_{false};

    WorkerPorts ports_;
    std::atomic<bool> finished_{false};
    const std::uint16_t listenPort_;
    const std::uint32_t nicAddress_;
};

}  // namespace vantor
