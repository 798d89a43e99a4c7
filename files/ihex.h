// Intel HEX records with 16-bit addresses, one record (one line without its line ending) at a
// time, and the hexadecimal digit conversions used wherever the program reads or writes hex text.
//
// A record is ':' NN AAAA TT DD... CC: byte count, load address (high byte first), type, the data
// bytes and a checksum that makes all bytes of the record add up to 0 modulo 256. Type 00 (data) is
// written and read; 01 (end of file) and the address records 02 to 05 are read.
//
// Digits are written upper case and read in either case. Every function here is pure: no state,
// no allocation, and no access outside the buffers it is given.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned IHEX_TYPE_DATA = 0x00;
constexpr unsigned IHEX_TYPE_END_OF_FILE = 0x01;
constexpr unsigned IHEX_TYPE_SEGMENT_ADDRESS = 0x02;
constexpr unsigned IHEX_TYPE_START_SEGMENT = 0x03;
constexpr unsigned IHEX_TYPE_LINEAR_ADDRESS = 0x04;
constexpr unsigned IHEX_TYPE_START_LINEAR = 0x05;

// An empty record is 11 characters, one with 255 data bytes 521.
constexpr size_t IHEX_MIN_RECORD_LENGTH = 11;
constexpr size_t IHEX_MAX_RECORD_LENGTH = 11 + 2 * 255;

// The value 0-15 of one hexadecimal digit ('0'-'9', 'a'-'f', 'A'-'F'), or -1.
int ihex_hex_nibble_to_byte(char character);

// The upper-case digit of the low four bits of value.
char ihex_nibble_to_hex(uint8_t value);

// Parses up to four hex digits, the first min(length, 4) characters of text; characters after the
// fourth are never read. An empty text is 0. On a bad digit returns false with *value_out holding
// the value of the digits before it.
bool ihex_hex_to_word(const char *text, size_t length, uint16_t *value_out);

// Quick look at a record's type without decoding it: 0-5, or -1 unless 11 <= length <= 521, the
// line starts with ':', position 7 is '0' and position 8 a digit of at most 5. Reads positions 0,
// 7 and 8 only, so length may be the capacity of the caller's buffer as long as the line itself
// is at least 9 characters long.
int ihex_get_record_type(const char *line, size_t length);

// Why a record did not decode.
enum ihex_decode_status : int {
    IHEX_DECODED = 0,
    IHEX_NOT_A_RECORD = 1, // the line does not start with ':'
    IHEX_BAD_DIGIT = 2,    // a character that is not a hex digit, at error_at
    IHEX_BAD_CHECKSUM = 3,
    IHEX_BAD_TYPE = 4, // a type above 05
    IHEX_NO_ROOM = 5,  // the data does not fit the caller's buffer
};

struct ihex_record_t {
    uint8_t type;
    uint8_t count;    // data bytes; an end-of-file record has none whatever its count field says
    uint16_t address; // set field by field, so it holds what was read before a failure
    size_t error_at;  // the offending character's position, for IHEX_BAD_DIGIT
};

// Decodes a record of any type 00-05 into *record and its data bytes into data_out, which must
// hold count + 1 bytes (capacity says how many it holds). Reads pairs of digits until the record
// is complete, so the line must end with a character that is not a digit; characters after the
// checksum are never read. Returns one of ihex_decode_status.
int ihex_decode_record(const char *line, uint8_t *data_out, unsigned capacity,
                       ihex_record_t *record);

// Decodes a type 00 record into data_out (capacity bytes) and returns its byte count, or 0 for
// anything else: a bad digit or checksum, a line that ends early, an empty data record, an end of
// file record (whose address is still stored), another type, or more bytes than capacity - 1.
// The line's length is not passed: pairs of digits are read until the record is complete, so the
// line must end with a character that is not a digit (a line ending or a zero byte). Characters
// after the checksum are never read. *address_out is left alone when the line does not start with
// ':', and set from the address field otherwise.
unsigned ihex_decode_data_record(const char *line, uint8_t *data_out, unsigned capacity,
                                 uint16_t *address_out);

// Writes the type 00 record of count bytes at address into out, with no line ending and no zero
// byte, and returns its length 11 + 2 * count; returns 0xFFFF and writes nothing when count > 255
// or the record does not fit in out_capacity characters.
uint16_t ihex_encode_data_record(const uint8_t *data, unsigned count, uint16_t address, char *out,
                                 uint16_t out_capacity);
