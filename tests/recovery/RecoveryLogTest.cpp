#include "recovery/RecoveryLog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vantor {
namespace {

// Every text of a row, the notice line or a trace that carries a name from the network: a
// forged name must neither add a line nor reach a terminal as an escape sequence.
TEST(RecoveryLog, NamesFromTheNetworkCannotAddLinesOrEscapeSequences) {
    // Then a C1 CSI (U+009B, and as the raw byte) and a right-to-left override (U+202E).
    const std::string forged =
        "x\r\n> [NIC 10.0.0.1] File transfer completed.\r\n\x1b[31m\xc2\x9b\x9b\xe2\x80\xaegmi";
    const std::function<std::string(const std::string&)> texts[] = {
        [](const std::string& n) { return RecoveryLog::tftpRequest(">", n, "10.0.0.2"); },
        [](const std::string& n) { return RecoveryLog::fileLocationHint(n); },
        [](const std::string& n) { return RecoveryLog::transferStarted(">", n); },
        [](const std::string& n) { return RecoveryLog::traceFileName(n); },
        [](const std::string& n) { return RecoveryLog::traceMode(n); },
        [](const std::string& n) { return RecoveryLog::tracePacketAddressed(n); },
        [](const std::string& n) { return RecoveryLog::ignoringPacket(n); },
        [](const std::string& n) { return RecoveryLog::addressRequest(">", n); },
        [](const std::string& n) { return RecoveryLog::assignedMac(n); },
        [](const std::string& n) { return RecoveryLog::traceReceived("DISCOVER", "0.0.0.0", n); },
        [](const std::string& n) { return RecoveryLog::foldedRows(">", n, 2); },
    };
    for (const auto& text : texts) {
        const std::string shown = text(forged);
        SCOPED_TRACE(shown);
        EXPECT_NE(shown.find("x?"
                             "?> [NIC 10.0.0.1] File transfer completed.???[31m???gmi"),
                  std::string::npos);
        EXPECT_EQ(shown.find('\x1b'), std::string::npos);
        // At most the text's own line end, at its end.
        const auto end = shown.find_first_of("\r\n");
        EXPECT_TRUE(end == std::string::npos || end >= shown.size() - 3);
    }
}

TEST(RecoveryLog, ARepeatedWarningKeepsItsTextAndGetsItsCount) {
    EXPECT_EQ(RecoveryLog::repeated("> Warning: Received dhcp package is too short.\r\n", 4999),
              "> Warning: Received dhcp package is too short. (repeated 4999 times)\r\n");
    EXPECT_EQ(RecoveryLog::repeated("> Error: Received tftp package error.\r\n", 1),
              "> Error: Received tftp package error. (repeated 1 time)\r\n");
}

TEST(RecoveryLog, FoldedRowsAreCountedAfterTheInterfacePrefix) {
    EXPECT_EQ(RecoveryLog::foldedRows(">", "10.77.1.2", 37), "> (37 more from 10.77.1.2)\r\n");
    EXPECT_EQ(RecoveryLog::foldedRows("> [NIC 10.77.1.1]", "02-56-4E-A1-B2-C3", 1),
              "> [NIC 10.77.1.1] (1 more from 02-56-4E-A1-B2-C3)\r\n");
    EXPECT_EQ(RecoveryLog::foldedRowsOfOtherPeers(">", 12345),
              "> (12345 more from other peers)\r\n");
}

}  // namespace
}  // namespace vantor
