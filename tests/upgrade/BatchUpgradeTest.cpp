// The batch upgrade through the console, with devices in the test's process: each device's
// own result, the same bytes for every device, the limit on sessions at once, and a stop.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>

#include "console/OperatorConsole.h"
#include "support/ConsoleHarness.h"
#include "support/Eventually.h"
#include "upgrade/FakeCodeUpdateDevice.h"
#include "upgrade/FakeDeviceWorkers.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpgradeArchives.h"
#include "upgrade/UpgradeDriver.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using test::FakeCodeUpdateDevice;
using Lines = std::vector<std::string>;

// A transport that counts the sessions holding one: a session's socket lives from its first
// model query to its end.
class CountedTransport final : public CodeUpdateTransport {
  public:
    CountedTransport(std::unique_ptr<CodeUpdateTransport> inner, std::function<void()> gone)
        : inner_(std::move(inner)), gone_(std::move(gone)) {}
    ~CountedTransport() override { gone_(); }
    bool send(std::span<const std::uint8_t> datagram) override { return inner_->send(datagram); }
    int receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        return inner_->receive(buffer, timeout);
    }

  private:
    std::unique_ptr<CodeUpdateTransport> inner_;
    std::function<void()> gone_;
};

class BatchUpgradeTest : public ::testing::Test {
  protected:
    BatchUpgradeTest()
        : workers_([this](const std::string& ip, int) -> std::unique_ptr<CodeUpdateTransport> {
              FakeCodeUpdateDevice* device = nullptr;
              {
                  std::unique_lock lock(mutex_);
                  device = devices_.at(ip).get();
                  maxLive_ = std::max(maxLive_, ++live_);
                  // The first sessions wait for one another: the limit is reached, whatever
                  // the threads' timing, and a session beyond it would show.
                  if (made_++ < gateSessions_) {
                      changed_.notify_all();
                      changed_.wait_for(lock, 10s, [&] { return live_ >= gateSessions_; });
                  }
              }
              return std::make_unique<CountedTransport>(device->transport(), [this] {
                  std::lock_guard lock(mutex_);
                  --live_;
              });
          }) {
        ConsoleServices services{interfaces_, workers_, test::fastTimings()};
        services.pinger = &pinger_;
        services.reportPrivileges = false;
        console_ = std::make_unique<OperatorConsole>(std::move(services));
        console_->attachView(&view_);
        console_->Initialize();
        console_->OnRadioClicked(ControlId::RadioFirmwareFile);
    }
    ~BatchUpgradeTest() override {
        console_->Shutdown();
        console_->attachView(nullptr);
    }

    FakeCodeUpdateDevice& addDevice(const std::string& ip, FakeCodeUpdateDevice::Responder r,
                                    bool answersPing = true) {
        std::lock_guard lock(mutex_);
        devices_[ip] = std::make_unique<FakeCodeUpdateDevice>(std::move(r));
        pinger_.answer(ip, answersPing);
        return *devices_[ip];
    }

    std::vector<BatchDeviceStatus> runBatch(const Lines& addresses, int parallel) {
        const std::string path =
            test::writeArchive(dir_, "fw.zip",
                               {test::firmwareMember("update.enc", test::microcodeFile(1, 40000)),
                                test::firmwareMember("image.bin", test::patternBytes(3000, 41)),
                                test::firmwareMember("logo.gif", test::patternBytes(900, 42))});
        BatchUpgrader* batch = console_->upgradeBatch();
        EXPECT_TRUE(batch->startBatch({addresses, path, "setpw", false, parallel}));
        EXPECT_TRUE(
            test::eventually([&] { return !batch->batchActive(); }, 20s, 2ms,
                             [&](Millis wait) { console_->dispatcher().drainAndWait(wait); }));
        console_->dispatcher().drain();
        return batch->batchStatus();
    }

    std::vector<test::SentPacket> dataSent(const std::string& ip) {
        return test::ofCommand(devices_.at(ip)->sent(), 5);
    }

    test::TempDir dir_;
    test::FakeInterfaceSource interfaces_;
    test::FakePinger pinger_;
    test::RecordingView view_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::unique_ptr<FakeCodeUpdateDevice>> devices_;
    int live_ = 0;
    int maxLive_ = 0;
    int made_ = 0;
    int gateSessions_ = 0;
    test::FakeDeviceWorkers workers_;
    std::unique_ptr<OperatorConsole> console_;
};

// A device that answers its first packets and then never again, in the middle of a region.
FakeCodeUpdateDevice::Responder goneAfter(std::size_t packets) {
    return [good = test::goodDevice(1), packets](const test::SentPacket& p, std::size_t index) {
        return index < packets ? good(p, index) : FakeCodeUpdateDevice::Replies{};
    };
}

