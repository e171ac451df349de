// The receive path of a connection: many reads appended to RX, the realignment of the frame
// start, the payload a reader takes from it, and the requests built in TX.
//
// Input: the first byte chooses RX, either small (1 to 763 bytes) or the program's full
// LINK_BUFFER_BYTES; then a program of steps, each introduced by one byte:
//   0x00-0x7F  a read of that many bytes, taken from the input
//   0x80-0xBF  a large read of (low six bits + 1)^2 x 256 copies of the next byte, 256 bytes to
//              1 MiB, so that a few of them bring more bytes than RX holds; after the third in
//              an input, a read of (low six bits) bytes from the input instead, so that random
//              inputs stay quick
//   0xC0       a read that brings nothing
//   0xC1       a new transaction: received count and frame start back to 0
//   0xC2       a frame built with frame_build from the fields that follow, then received
//   0xC3       frame_payload_received asked about an arbitrary state
//   0xC4-0xFF  a read of (low six bits) x 16 bytes, taken from the input
// After every step the state is checked against a model of RX kept beside it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "link/frame.h"
#include "link/wire_image.h"
#include "settings/settings_layout.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t LINK_BUFFER_BYTES = 0xFFFFF; // RX in the program
constexpr size_t LARGE_READ_UNIT = 256;
constexpr size_t LARGEST_READ = 64 * 64 * LARGE_READ_UNIT;

// RX with its transaction state and a model of what it must hold.
struct Receiver {
    uint8_t* rx;
    size_t cap;
    uint32_t count;
    uint32_t start;
    std::vector<uint8_t>* model; // cap bytes: what RX must hold
    uint32_t appends;            // reads that brought bytes since the transaction began
    size_t touched;              // RX bytes written since the buffer was last zeroed
};

// The full-size RX lives for the whole run (allocating 1 MiB per input would dominate it); only
// the part an input wrote is cleared for the next.
uint8_t* full_rx() {
    static uint8_t* rx = new uint8_t[LINK_BUFFER_BYTES]();
    return rx;
}

std::vector<uint8_t>* full_model() {
    static std::vector<uint8_t>* model = new std::vector<uint8_t>(LINK_BUFFER_BYTES, 0);
    return model;
}

// Where the payload stands after this step; with read_it, the settings reader also takes it in
// (as it does once its transaction has ended).
void check_payload_reader(const Receiver& r, bool read_it) {
    size_t offset = SIZE_MAX;
    size_t got = frame_payload_received(r.cap, r.count, r.start, &offset);
    size_t end = std::min<size_t>(r.count, r.cap);
    FUZZ_CHECK(offset == static_cast<size_t>(r.start) + LINK_FRAME_PAYLOAD_AT);
    FUZZ_CHECK(got == (offset < end ? end - offset : 0));
    if (got == 0) {
        return;
    }
    FUZZ_CHECK(offset + got <= r.cap);
    // What the settings reader does with it: every byte it looks at lies inside RX.
    const uint8_t* payload = r.rx + offset;
    if (read_it && wire_image_valid(payload, got)) {
        static float table[SETTINGS_COUNT];
        wire_image_unpack(payload, table);
    }
}

// Appends one read; `bytes` must end where its block on the heap ends, so that the routine may
// look at these n bytes only.
void receive(Receiver* r, const uint8_t* bytes, size_t n) {
    uint32_t count = r->count;
    uint32_t start = r->start;

    size_t taken = frame_receive_append(r->rx, r->cap, &r->count, &r->start, bytes, n);

    size_t room = count < r->cap ? r->cap - count : 0;
    FUZZ_CHECK(taken == std::min(n, room));
    FUZZ_CHECK(r->count == count + taken);
    FUZZ_CHECK(r->count <= r->cap);
    if (taken == 0) {
        FUZZ_CHECK(r->start == start);
        return;
    }
    memcpy(r->model->data() + count, bytes, taken);
    r->touched = std::max<size_t>(r->touched, r->count);
    FUZZ_CHECK(same_bytes(r->rx + count, bytes, taken));
    ++r->appends;

    // The one-byte realignment: only a length field that has wholly arrived can move it.
    size_t length_at = static_cast<size_t>(start) + 2;
    bool moves =
        r->count > 4 && length_at + 2 <= r->count && le16(r->model->data() + length_at) > r->count;
    FUZZ_CHECK(r->start == start + (moves ? 1 : 0));
    // The frame start moves one byte per read at most, and only past bytes that have arrived.
    FUZZ_CHECK(r->start <= r->appends);
    FUZZ_CHECK(r->start == 0 || static_cast<size_t>(r->start) + 3 <= r->count);
}

