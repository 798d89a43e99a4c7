// Feeds arbitrary bytes to the record codec as one line, handed over as the loader does: in a heap
// buffer of exactly the line's size plus its terminator, so that any read past it is caught.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "files/ihex.h"

namespace {

constexpr unsigned RECORD_CAPACITY = 256;

void check(bool condition) {
    if (!condition) std::abort();
}

std::unique_ptr<char[]> terminated_copy(const char *bytes, size_t size) {
    std::unique_ptr<char[]> line(new char[size + 1]);
    std::memcpy(line.get(), bytes, size);
    line[size] = '\0';
    return line;
}

void fuzz_decode(const uint8_t *data, size_t size) {
    const auto line = terminated_copy(reinterpret_cast<const char *>(data), size);
    const int type = ihex_get_record_type(line.get(), size);
    check(type >= -1 && type <= 5);
    // The loader probes every line of 9 characters or more with its buffer's capacity.
    if (size >= 9) {
        const int probed = ihex_get_record_type(line.get(), RECORD_CAPACITY);
        if (size >= IHEX_MIN_RECORD_LENGTH && size <= IHEX_MAX_RECORD_LENGTH)
            check(probed == type);
        else
            check(probed >= -1 && probed <= 5);
    }

    std::unique_ptr<uint8_t[]> record(new uint8_t[RECORD_CAPACITY]);
    uint16_t address = 0;
    const unsigned count =
        ihex_decode_data_record(line.get(), record.get(), RECORD_CAPACITY, &address);
    check(count <= 255);
    if (count == 0) return;

    // A decoded record is a well-formed data record: it probes as one, and encoding its bytes
    // again gives its text, up to the case of the digits.
    const size_t length = IHEX_MIN_RECORD_LENGTH + 2 * count;
    check(size >= length);
    check(ihex_get_record_type(line.get(), size < 521 ? size : 521) == 0);
    std::unique_ptr<char[]> text(new char[length]);
    check(ihex_encode_data_record(record.get(), count, address, text.get(),
                                  static_cast<uint16_t>(length)) == length);
    for (size_t i = 0; i < length; ++i)
        check(std::toupper(static_cast<unsigned char>(line[i])) == text[i]);

    // A record needs exactly one byte more than its data; less fails without writing past it.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[count + 1]);
    check(ihex_decode_data_record(line.get(), exact.get(), count + 1, &address) == count);
    std::unique_ptr<uint8_t[]> small(new uint8_t[count]);
    check(ihex_decode_data_record(line.get(), small.get(), count, &address) == 0);
}

void fuzz_small_capacity(const uint8_t *data, size_t size) {
    if (size < 1) return;
    // The first byte picks a capacity, the rest is the line.
    const unsigned capacity = data[0] % 40;
    const auto line = terminated_copy(reinterpret_cast<const char *>(data + 1), size - 1);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity]);
    uint16_t address = 0;
    const unsigned count = ihex_decode_data_record(line.get(), buffer.get(), capacity, &address);
    check(count == 0 || count < capacity);
}

void fuzz_encode(const uint8_t *data, size_t size) {
    if (size < 4) return;
    // count, address and buffer size from the input, then the data bytes.
    const unsigned count = data[0] + (data[1] & 1) * 256u;
    const uint16_t address = static_cast<uint16_t>(data[2] << 8 | data[3]);
    const size_t available = size - 4;
    const unsigned capacity = static_cast<unsigned>((data[1] >> 1) * 5 + (available & 7));
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[count]);
    for (unsigned i = 0; i < count; ++i)
        bytes[i] = available ? data[4 + i % available] : 0;
    std::unique_ptr<char[]> out(new char[capacity + 1]);
    const uint16_t length = ihex_encode_data_record(bytes.get(), count, address, out.get(),
                                                    static_cast<uint16_t>(capacity));
    if (count > 255 || capacity < 11 + 2 * count) {
        check(length == 0xFFFF);
        return;
    }
    check(length == 11 + 2 * count);
    out[length] = '\0';
    std::unique_ptr<uint8_t[]> decoded(new uint8_t[RECORD_CAPACITY]);
    uint16_t decoded_address = 0;
    const unsigned decoded_count =
        ihex_decode_data_record(out.get(), decoded.get(), RECORD_CAPACITY, &decoded_address);
    // An empty data record cannot be decoded; every other one comes back unchanged.
    check(decoded_count == count);
    if (count == 0) return;
    check(decoded_address == address);
    check(std::memcmp(decoded.get(), bytes.get(), count) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_decode(data, size);
    fuzz_small_capacity(data, size);
    fuzz_encode(data, size);
    return 0;
}
