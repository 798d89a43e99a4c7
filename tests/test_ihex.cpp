// Intel HEX record codec: digit conversions, the type probe, the decoder and the encoder.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/ihex.h"

namespace {

// Decodes a record with the decoder's own contract: the line is terminated, as a loader hands it.
unsigned decode(const std::string &line, std::vector<uint8_t> *data, unsigned capacity,
                uint16_t *address) {
    data->assign(capacity, 0xEE);
    return ihex_decode_data_record(line.c_str(), data->data(), capacity, address);
}

// Sum of every byte of a record's text, read with strtoul rather than the codec's own digits.
unsigned record_byte_sum(const std::string &line) {
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < line.size(); i += 2)
        sum += static_cast<unsigned>(std::strtoul(line.substr(i, 2).c_str(), nullptr, 16));
    return sum % 256;
}

TEST(IhexDigits, ExactlyTheHexDigitCharactersHaveValues) {
    for (int c = 0; c < 256; ++c) {
        const char character = static_cast<char>(c);
        const int value = ihex_hex_nibble_to_byte(character);
        if (std::isxdigit(c)) {
            const char text[2] = {character, 0};
            EXPECT_EQ(value, static_cast<int>(std::strtol(text, nullptr, 16))) << c;
        } else {
            EXPECT_EQ(value, -1) << "character " << c;
        }
    }
    EXPECT_EQ(ihex_hex_nibble_to_byte('a'), 10);
    EXPECT_EQ(ihex_hex_nibble_to_byte('A'), 10);
    EXPECT_EQ(ihex_hex_nibble_to_byte('f'), 15);
    EXPECT_EQ(ihex_hex_nibble_to_byte('F'), 15);
    EXPECT_EQ(ihex_hex_nibble_to_byte('g'), -1);
    EXPECT_EQ(ihex_hex_nibble_to_byte('G'), -1);
    EXPECT_EQ(ihex_hex_nibble_to_byte(' '), -1);
    EXPECT_EQ(ihex_hex_nibble_to_byte(':'), -1);
    // Setting bit 5 of 0x10-0x19 gives '0'-'9'; the control characters are still not digits.
    EXPECT_EQ(ihex_hex_nibble_to_byte('\x10'), -1);
    EXPECT_EQ(ihex_hex_nibble_to_byte('\x19'), -1);
    EXPECT_EQ(ihex_hex_nibble_to_byte('\xC1'), -1);
}

TEST(IhexDigits, NibbleToHexIsUpperCaseAndIgnoresHighBits) {
    const std::string table = "0123456789ABCDEF";
    for (int value = 0; value < 256; ++value) {
        const char digit = ihex_nibble_to_hex(static_cast<uint8_t>(value));
        EXPECT_EQ(digit, table[value % 16]) << value;
        EXPECT_EQ(ihex_hex_nibble_to_byte(digit), value % 16);
    }
}

