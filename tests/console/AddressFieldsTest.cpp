#include "console/AddressFields.h"

#include <gtest/gtest.h>

#include "base/Product.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

// ---- Normalisation when a field loses the focus ----------------------------------------------

struct NormalizeCase {
    ControlId field;
    ConsoleMode mode;
    std::string typed;
    std::optional<std::string> expected;  // nothing: left as it stands
};

class FieldNormalization : public ::testing::TestWithParam<NormalizeCase> {};

TEST_P(FieldNormalization, GivesTheNormalisedText) {
    const NormalizeCase& c = GetParam();
    EXPECT_EQ(AddressFields::normalizeOnFocusLoss(c.field, c.typed, c.mode), c.expected)
        << "typed '" << c.typed << "' in mode " << modeName(c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    MacAndIp, FieldNormalization,
    ::testing::Values(
        // MAC: every mode but Auto; padded to two hexadecimal digits or zeroed.
        NormalizeCase{ControlId::Mac1, ConsoleMode::Manual, "A", "0A"},
        NormalizeCase{ControlId::Mac2, ConsoleMode::Manual, "7-", "07"},
        NormalizeCase{ControlId::Mac3, ConsoleMode::Manual, " ", "00"},
        NormalizeCase{ControlId::Mac3, ConsoleMode::Manual, "", "00"},
        NormalizeCase{ControlId::Mac4, ConsoleMode::Manual, "G1", "00"},
        NormalizeCase{ControlId::Mac4, ConsoleMode::Manual, "1G", "00"},
        NormalizeCase{ControlId::Mac5, ConsoleMode::Manual, "ab", "00"},  // only upper case
        NormalizeCase{ControlId::Mac5, ConsoleMode::Manual, " F", "0F"},
        NormalizeCase{ControlId::Mac6, ConsoleMode::Manual, "C D", "CD"},
        NormalizeCase{ControlId::Mac6, ConsoleMode::Manual, "FF", "FF"},
        NormalizeCase{ControlId::Mac1, ConsoleMode::Recovery, " ", "00"},
        NormalizeCase{ControlId::Mac1, ConsoleMode::FirmwareFile, "5", "05"},
        NormalizeCase{ControlId::Mac1, ConsoleMode::Auto, " ", std::nullopt},
        // IP: only Manual and FirmwareFile; read as atoi reads, no range check.
        NormalizeCase{ControlId::Ip1, ConsoleMode::Manual, "12.", "12"},
        NormalizeCase{ControlId::Ip2, ConsoleMode::Manual, "007", "7"},
        NormalizeCase{ControlId::Ip3, ConsoleMode::Manual, "abc", "0"},
        NormalizeCase{ControlId::Ip4, ConsoleMode::Manual, " ", "0"},
        NormalizeCase{ControlId::Ip4, ConsoleMode::Manual, "-5", "-5"},
        NormalizeCase{ControlId::Ip4, ConsoleMode::FirmwareFile, "1 2", "12"},
        NormalizeCase{ControlId::Ip1, ConsoleMode::FirmwareFile, "999", "999"},
        NormalizeCase{ControlId::Ip1, ConsoleMode::Auto, " ", std::nullopt},
        NormalizeCase{ControlId::Ip1, ConsoleMode::Recovery, " ", std::nullopt}));

// ---- Validity ------------------------------------------------------------------------------

TEST(AddressValidity, MacRefusesBroadcastFirstOctetAndAllZeros) {
    EXPECT_FALSE(AddressFields::isValidMac({"FF", "00", "00", "00", "00", "01"}));
    EXPECT_FALSE(AddressFields::isValidMac({"FF", "12", "34", "56", "78", "9A"}));
    EXPECT_FALSE(AddressFields::isValidMac({"00", "00", "00", "00", "00", "00"}));
    EXPECT_TRUE(AddressFields::isValidMac({"00", "00", "00", "00", "00", "01"}));
    EXPECT_TRUE(AddressFields::isValidMac({"01", "00", "5E", "00", "00", "01"}));
    // A group the operator has not finished is refused, not read as zeros.
    EXPECT_FALSE(AddressFields::isValidMac({" ", " ", " ", " ", " ", " "}));
    EXPECT_FALSE(AddressFields::isValidMac({"02", "56", "4E", "12", " ", " "}));
    EXPECT_FALSE(AddressFields::isValidMac({"02", "56", "4E", "12", "34", "5"}));
    EXPECT_FALSE(AddressFields::isValidMac({"02", "56", "4E", "12", "3-", "45"}));
    EXPECT_FALSE(AddressFields::isValidMac({"02", "56", "4E", "12", "", "45"}));
    EXPECT_TRUE(AddressFields::isValidMac({"02", "56", "4E", "12", "34", "56"}));
    EXPECT_TRUE(AddressFields::isValidMac({"ff", "00", "00", "00", "00", "01"}));  // texts, exact
}

struct IpCase {
    IpTexts ip;
    bool valid;
};

class DeviceIpValidity : public ::testing::TestWithParam<IpCase> {};

TEST_P(DeviceIpValidity, FollowsTheOctetRules) {
    EXPECT_EQ(AddressFields::isValidDeviceIp(GetParam().ip), GetParam().valid)
        << AddressFields::joinIp(GetParam().ip);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DeviceIpValidity,
    ::testing::Values(IpCase{{"127", "0", "0", "1"}, false}, IpCase{{"0", "1", "2", "3"}, false},
                      IpCase{{"10", "0", "0", "0"}, false}, IpCase{{"10", "0", "0", "256"}, false},
                      IpCase{{"256", "1", "1", "1"}, false}, IpCase{{"10", "256", "0", "1"}, false},
                      IpCase{{"10", "0", "-1", "1"}, false}, IpCase{{" ", "0", "0", "1"}, false},
                      IpCase{{"10", "0", "0", "255"}, true}, IpCase{{"10", "0", "0", "1"}, true},
                      IpCase{{"192", "168", "0", "100"}, true},
                      IpCase{{"192", "168", "0", "255"}, true},
                      IpCase{{" 10", "+0", "0x", "1."}, true}));

TEST(AddressValidity, AtoiReadsLikeTheCLibraryAndSaturates) {
    EXPECT_EQ(AddressFields::atoiLike("  42abc"), 42);
    EXPECT_EQ(AddressFields::atoiLike("-7"), -7);
    EXPECT_EQ(AddressFields::atoiLike("+"), 0);
    EXPECT_EQ(AddressFields::atoiLike(""), 0);
    EXPECT_EQ(AddressFields::atoiLike("99999999999999999999"), 2147483647);
}

// ---- The fields on the console --------------------------------------------------------------

class ConsoleFields : public ::testing::Test {
  protected:
    void SetUp() override {
        h.console->Initialize();
        h.click(ControlId::RadioManual);
        ASSERT_EQ(h.console->mode(), ConsoleMode::Manual);
    }
    std::string text(ControlId id) { return h.console->panel().text(id); }
    std::optional<ControlId> focus() { return h.console->controls().focused(); }

    test::ConsoleHarness h;
};

TEST_F(ConsoleFields, SettersWriteHexAndDecimalAndMoveOnLikeTyping) {
    h.console->panel().setMacFields({10, 171, 205, 1, 2, 255});
    EXPECT_EQ(h.console->panel().macText(), "0A-AB-CD-01-02-FF");
    EXPECT_EQ(focus(), ControlId::Ip1);  // a full sixth octet moves on
    h.console->panel().setIpFields({192, 168, 0, 7});
    EXPECT_EQ(h.console->panel().ipText(), "192.168.0.7");
    EXPECT_EQ(focus(), ControlId::Ip1);  // "7" is one digit: no move to Set
    h.console->panel().setIpFields({192, 168, 0, 100});
    EXPECT_EQ(focus(), ControlId::SetButton);
    EXPECT_EQ(h.view.control(ControlId::Mac2).text, "AB");  // and the window shows it
}

TEST_F(ConsoleFields, ClearingWritesTheBlankMarkerAndPrefillFillsOnlyBlankOuiFields) {
    h.console->panel().clearIpFields();
    h.console->panel().clearMacFields();
    EXPECT_EQ(h.console->panel().ipText(), " . . . ");
    EXPECT_EQ(h.console->panel().macText(), " - - - - - ");
    h.console->OnFieldEdited(ControlId::Mac2, "7");
    h.console->panel().prefillMacOui();
    EXPECT_EQ(text(ControlId::Mac1), AddressFields::macOctet(kDeviceOui[0]));
    EXPECT_EQ(text(ControlId::Mac2), "7");
    EXPECT_EQ(text(ControlId::Mac3), AddressFields::macOctet(kDeviceOui[2]));
    EXPECT_EQ(focus(), ControlId::Mac4);
}

TEST_F(ConsoleFields, TypingMovesOnAtSeparatorsAndFullFieldsDropTheRefusedCharacter) {
    // "0","0" fill MAC 1; the third "0" is refused and moves on without being carried over.
    h.console->OnFieldEdited(ControlId::Mac1, "0");
    h.console->OnFieldEdited(ControlId::Mac1, "00");
    EXPECT_NE(focus(), ControlId::Mac2);
    h.console->OnFieldFull(ControlId::Mac1);
    EXPECT_EQ(focus(), ControlId::Mac2);
    EXPECT_EQ(text(ControlId::Mac2), AddressFields::macOctet(kDeviceOui[1]));

    // "5" then "-" in MAC 2 moves on at once; leaving the field shows "05".
    h.console->OnFieldEdited(ControlId::Mac2, "5");
    h.console->OnFieldEdited(ControlId::Mac2, "5-");
    EXPECT_EQ(focus(), ControlId::Mac3);
    h.console->OnFieldFocusLost(ControlId::Mac2);
    EXPECT_EQ(text(ControlId::Mac2), "05");

    // Letters are upper-cased while typing.
    h.console->OnFieldEdited(ControlId::Mac3, "a");
    EXPECT_EQ(text(ControlId::Mac3), "A");
    EXPECT_EQ(h.view.control(ControlId::Mac3).text, "A");

    // MAC 6 moves to IP 1 once full; IP 1..3 move on at "."; IP 4 moves to Set when full.
    h.console->OnFieldEdited(ControlId::Mac6, "12");
    EXPECT_EQ(focus(), ControlId::Ip1);
    h.console->OnFieldEdited(ControlId::Ip1, "19.");
    EXPECT_EQ(focus(), ControlId::Ip2);
    h.console->OnFieldFocusLost(ControlId::Ip1);
    EXPECT_EQ(text(ControlId::Ip1), "19");
    h.console->OnFieldFull(ControlId::Ip3);
    EXPECT_EQ(focus(), ControlId::Ip4);
    h.console->OnFieldEdited(ControlId::Ip4, "254");
    EXPECT_EQ(focus(), ControlId::SetButton);
    h.console->OnFieldFull(ControlId::Mac6);
    EXPECT_EQ(focus(), ControlId::Ip1);
}

TEST_F(ConsoleFields, BlankIpBecomesZeroInManualButStaysBlankInAuto) {
    h.console->OnFieldFocusLost(ControlId::Ip2);
    EXPECT_EQ(text(ControlId::Ip2), "0");
    h.click(ControlId::RadioAuto);
    ASSERT_EQ(h.console->mode(), ConsoleMode::Auto);
    h.console->OnFieldFocusLost(ControlId::Ip2);
    EXPECT_EQ(text(ControlId::Ip2), " ");
}

}  // namespace
}  // namespace vantor
