#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "ports/AddressTexts.h"
#include "ports/ConsoleMode.h"
#include "ports/ControlId.h"

namespace vantor {

// The rules of the MAC and IP entry fields: where typing moves on to, how a field's text is
// normalised when it loses the focus, and the two validity checks. The texts themselves are
// the state; they are kept by the console's control board.
class AddressFields {
  public:
    static bool isMacField(ControlId id);
    static bool isIpField(ControlId id);
    static bool isAddressField(ControlId id);

    // Where the focus goes after the field's text became `text`, if anywhere.
    static std::optional<ControlId> moveOnAfterChange(ControlId id, std::string_view text);
    // Where the focus goes when a typed character was refused because the field is full.
    static std::optional<ControlId> moveOnWhenFull(ControlId id);

    // The normalised text of a field that loses the focus in `mode`; nothing when the field
    // is left as it stands in that mode.
    static std::optional<std::string> normalizeOnFocusLoss(ControlId id, std::string_view text,
                                                           ConsoleMode mode);
    static std::string normalizeMac(std::string_view text);
    static std::string normalizeIp(std::string_view text);

    // The C library's atoi, without its undefined behaviour on overflow (the value saturates).
    static long long atoiLike(std::string_view text);

    // A MAC group the operator finished: two characters once blanks and a typed "-" are left
    // out. A blank or one-digit group is refused rather than filled with zeros, which would
    // make another device's address.
    static bool isCompleteMacGroup(std::string_view text);
    // False for a MAC with an unfinished group, one beginning "FF", and six "00".
    static bool isValidMac(const MacTexts& mac);
    static bool isValidDeviceIp(const IpTexts& ip);

    static std::string joinMac(const MacTexts& mac);  // "%s-%s-%s-%s-%s-%s"
    static std::string joinIp(const IpTexts& ip);     // "%s.%s.%s.%s"
    static std::string macOctet(unsigned value);      // "%02X"
};

}  // namespace vantor