TEST(IhexWord, ParsesUpToFourDigits) {
    uint16_t value = 0xBEEF;
    EXPECT_TRUE(ihex_hex_to_word("12345", 5, &value));
    EXPECT_EQ(value, 0x1234);
    value = 0xBEEF;
    EXPECT_TRUE(ihex_hex_to_word("", 0, &value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(ihex_hex_to_word("ffff", 4, &value));
    EXPECT_EQ(value, 0xFFFF);
    EXPECT_TRUE(ihex_hex_to_word("aB", 2, &value));
    EXPECT_EQ(value, 0xAB);
    // Only length characters count, and nothing after the fourth is read.
    EXPECT_TRUE(ihex_hex_to_word("1234", 2, &value));
    EXPECT_EQ(value, 0x12);
    EXPECT_TRUE(ihex_hex_to_word("8000zz", 6, &value));
    EXPECT_EQ(value, 0x8000);
}

TEST(IhexWord, BadDigitFailsKeepingTheDigitsBeforeIt) {
    uint16_t value = 0;
    EXPECT_FALSE(ihex_hex_to_word("12G4", 4, &value));
    EXPECT_EQ(value, 0x12);
    EXPECT_FALSE(ihex_hex_to_word(" 1", 2, &value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(ihex_hex_to_word("-1", 2, &value));
    EXPECT_FALSE(ihex_hex_to_word("1\n", 2, &value));
    EXPECT_EQ(value, 1);
}

TEST(IhexProbe, RecognisesTypesZeroToFive) {
    const std::string eof = ":00000001FF";
    EXPECT_EQ(ihex_get_record_type(eof.c_str(), eof.size()), 1);
    const std::string linear = ":020000040000FA";
    EXPECT_EQ(ihex_get_record_type(linear.c_str(), linear.size()), 4);
    const std::string data = ":03200000010203D7";
    EXPECT_EQ(ihex_get_record_type(data.c_str(), data.size()), 0);
    for (int type = 0; type <= 5; ++type) {
        std::string line = ":0000000" + std::to_string(type) + "00";
        EXPECT_EQ(ihex_get_record_type(line.c_str(), line.size()), type);
    }
}

TEST(IhexProbe, RejectsOtherTypesAndLines) {
    for (const char *type : {"06", "0A", "0a", "0F", "10", "a0", "A1", "FF", "0G", "0 ", "0:"}) {
        std::string line = std::string(":0000") + "00" + type + "00";
        EXPECT_EQ(ihex_get_record_type(line.c_str(), line.size()), -1) << type;
    }
    const std::string bad_type = ":020000060000F8";
    EXPECT_EQ(ihex_get_record_type(bad_type.c_str(), bad_type.size()), -1);
    const std::string no_colon = "00000001FF ";
    EXPECT_EQ(ihex_get_record_type(no_colon.c_str(), no_colon.size()), -1);
    // Position 7 is compared exactly: 0x10 would fold to '0'.
    const std::string folded = ":000000\x10"
                               "100";
    EXPECT_EQ(ihex_get_record_type(folded.c_str(), folded.size()), -1);
}

TEST(IhexProbe, LengthBounds) {
    // A buffer big enough for the longest record; only the given length differs.
    std::string line = ":00000001FF";
    line.resize(600, '0');
    EXPECT_EQ(ihex_get_record_type(line.c_str(), 10), -1);
    EXPECT_EQ(ihex_get_record_type(line.c_str(), 11), 1);
    EXPECT_EQ(ihex_get_record_type(line.c_str(), 521), 1);
    EXPECT_EQ(ihex_get_record_type(line.c_str(), 522), -1);
    EXPECT_EQ(ihex_get_record_type(line.c_str(), 0), -1);
}

TEST(IhexDecode, DataRecordInEitherCase) {
    std::vector<uint8_t> data;
    uint16_t address = 0;
    EXPECT_EQ(decode(":03200000010203D7", &data, 256, &address), 3u);
    EXPECT_EQ(address, 0x2000);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[1], 2);
    EXPECT_EQ(data[2], 3);
    EXPECT_EQ(data[3], 0xEE) << "stored past the record's data";

    address = 0;
    EXPECT_EQ(decode(":04abcd00deadbeef4c", &data, 256, &address), 4u);
    EXPECT_EQ(address, 0xABCD);
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 4),
              (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));

    // Characters after the checksum are never read.
    EXPECT_EQ(decode(":03200000010203D7XYZ", &data, 256, &address), 3u);
    EXPECT_EQ(decode(":03200000010203D7\r\n", &data, 256, &address), 3u);
}

TEST(IhexDecode, EndOfFileRecordAlwaysDecodesToZero) {
    std::vector<uint8_t> data;
    uint16_t address = 0x5555;
    EXPECT_EQ(decode(":00000001FF", &data, 256, &address), 0u);
    EXPECT_EQ(address, 0);
    EXPECT_EQ(decode(":00000001FE", &data, 256, &address), 0u);
    // The count of an end-of-file record is not consulted, and its address is still set.
    address = 0;
    EXPECT_EQ(decode(":0512340100B4", &data, 256, &address), 0u);
    EXPECT_EQ(address, 0x1234);
}

TEST(IhexDecode, InvalidRecordsDecodeToZero) {
    std::vector<uint8_t> data;
    uint16_t address = 0x5555;
    // Not a record: the address is left alone.
    EXPECT_EQ(decode("03200000010203D7", &data, 256, &address), 0u);
    EXPECT_EQ(address, 0x5555);
    EXPECT_EQ(decode("", &data, 256, &address), 0u);
    EXPECT_EQ(address, 0x5555);

    // Checksum off by one: the data already stored stays in the buffer.
    EXPECT_EQ(decode(":03200000010203D8", &data, 256, &address), 0u);
    EXPECT_EQ(address, 0x2000);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[2], 3);

    // Empty data record, other types, bad digits, lines that end early.
    EXPECT_EQ(decode(":00200000E0", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":020000040000FA", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":03200000010G03D7", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":03200000 10203D7", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":03200000010203D", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":0320000001020", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":03200000010203", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":", &data, 256, &address), 0u);
    EXPECT_EQ(decode(":0", &data, 256, &address), 0u);
}

TEST(IhexDecode, CapacityBoundsTheStoredBytes) {
    std::vector<uint8_t> data;
    uint16_t address = 0;
    // A record needs room for one byte more than its data.
    EXPECT_EQ(decode(":03200000010203D7", &data, 4, &address), 3u);
    EXPECT_EQ(decode(":03200000010203D7", &data, 3, &address), 0u);
    EXPECT_EQ(decode(":03200000010203D7", &data, 0, &address), 0u);
    EXPECT_EQ(decode(":00000001FF", &data, 0, &address), 0u);

    // An empty data record ends at its checksum; a record longer than the buffer stops before
    // writing anything past it (bytes after it in the array are guards).
    const std::string runaway = ":00200000E0" + std::string(1000, '7');
    std::vector<uint8_t> buffer(64, 0xEE);
    EXPECT_EQ(ihex_decode_data_record(runaway.c_str(), buffer.data(), 16, &address), 0u);
    const std::string long_record = ":20200000" + std::string(1000, '7');
    EXPECT_EQ(ihex_decode_data_record(long_record.c_str(), buffer.data(), 16, &address), 0u);
    for (size_t i = 0; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xEE) << i;
}