TEST_F(BatchUpgradeTest, EachDeviceEndsWithItsOwnResultAndTheOthersComplete) {
    const Lines good = {"10.0.0.5", "10.0.0.50", "10.0.1.5"};
    for (const auto& ip : good) {
        addDevice(ip, test::goodDevice(1));
    }
    addDevice("10.0.0.6", test::goodDevice(1), false);  // does not answer pings
    addDevice("10.0.0.7", test::goodDevice(3));         // another model
    addDevice("10.0.0.8", goneAfter(6));                // silent inside the tail region

    const auto devices =
        runBatch({"10.0.0.5", "10.0.0.6", "10.0.0.7", "10.0.0.8", "10.0.0.50", "10.0.1.5"}, 3);

    ASSERT_EQ(devices.size(), 6u);
    std::map<std::string, BatchDeviceStatus> by;
    for (const auto& d : devices) {
        by[d.address] = d;
    }
    for (const auto& ip : good) {
        EXPECT_EQ(by[ip].state, BatchDeviceState::Completed) << ip << ": " << by[ip].result;
        // Every device is sent the same pages as the first.
        const auto sent = dataSent(ip);
        const auto first = dataSent(good[0]);
        ASSERT_EQ(sent.size(), first.size()) << ip;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].body, first[i].body) << ip << " packet " << i;
            EXPECT_EQ(sent[i].page, first[i].page) << ip << " packet " << i;
        }
    }
    EXPECT_EQ(by["10.0.0.6"].result, "System on IP address  10.0.0.6 is not responding.");
    EXPECT_EQ(by["10.0.0.7"].result,
              "Error! Trying to update the microcode using incorrect auraNode model update file");
    EXPECT_EQ(by["10.0.0.8"].result, "Error! No answer from the remote system");
    for (const char* ip : {"10.0.0.6", "10.0.0.7", "10.0.0.8"}) {
        EXPECT_EQ(by[ip].state, BatchDeviceState::Failed) << ip;
    }
    // Nothing went to the device that did not answer the reachability check.
    EXPECT_TRUE(devices_.at("10.0.0.6")->sent().empty());

    // Rows carry their device (the log keeps the latest of them); the batch ends with its
    // count.
    const Lines rows = view_.rows();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(Lines(rows.end() - 2, rows.end()),
              (Lines{"> 3 of 6 devices upgraded\n", "> ready...\n"}));
    for (auto row = rows.begin(); row != rows.end() - 2; ++row) {
        ASSERT_TRUE(row->starts_with("> [Device 10.0.")) << *row;
        for (const auto& ip : good) {
            EXPECT_NE(*row, "> [Device " + ip + "] System update has not completed.\n");
        }
    }
}

TEST_F(BatchUpgradeTest, NeverMoreSessionsAtOnceThanAsked) {
    Lines addresses;
    for (int i = 1; i <= 7; ++i) {
        addresses.push_back("10.0.2." + std::to_string(i));
        addDevice(addresses.back(), test::goodDevice(1));
    }
    gateSessions_ = 3;
    const auto devices = runBatch(addresses, 3);
    EXPECT_EQ(maxLive_, 3);
    for (const auto& d : devices) {
        EXPECT_EQ(d.state, BatchDeviceState::Completed) << d.address;
    }
}

TEST_F(BatchUpgradeTest, StopEndsEverySessionAndNamesTheDevicesNotFinished) {
    Lines addresses;
    for (int i = 1; i <= 5; ++i) {
        addresses.push_back("10.0.3." + std::to_string(i));
        addDevice(addresses.back(), test::goodDevice(1));
    }
    // The first device stops the batch in the middle of its tail region, while the second
    // waits for that stop, so that neither can end before it.
    std::atomic<bool> stopped{false};
    devices_.at(addresses[0])->onWait([&](int wait) {
        if (wait == 20) {
            console_->OnStopUpgrade();
            stopped = true;
        }
    });
    devices_.at(addresses[1])->onWait([&](int) {
        test::eventually([&] { return stopped.load(); }, 10s);
    });
    const auto devices = runBatch(addresses, 2);
    EXPECT_EQ(devices[0].state, BatchDeviceState::NotFinished);
    for (std::size_t i = 2; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].state, BatchDeviceState::NotFinished) << devices[i].address;
        EXPECT_TRUE(devices_.at(addresses[i])->sent().empty());
    }
    for (const auto& d : devices) {
        EXPECT_NE(d.state, BatchDeviceState::Failed) << d.address;
    }
    // The mode can be used again.
    EXPECT_FALSE(console_->upgradeActive());
}

TEST_F(BatchUpgradeTest, RefusedArchiveStartsNoSession) {
    addDevice("10.0.4.1", test::goodDevice(1));
    const std::string path =
        test::writeArchive(dir_, "fw.zip", {test::firmwareMember("readme.txt", {1, 2, 3})});
    EXPECT_FALSE(console_->upgradeBatch()->startBatch({{"10.0.4.1"}, path, "setpw", false, 4}));
    console_->dispatcher().drain();
    EXPECT_TRUE(devices_.at("10.0.4.1")->sent().empty());
    EXPECT_TRUE(pinger_.calls().empty());
    EXPECT_FALSE(console_->upgradeActive());
}

}  // namespace
}  // namespace vantor
