// The program's end of the helper's socketpair, against a helper played by the test.
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "hostnet/NetHelperClient.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

// What the played helper does with one request: the bytes it sends back (none: it hangs up)
// and a descriptor to send with them.
struct Reply {
    std::vector<std::uint8_t> bytes;
    int descriptor = -1;
};
using Script = std::function<Reply(const HelperRequest&)>;

Reply answerOf(const HelperRequest& request, std::string text = {}, std::uint8_t flags = 0) {
    HelperAnswer answer;
    answer.kind = request.kind;
    answer.sequence = request.sequence;
    answer.text = std::move(text);
    answer.flags = flags;
    return {HelperRecord::BuildAnswer(answer)};
}

class PlayedHelper {
  public:
    explicit PlayedHelper(Script script, Millis patience = 5000ms) {
        std::array<int, 2> ends{};
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends.data());
        helperEnd_.reset(ends[1]);
        Timings timings;
        timings.helperPatience = patience;
        client = std::make_unique<NetHelperClient>(UniqueFd(ends[0]), 0, timings);
        thread_ = std::thread([this, script = std::move(script)] { serve(script); });
    }
    ~PlayedHelper() { endClient(); }
    // Destroys the client, whose hang-up ends serve().
    void endClient() {
        client.reset();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::unique_ptr<NetHelperClient> client;
    bool sawHangUp = false;

  private:
    void serve(const Script& script) {
        for (;;) {
            std::array<std::uint8_t, kHelperRequestSize> buffer{};
            const ssize_t length = ::recv(helperEnd_.get(), buffer.data(), buffer.size(), 0);
            if (length <= 0) {
                sawHangUp = length == 0;
                return;
            }
            const auto request = HelperRecord::ParseRequest(buffer);
            const Reply reply = script(*request);
            if (reply.bytes.empty()) {
                helperEnd_.reset();
                sawHangUp = true;
                return;
            }
            iovec part{const_cast<std::uint8_t*>(reply.bytes.data()), reply.bytes.size()};
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            alignas(cmsghdr) std::array<unsigned char, CMSG_SPACE(sizeof(int))> control{};
            if (reply.descriptor >= 0) {
                message.msg_control = control.data();
                message.msg_controllen = control.size();
                cmsghdr* header = CMSG_FIRSTHDR(&message);
                header->cmsg_level = SOL_SOCKET;
                header->cmsg_type = SCM_RIGHTS;
                header->cmsg_len = CMSG_LEN(sizeof(int));
                std::memcpy(CMSG_DATA(header), &reply.descriptor, sizeof(int));
            }
            ::sendmsg(helperEnd_.get(), &message, 0);
        }
    }

    UniqueFd helperEnd_;
    std::thread thread_;
};

TEST(NetHelperClient, CallersOnManyThreadsEachGetTheAnswerToTheirOwnRequest) {
    PlayedHelper helper(
        [](const HelperRequest& r) { return answerOf(r, std::to_string(r.address)); });
    std::vector<std::thread> callers;
    std::array<int, 4> mismatches{};
    for (std::uint32_t caller = 0; caller < mismatches.size(); ++caller) {
        callers.emplace_back([&, caller] {
            for (std::uint32_t i = 0; i < 50; ++i) {
                HelperRequest request{HelperRequestKind::keep};
                request.address = caller * 1000 + i;
                const auto answer = helper.client->Ask(request, nullptr);
                if (!answer || answer->text != std::to_string(request.address)) {
                    ++mismatches[caller];
                }
            }
        });
    }
    for (std::thread& t : callers) {
        t.join();
    }
    EXPECT_EQ(mismatches, (std::array<int, 4>{}));
}

TEST(NetHelperClient, ADescriptorRidesOnItsAnswer) {
    const UniqueFd event(::eventfd(0, EFD_CLOEXEC));
    PlayedHelper helper([&](const HelperRequest& r) {
        Reply reply = answerOf(r, {}, kHelperDescriptorSent);
        reply.descriptor = event.get();
        return reply;
    });
    UniqueFd received;
    ASSERT_TRUE(helper.client->Ask(HelperRequest{HelperRequestKind::openRawIcmp}, &received));
    struct stat sent {};
    struct stat got {};
    ASSERT_EQ(::fstat(event.get(), &sent), 0);
    ASSERT_EQ(::fstat(received.get(), &got), 0);
    EXPECT_EQ(sent.st_ino, got.st_ino);
}

// After any of these the helper counts as gone: no answer, then and for every later request.
TEST(NetHelperClient, AHelperThatHangsUpMisbehavesOrFallsSilentIsTakenForGone) {
    const UniqueFd event(::eventfd(0, EFD_CLOEXEC));
    const std::vector<std::pair<const char*, Script>> cases{
        {"hangs up", [](const HelperRequest&) { return Reply{}; }},
        {"255 bytes",
         [](const HelperRequest& r) {
             Reply reply = answerOf(r);
             reply.bytes.pop_back();
             return reply;
         }},
        {"descriptor without its flag",
         [&](const HelperRequest& r) {
             Reply reply = answerOf(r);
             reply.descriptor = event.get();
             return reply;
         }},
        {"flag without a descriptor",
         [](const HelperRequest& r) { return answerOf(r, {}, kHelperDescriptorSent); }},
        {"silent", [](const HelperRequest&) {
             std::this_thread::sleep_for(300ms);
             return Reply{};
         }}};
    for (const auto& [what, script] : cases) {
        SCOPED_TRACE(what);
        PlayedHelper helper(script, 100ms);
        UniqueFd descriptor;
        EXPECT_FALSE(helper.client->Ask(HelperRequest{HelperRequestKind::hello}, &descriptor));
        EXPECT_FALSE(descriptor.valid());
        EXPECT_FALSE(helper.client->Ask(HelperRequest{HelperRequestKind::hello}, nullptr));
    }
}

TEST(NetHelperClient, TheClientsEndIsTheHelpersSignalToEnd) {
    PlayedHelper helper([](const HelperRequest& r) { return answerOf(r); });
    ASSERT_TRUE(helper.client->Ask(HelperRequest{HelperRequestKind::hello}, nullptr));
    helper.endClient();
    EXPECT_TRUE(helper.sawHangUp);
}

}  // namespace
}  // namespace vantor