// The full decoder says why a record failed and decodes the address records too.
TEST(IhexDecode, RecordOfAnyTypeWithTheReasonForAFailure) {
    uint8_t data[256];
    ihex_record_t record;
    EXPECT_EQ(ihex_decode_record(":020000040000FA", data, 256, &record), IHEX_DECODED);
    EXPECT_EQ(record.type, 4u);
    EXPECT_EQ(record.count, 2u);
    EXPECT_EQ(ihex_decode_record(":040000050000800077 junk", data, 256, &record), IHEX_DECODED);
    EXPECT_EQ(record.type, 5u);
    EXPECT_EQ(data[2], 0x80);
    EXPECT_EQ(ihex_decode_record(":03200000010203D8", data, 256, &record), IHEX_BAD_CHECKSUM);
    EXPECT_EQ(ihex_decode_record(":03200000010G03D7", data, 256, &record), IHEX_BAD_DIGIT);
    EXPECT_EQ(record.error_at, 12u);
    EXPECT_EQ(ihex_decode_record(":032000000102", data, 256, &record), IHEX_BAD_DIGIT);
    EXPECT_EQ(record.error_at, 13u);
    EXPECT_EQ(ihex_decode_record(":020000060000F8", data, 256, &record), IHEX_BAD_TYPE);
    EXPECT_EQ(ihex_decode_record(":03200000010203D7", data, 3, &record), IHEX_NO_ROOM);
    EXPECT_EQ(ihex_decode_record("03200000010203D7", data, 256, &record), IHEX_NOT_A_RECORD);
}

TEST(IhexEncode, WorkedExamples) {
    std::array<char, 64> out;
    out.fill('#');
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(ihex_encode_data_record(bytes, 3, 0x2000, out.data(), out.size()), 17);
    EXPECT_EQ(std::string(out.data(), 17), ":03200000010203D7");
    EXPECT_EQ(out[17], '#') << "the encoder writes no terminator";

    ASSERT_EQ(ihex_encode_data_record(nullptr, 0, 0x1234, out.data(), out.size()), 11);
    EXPECT_EQ(std::string(out.data(), 11), ":00123400BA");

    const uint8_t high[] = {0xFF, 0xAB};
    ASSERT_EQ(ihex_encode_data_record(high, 2, 0xFFFE, out.data(), out.size()), 15);
    EXPECT_EQ(std::string(out.data(), 15), ":02FFFE00FFAB57");
}

TEST(IhexEncode, RefusesWhatDoesNotFitAndWritesNothing) {
    std::vector<uint8_t> bytes(256);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);
    std::vector<char> out(600, '#');
    EXPECT_EQ(ihex_encode_data_record(bytes.data(), 255, 0x0100, out.data(), 520), 0xFFFF);
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string(600, '#'));
    EXPECT_EQ(ihex_encode_data_record(bytes.data(), 256, 0x0100, out.data(), 0xFFFF), 0xFFFF);
    EXPECT_EQ(ihex_encode_data_record(bytes.data(), 3, 0, out.data(), 16), 0xFFFF);
    EXPECT_EQ(ihex_encode_data_record(bytes.data(), 0, 0, out.data(), 10), 0xFFFF);
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string(600, '#'));

    ASSERT_EQ(ihex_encode_data_record(bytes.data(), 255, 0x0100, out.data(), 521), 521);
    EXPECT_EQ(out[521], '#');
    const std::string line(out.data(), 521);
    EXPECT_EQ(record_byte_sum(line), 0u);
    EXPECT_EQ(ihex_get_record_type(line.c_str(), line.size()), 0);
}

TEST(IhexEncode, RoundTripsThroughTheDecoder) {
    std::vector<uint8_t> bytes(255);
    uint32_t seed = 12345;
    for (auto &byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    for (unsigned count : {1u, 2u, 16u, 31u, 32u, 33u, 122u, 200u, 255u}) {
        for (uint16_t address : {0x0000, 0x00FF, 0x2000, 0x7FFF, 0xFFE0, 0xFFFF}) {
            std::vector<char> out(600, 0);
            const uint16_t length =
                ihex_encode_data_record(bytes.data(), count, address, out.data(), 600);
            ASSERT_EQ(length, 11 + 2 * count);
            const std::string line(out.data(), length);
            EXPECT_EQ(record_byte_sum(line), 0u) << line;
            EXPECT_EQ(line.find_first_of("abcdef"), std::string::npos) << line;
            std::vector<uint8_t> data;
            uint16_t decoded_address = 0;
            ASSERT_EQ(decode(line, &data, 256, &decoded_address), count) << line;
            EXPECT_EQ(decoded_address, address);
            EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + count),
                      std::vector<uint8_t>(bytes.begin(), bytes.begin() + count));
        }
    }
}

} // namespace