void build_and_receive(Receiver* r, FuzzReader* in) {
    int32_t command = static_cast<int32_t>(fuzz_u32(in));
    uint8_t form = fuzz_u8(in);
    // Any length at all, any u16, or (mostly) one under 1024, which keeps the CRCs quick.
    int32_t payload_length = static_cast<int32_t>(form & 1   ? fuzz_u32(in)
                                                  : form & 4 ? fuzz_u16(in)
                                                             : fuzz_u16(in) & 0x3FFu);
    size_t tx_cap = fuzz_u16(in);
    if ((form & 2) && payload_length >= 0 && payload_length <= 0xFFFF) {
        tx_cap = static_cast<size_t>(payload_length) + LINK_FRAME_OVERHEAD; // just fits
    }
    ExactBytes tx(new uint8_t[tx_cap]);
    memset(tx.get(), 0xEE, tx_cap);
    size_t payload_room = tx_cap > LINK_FRAME_PAYLOAD_AT ? tx_cap - LINK_FRAME_PAYLOAD_AT : 0;
    size_t wanted = std::min(static_cast<size_t>(std::max(payload_length, 0)), payload_room);
    if (wanted != 0) {
        const uint8_t* payload = nullptr;
        size_t got = fuzz_bytes(in, wanted, &payload);
        if (got != 0) {
            memcpy(tx.get() + LINK_FRAME_PAYLOAD_AT, payload, got);
        }
    }
    std::vector<uint8_t> before(tx.get(), tx.get() + tx_cap);

    size_t total = frame_build(tx.get(), tx_cap, command, payload_length);

    bool fits = payload_length >= 0 && payload_length <= 0xFFFF - 6 &&
                static_cast<size_t>(payload_length) + 6 <= tx_cap;
    if (!fits) {
        FUZZ_CHECK(total == 0);
        FUZZ_CHECK(same_bytes(tx.get(), before.data(), tx_cap));
        return;
    }
    size_t crc_at = static_cast<size_t>(payload_length) + 4;
    FUZZ_CHECK(total == crc_at + 2);
    FUZZ_CHECK(le16(tx.get()) == (command & 0xFFFF));
    FUZZ_CHECK(le16(tx.get() + 2) == total);
    FUZZ_CHECK(same_bytes(tx.get() + 4, before.data() + 4, crc_at - 4));
    FUZZ_CHECK(le16(tx.get() + crc_at) == reference_crc16(tx.get(), crc_at));
    FUZZ_CHECK(same_bytes(tx.get() + total, before.data() + total, tx_cap - total));
    ExactBytes frame = exact_copy(tx.get(), total);
    receive(r, frame.get(), total);
}

void check_arbitrary_state(const Receiver& r, FuzzReader* in) {
    Receiver state = r;
    state.count = fuzz_u32(in);
    state.start = fuzz_u32(in);
    check_payload_reader(state, false);
}

// A read of n bytes from the input, copied to a block of its own.
void receive_input(Receiver* r, FuzzReader* in, size_t n) {
    const uint8_t* bytes = nullptr;
    n = fuzz_bytes(in, n, &bytes);
    ExactBytes read = exact_copy(bytes, n);
    receive(r, read.get(), n);
}

// A large read of n bytes of one value, taken from the end of one block kept for the whole run.
void receive_large(Receiver* r, size_t n, uint8_t value) {
    static uint8_t* block = new uint8_t[LARGEST_READ];
    uint8_t* bytes = block + LARGEST_READ - n;
    memset(bytes, value, n);
    receive(r, bytes, n);
}

void run(Receiver* r, FuzzReader* in) {
    int large_reads = 0;
    while (fuzz_left(in) != 0) {
        uint8_t step = fuzz_u8(in);
        if (step < 0x80) {
            receive_input(r, in, step);
        } else if (step < 0xC0 && ++large_reads > 3) {
            receive_input(r, in, step & 0x3Fu);
        } else if (step < 0xC0) {
            size_t root = (step & 0x3Fu) + 1;
            receive_large(r, root * root * LARGE_READ_UNIT, fuzz_u8(in));
        } else if (step == 0xC0) {
            receive_input(r, in, 0);
        } else if (step == 0xC1) {
            check_payload_reader(*r, true);
            r->count = 0;
            r->start = 0;
            r->appends = 0;
        } else if (step == 0xC2) {
            build_and_receive(r, in);
        } else if (step == 0xC3) {
            check_arbitrary_state(*r, in);
        } else {
            receive_input(r, in, (step & 0x3Fu) * 16);
        }
        check_payload_reader(*r, false);
    }
    check_payload_reader(*r, true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReader in{data, size};
    uint8_t choice = fuzz_u8(&in);
    if (choice & 0x80) {
        static size_t dirty = 0; // bytes the previous input wrote into the full-size RX
        Receiver r{full_rx(), LINK_BUFFER_BYTES, 0, 0, full_model(), 0, 0};
        memset(r.rx, 0, dirty);
        memset(r.model->data(), 0, dirty);
        run(&r, &in);
        dirty = r.touched;
        FUZZ_CHECK(same_bytes(r.rx, r.model->data(), r.touched));
    } else {
        size_t cap = 1 + (choice & 0x7Fu) * 6;
        ExactBytes rx(new uint8_t[cap]());
        std::vector<uint8_t> model(cap, 0);
        Receiver r{rx.get(), cap, 0, 0, &model, 0, 0};
        run(&r, &in);
        FUZZ_CHECK(same_bytes(r.rx, model.data(), cap));
    }
    return 0;
}
