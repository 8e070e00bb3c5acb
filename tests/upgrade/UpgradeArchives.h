#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "upgrade/TempDir.h"
#include "upgrade/ZipWriter.h"

namespace vantor::test {

// Firmware archives as a maker ships them, and the bytes a device should receive from them.

// A microcode update file (type 2): header, then an image of imageLength bytes whose check
// value leaves out the tail region.
std::vector<std::uint8_t> microcodeFile(std::uint8_t model, std::size_t imageLength,
                                        std::uint32_t seed = 21);

// A member under the archive password, deflated.
ZipMember firmwareMember(const std::string& name, std::vector<std::uint8_t> data);

// Writes the archive into dir and returns its path.
std::string writeArchive(const TempDir& dir, const std::string& fileName,
                         const std::vector<ZipMember>& members);

// The streams the device receives for each region, worked out from the member bytes
// independently of the sender: the tail and main region of a microcode file (with the 8
// extra bytes in front of the pages), a bin image padded to its 845 pages and a logo with its
// length in front, padded to its 16 pages.
std::vector<std::uint8_t> expectedTail(const std::vector<std::uint8_t>& microcode);
std::vector<std::uint8_t> expectedMicrocode(const std::vector<std::uint8_t>& microcode);
std::vector<std::uint8_t> expectedBin(const std::vector<std::uint8_t>& bin);
std::vector<std::uint8_t> expectedLogo(const std::vector<std::uint8_t>& logo);

}  // namespace vantor::test
