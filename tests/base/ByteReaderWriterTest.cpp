#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

namespace vantor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A field as it sits in the bytes; the number of bytes picks u8, u16, u32 or u64.
struct Field {
    ByteOrder order;
    std::uint64_t value;
    Bytes bytes;
};

std::uint64_t readField(ByteReader& reader, std::size_t width) {
    if (width == sizeof(std::uint64_t)) {
        return reader.u64();
    }
    if (width == sizeof(std::uint32_t)) {
        return reader.u32();
    }
    return width == sizeof(std::uint16_t) ? reader.u16() : reader.u8();
}

void writeField(ByteWriter& writer, std::size_t width, std::uint64_t value) {
    if (width == sizeof(std::uint64_t)) {
        writer.u64(value);
    } else if (width == sizeof(std::uint32_t)) {
        writer.u32(static_cast<std::uint32_t>(value));
    } else if (width == sizeof(std::uint16_t)) {
        writer.u16(static_cast<std::uint16_t>(value));
    } else {
        writer.u8(static_cast<std::uint8_t>(value));
    }
}

// Known answers in both orders, with high bits set so that a sign extension or a shift done
// in int shows.
const std::vector<Field> kFields = {
    {ByteOrder::big, 0xFF, {0xFF}},
    {ByteOrder::big, 0x1234, {0x12, 0x34}},
    {ByteOrder::little, 0x1234, {0x34, 0x12}},
    {ByteOrder::big, 0xFF80, {0xFF, 0x80}},
    {ByteOrder::little, 0xFF80, {0x80, 0xFF}},
    {ByteOrder::big, 0x80000001, {0x80, 0x00, 0x00, 0x01}},
    {ByteOrder::little, 0x80000001, {0x01, 0x00, 0x00, 0x80}},
    {ByteOrder::big, 0xC0A80001, {0xC0, 0xA8, 0x00, 0x01}},  // 192.168.0.1
    {ByteOrder::little, 0xFEDCBA98, {0x98, 0xBA, 0xDC, 0xFE}},
    {ByteOrder::big, 0x8102030405060708, {0x81, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}},
    {ByteOrder::little, 0x8000000100000002, {0x02, 0, 0, 0, 0x01, 0, 0, 0x80}},
};

TEST(ByteReaderWriter, KnownAnswersInBothOrders) {
    for (const Field& field : kFields) {
        SCOPED_TRACE(::testing::Message() << "value 0x" << std::hex << field.value);
        ByteReader reader(field.bytes, field.order);
        EXPECT_EQ(readField(reader, field.bytes.size()), field.value);
        EXPECT_TRUE(reader.ok());
        EXPECT_EQ(reader.remaining(), 0u);

        Bytes written;
        ByteWriter writer(written, field.order);
        writeField(writer, field.bytes.size(), field.value);
        EXPECT_TRUE(writer.ok());
        EXPECT_EQ(written, field.bytes);
    }
    // The zip and update file readers construct it without an order.
    EXPECT_EQ(ByteReader(Bytes{0x50, 0x4B, 0x05, 0x06}).u32(), 0x06054B50u);
}

TEST(ByteReader, AFieldEndingOnTheLastByteReadsAndOneByteShortFailsForGood) {
    constexpr std::size_t kLead = 3;  // fields start past the front, as they do in records
    constexpr std::uint8_t kFill = 0xA5;
    for (const std::size_t width : {1u, 2u, 4u, 8u}) {
        SCOPED_TRACE(::testing::Message() << "width " << width);
        const Bytes exact(kLead + width, kFill);
        ByteReader fits(exact, ByteOrder::big);
        fits.seek(kLead);
        EXPECT_NE(readField(fits, width), 0u);
        EXPECT_TRUE(fits.ok());
        EXPECT_EQ(fits.position(), exact.size());

        const Bytes shortByOne(kLead + width - 1, kFill);
        ByteReader cut(shortByOne, ByteOrder::little);
        cut.seek(kLead);
        EXPECT_EQ(readField(cut, width), 0u);
        EXPECT_FALSE(cut.ok());
        // Whatever fits afterwards still fails: fields behind a missing one are not read.
        cut.seek(0);
        EXPECT_EQ(cut.u8(), 0u);
        EXPECT_FALSE(cut.ok());
    }
}

TEST(ByteReader, SeekAndByteRunsStopAtTheEnd) {
    const Bytes bytes = {1, 2, 3, 4};

    ByteReader atEnd(bytes);
    atEnd.seek(bytes.size());
    EXPECT_TRUE(atEnd.ok());
    EXPECT_TRUE(atEnd.bytes(0).empty());
    EXPECT_TRUE(atEnd.ok());
    EXPECT_EQ(atEnd.u8(), 0u);
    EXPECT_FALSE(atEnd.ok());

    ByteReader pastEnd(bytes);
    pastEnd.seek(bytes.size() + 1);
    EXPECT_FALSE(pastEnd.ok());

    // A length from the input so large that position + length wraps around.
    ByteReader huge(bytes);
    huge.skip(1);
    EXPECT_TRUE(huge.bytes(SIZE_MAX).empty());
    EXPECT_FALSE(huge.ok());
}

TEST(ByteWriter, ASpanTakesAFieldEndingOnItsLastByteAndNothingOfOneThatOverruns) {
    Bytes storage(6, 0xEE);
    ByteWriter writer(std::span<std::uint8_t>(storage), ByteOrder::big);
    writer.seek(2).u32(0xDEADBEEF);
    EXPECT_TRUE(writer.ok());
    EXPECT_EQ(storage, (Bytes{0xEE, 0xEE, 0xDE, 0xAD, 0xBE, 0xEF}));

    // Two bytes left, four asked: none is written, and the writer stays failed.
    writer.seek(4).u32(0x01020304);
    EXPECT_FALSE(writer.ok());
    writer.seek(0).u8(0x00);
    EXPECT_EQ(storage, (Bytes{0xEE, 0xEE, 0xDE, 0xAD, 0xBE, 0xEF}));

    ByteWriter pastEnd(std::span<std::uint8_t>(storage), ByteOrder::little);
    EXPECT_TRUE(pastEnd.seek(storage.size()).ok());
    EXPECT_FALSE(pastEnd.u8(0).ok());
}

TEST(ByteWriter, AVectorGrowsAtItsEndAndIsPatchedInPlace) {
    Bytes packet = {0xAA, 0xBB};
    ByteWriter writer(packet, ByteOrder::big);
    // Appending, then writing a field over the old end that reaches past it.
    writer.seek(packet.size()).u16(0x0102).text("ok");
    writer.seek(packet.size() - 1).u16(0x0304);
    EXPECT_EQ(packet, (Bytes{0xAA, 0xBB, 0x01, 0x02, 'o', 0x03, 0x04}));
    // A checksum patched in afterwards changes the bytes but not the size.
    writer.seek(0).u16(0xFFFE);
    EXPECT_EQ(packet, (Bytes{0xFF, 0xFE, 0x01, 0x02, 'o', 0x03, 0x04}));
    EXPECT_TRUE(writer.ok());
    EXPECT_EQ(writer.position(), 2u);
    // A gap is not left behind: seeking past the end fails instead of growing.
    EXPECT_FALSE(writer.seek(packet.size() + 1).ok());
}

}  // namespace
}  // namespace vantor
