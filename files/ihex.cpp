// Intel HEX record codec.
#include "files/ihex.h"

#include <array>

namespace {

// Digit values by character, -1 for anything that is not a hex digit. Folding the case by setting
// bit 5 would also turn the control characters 0x10-0x19 into '0'-'9'; a table accepts exactly
// the 22 digit characters.
constexpr std::array<int8_t, 256> ihex_digit_values = [] {
    std::array<int8_t, 256> values{};
    for (auto &value : values)
        value = -1;
    for (int i = 0; i < 10; ++i)
        values['0' + i] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        values['a' + i] = static_cast<int8_t>(10 + i);
        values['A' + i] = static_cast<int8_t>(10 + i);
    }
    return values;
}();

constexpr char ihex_digits[] = "0123456789ABCDEF";

// The fields of a record in the order they are read.
enum class ihex_field { count, address_high, address_low, type, data, checksum };

// Reads the byte at line[0..1]. The low digit is looked at only when the high one is a digit, so
// a terminator in the high position stops the read there.
inline bool ihex_read_byte(const char *line, uint8_t *byte_out) {
    const int high = ihex_hex_nibble_to_byte(line[0]);
    if (high < 0) return false;
    const int low = ihex_hex_nibble_to_byte(line[1]);
    if (low < 0) return false;
    *byte_out = static_cast<uint8_t>(high * 16 + low);
    return true;
}

inline void ihex_write_byte(uint8_t byte, char *out) {
    out[0] = ihex_nibble_to_hex(static_cast<uint8_t>(byte >> 4));
    out[1] = ihex_nibble_to_hex(byte);
}

} // namespace

int ihex_hex_nibble_to_byte(char character) {
    return ihex_digit_values[static_cast<uint8_t>(character)];
}

char ihex_nibble_to_hex(uint8_t value) {
    return ihex_digits[value & 0x0F];
}

bool ihex_hex_to_word(const char *text, size_t length, uint16_t *value_out) {
    *value_out = 0;
    const size_t digits = length < 4 ? length : 4;
    for (size_t i = 0; i < digits; ++i) {
        const int digit = ihex_hex_nibble_to_byte(text[i]);
        if (digit < 0) return false;
        *value_out = static_cast<uint16_t>(*value_out * 16 + digit);
    }
    return true;
}

int ihex_get_record_type(const char *line, size_t length) {
    if (length < IHEX_MIN_RECORD_LENGTH || length > IHEX_MAX_RECORD_LENGTH) return -1;
    if (line[0] != ':') return -1;
    const int low = ihex_hex_nibble_to_byte(line[8]);
    if (low < 0 || line[7] != '0' || low > 5) return -1;
    return low;
}

int ihex_decode_record(const char *line, uint8_t *data_out, unsigned capacity,
                       ihex_record_t *record) {
    *record = ihex_record_t{};
    if (line[0] != ':') return IHEX_NOT_A_RECORD;
    unsigned sum = 0;
    unsigned stored = 0;
    ihex_field field = ihex_field::count;
    for (size_t at = 1;; at += 2) {
        uint8_t byte = 0;
        if (!ihex_read_byte(line + at, &byte)) {
            record->error_at = ihex_hex_nibble_to_byte(line[at]) < 0 ? at : at + 1;
            return IHEX_BAD_DIGIT;
        }
        if (field == ihex_field::checksum)
            return byte == ((256 - sum % 256) % 256) ? IHEX_DECODED : IHEX_BAD_CHECKSUM;
        sum += byte;
        switch (field) {
        case ihex_field::count:
            record->count = byte;
            field = ihex_field::address_high;
            break;
        case ihex_field::address_high:
            record->address = static_cast<uint16_t>(byte << 8);
            field = ihex_field::address_low;
            break;
        case ihex_field::address_low:
            record->address = static_cast<uint16_t>(record->address | byte);
            field = ihex_field::type;
            break;
        case ihex_field::type:
            record->type = byte;
            if (byte > IHEX_TYPE_START_LINEAR) return IHEX_BAD_TYPE;
            // An end-of-file record carries no data whatever its count says.
            if (byte == IHEX_TYPE_END_OF_FILE) record->count = 0;
            if (record->count >= capacity) return IHEX_NO_ROOM;
            field = record->count == 0 ? ihex_field::checksum : ihex_field::data;
            break;
        case ihex_field::data:
            data_out[stored++] = byte;
            if (stored == record->count) field = ihex_field::checksum;
            break;
        case ihex_field::checksum: break;
        }
    }
}

unsigned ihex_decode_data_record(const char *line, uint8_t *data_out, unsigned capacity,
                                 uint16_t *address_out) {
    ihex_record_t record;
    const int status = ihex_decode_record(line, data_out, capacity, &record);
    if (status == IHEX_NOT_A_RECORD) return 0;
    *address_out = record.address;
    return status == IHEX_DECODED && record.type == IHEX_TYPE_DATA ? record.count : 0;
}

uint16_t ihex_encode_data_record(const uint8_t *data, unsigned count, uint16_t address, char *out,
                                 uint16_t out_capacity) {
    if (count > 255 || out_capacity < 2 * count + IHEX_MIN_RECORD_LENGTH) return 0xFFFF;
    const uint8_t address_high = static_cast<uint8_t>(address >> 8);
    const uint8_t address_low = static_cast<uint8_t>(address);
    unsigned sum = count + address_high + address_low + IHEX_TYPE_DATA;
    out[0] = ':';
    ihex_write_byte(static_cast<uint8_t>(count), out + 1);
    ihex_write_byte(address_high, out + 3);
    ihex_write_byte(address_low, out + 5);
    ihex_write_byte(IHEX_TYPE_DATA, out + 7);
    for (unsigned i = 0; i < count; ++i) {
        ihex_write_byte(data[i], out + 9 + 2 * i);
        sum += data[i];
    }
    ihex_write_byte(static_cast<uint8_t>((256 - sum % 256) % 256), out + 9 + 2 * count);
    return static_cast<uint16_t>(IHEX_MIN_RECORD_LENGTH + 2 * count);
}
