// The command-line tool's transactions against scripted ports on a virtual clock: each port
// answers a request with chunks of bytes that arrive at given times after the request, so that
// split, late, prefixed and damaged answers are played exactly, and the time a transaction ends
// shows which deadline it waited for, or that it ended with the answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/session.h"
#include "link/crc16.h"

namespace {

struct Chunk {
    int64_t at; // ms after the request (scripted) or on the clock (arriving)
    std::vector<uint8_t> bytes;
};

struct FakePort {
    int open_result = PORT_OPENED;
    std::vector<Chunk> answer;   // sent back for every request
    std::vector<Chunk> arriving; // on their way, at clock times
    std::vector<uint8_t> written;
    bool open = false;
    bool fails = false; // every write and read fails from now on: the port is gone
};

struct FakeLine {
    int64_t now = 0;
    int64_t wake_at = INT64_MAX; // a signal comes: a read that waits then returns with nothing
    std::vector<FakePort> ports;
};

FakeLine* line_of(void* context) {
    return static_cast<FakeLine*>(context);
}

FakePort& port_of(void* context, PortHandle port) {
    return line_of(context)->ports[static_cast<size_t>(port)];
}

// Ports are named by their index: "0", "1", ...
const PortOps FAKE_OPS = {
    nullptr,
    [](void* c, const char* name, PortHandle* port) {
        const size_t index = static_cast<size_t>(atoi(name));
        FakePort& p = line_of(c)->ports[index];
        p.open = p.open_result == PORT_OPENED;
        *port = static_cast<PortHandle>(index);
        return p.open_result;
    },
    [](void* c, PortHandle port) { port_of(c, port).open = false; },
    [](void* c, PortHandle port) {
        std::vector<Chunk>& arriving = port_of(c, port).arriving;
        const int64_t now = line_of(c)->now;
        std::erase_if(arriving, [now](const Chunk& chunk) { return chunk.at <= now; });
    },
    [](void* c, PortHandle port, const uint8_t* bytes, size_t n) {
        FakePort& p = port_of(c, port);
        if (p.fails) {
            return false;
        }
        p.written.assign(bytes, bytes + n);
        for (const Chunk& chunk : p.answer) {
            p.arriving.push_back({line_of(c)->now + chunk.at, chunk.bytes});
        }
        return true;
    },
    [](void* c, PortHandle port, uint8_t* buffer, size_t cap, int64_t deadline) -> long {
        FakeLine* line = line_of(c);
        if (port_of(c, port).fails) {
            return -1;
        }
        std::vector<Chunk>& arriving = port_of(c, port).arriving;
        int64_t first = INT64_MAX;
        for (const Chunk& chunk : arriving) {
            first = std::min(first, chunk.at);
        }
        if (first > line->now) { // nothing there yet: wait for the first byte or the deadline
            if (line->wake_at > line->now && line->wake_at < std::min(first, deadline)) {
                line->now = line->wake_at;
                return 0;
            }
            if (first > deadline) {
                line->now = std::max(line->now, deadline);
                return 0;
            }
            line->now = first;
        }
        size_t n = 0;
        for (auto chunk = arriving.begin(); chunk != arriving.end();) {
            if (chunk->at <= line->now && n + chunk->bytes.size() <= cap) {
                memcpy(buffer + n, chunk->bytes.data(), chunk->bytes.size());
                n += chunk->bytes.size();
                chunk = arriving.erase(chunk);
            } else {
                ++chunk;
            }
        }
        return static_cast<long>(n);
    },
    [](void* c) { return line_of(c)->now; },
};

std::vector<uint8_t> frame(uint16_t command, const std::vector<uint8_t>& payload) {
    const size_t total = payload.size() + 6;
    std::vector<uint8_t> out{static_cast<uint8_t>(command), static_cast<uint8_t>(command >> 8),
                             static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8)};
    out.insert(out.end(), payload.begin(), payload.end());
    const uint16_t crc = link_crc16(out.data(), static_cast<uint16_t>(out.size()));
    out.push_back(static_cast<uint8_t>(crc));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    return out;
}

// light 1024, distances 12.5 and 300 (floats 41 48 00 00 and 43 96 00 00), fault bits 2
const std::vector<uint8_t> STATUS_FIELDS = {0x00, 0x04, 0x00, 0x00, 0x48, 0x41,
                                            0x00, 0x00, 0x96, 0x43, 0x02};

// A settings image of recognisable bytes with a valid inner CRC.
std::vector<uint8_t> settings_image() {
    std::vector<uint8_t> image(WIRE_IMAGE_BYTES);
    for (size_t i = 0; i < 641; ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const uint16_t crc = link_crc16(image.data(), 641);
    image[641] = static_cast<uint8_t>(crc);
    image[642] = static_cast<uint8_t>(crc >> 8);
    return image;
}

std::vector<uint8_t> bytes_of(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

struct Session : testing::Test {
    FakeLine line;
    PortOps ops = FAKE_OPS;
    SessionLink link{};

    void SetUp() override {
        ops.context = &line;
        line.ports.resize(1);
        link.ops = &ops;
        link.port = 0;
    }
    void answer(std::vector<Chunk> chunks) { line.ports[0].answer = std::move(chunks); }
};

} // namespace

TEST_F(Session, StatusSplitPrefixedWithZerosOrWithAWrongCrcIsTakenAsSoonAsItIsWhole) {
    std::vector<uint8_t> reply = frame(0x0002, STATUS_FIELDS);
    answer({{2, {reply.begin(), reply.begin() + 3}},
            {5, {reply.begin() + 3, reply.begin() + 10}},
            {9, {reply.begin() + 10, reply.end()}}});
    StatusReadings readings{};
    bool checksum_ok = false;
    ASSERT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_OK);
    EXPECT_EQ(line.now, 9); // not the 100 ms window
    EXPECT_EQ(readings.raw_light, 1024);
    EXPECT_EQ(readings.distance1, 12.5f);
    EXPECT_EQ(readings.distance2, 300.0f);
    EXPECT_EQ(readings.fault_bits, 2);
    EXPECT_TRUE(checksum_ok);
    EXPECT_EQ(line.ports[0].written, std::vector<uint8_t>({0x02, 0x00, 0x06, 0x00, 0x0E, 0xC3}));

    reply[15] ^= 0xFF; // read as the window reads it, the command not examined, the CRC told
    reply[0] = 0x77;
    answer({{4, bytes_of({{0, 0, 0, 0}, reply})}});
    readings = {};
    ASSERT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_OK);
    EXPECT_EQ(readings.distance1, 12.5f);
    EXPECT_FALSE(checksum_ok);
}

TEST_F(Session, StatusFrameIsFoundBehindStrayBytesAndNoiseOrNotAtAll) {
    const std::vector<uint8_t> reply = frame(0x0002, STATUS_FIELDS);
    std::vector<uint8_t> bad_crc = reply;
    bad_crc[16] ^= 0x5A;
    const std::vector<uint8_t> noise = {0xAA, 0xBB, 0x11, 0x00, 0x01, 0x02, 0x03, 0x04};
    struct Row {
        std::vector<uint8_t> answer;
        SessionResult result;
    };
    const Row rows[] = {
        {bytes_of({{0x55}, reply}), SESSION_OK},
        {bytes_of({{0xFF, 0xEE}, reply}), SESSION_OK},
        {bytes_of({{0x00, 0x00, 0x55}, reply}), SESSION_OK},
        {bytes_of({noise, reply}), SESSION_OK},         // a false length field before it
        {bytes_of({{0x55}, bad_crc}), SESSION_INVALID}, // behind other bytes only with its CRC
        {bytes_of({{0xAA, 0xBB, 0xCC}, std::vector<uint8_t>(20, 0x33)}), SESSION_INVALID},
        {{reply.begin(), reply.begin() + 16}, SESSION_INCOMPLETE}, // one byte short: no reading
        {std::vector<uint8_t>(40, 0x5A), SESSION_INVALID},
    };
    for (const Row& row : rows) {
        answer({{3, row.answer}});
        StatusReadings readings{};
        bool checksum_ok = false;
        EXPECT_EQ(session_status(&link, &readings, &checksum_ok), row.result) << row.answer.size();
        if (row.result == SESSION_OK) {
            EXPECT_EQ(readings.raw_light, 1024);
            EXPECT_EQ(readings.distance2, 300.0f);
            EXPECT_TRUE(checksum_ok);
        }
    }
}

// The first byte is waited for 300 ms once the request has crossed a 9600 baud line (6 bytes:
// 7 ms). After it, an answer that has begun as the controller's is waited for through pauses
// of up to a second, within its limit (the first byte's deadline, its longest form's crossing
// and a second); other bytes as long as no pause lasts 250 ms. An answer that stops short is
// told by how far it came.
TEST_F(Session, FirstByteDeadlineAndPausesWithinTheAnswer) {
    const std::vector<uint8_t> reply = frame(0x0002, STATUS_FIELDS);
    StatusReadings readings{};
    bool checksum_ok = false;
    answer({{300, reply}}); // past the window program's 100 ms and its late read
    EXPECT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_OK);

    answer({{310, reply}});
    int64_t start = line.now;
    EXPECT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_SILENT);
    EXPECT_EQ(line.now - start, 307);

    const char text[] = "VORK, kavren board v5.000";
    const std::vector<uint8_t> ident = frame(1, std::vector<uint8_t>(text, text + sizeof text - 1));
    const std::vector<uint8_t> settings = frame(0x0003, settings_image());
    const std::vector<uint8_t> written = frame(0x0103, {0x00});
    const std::vector<uint8_t> noise = {0x5A, 0x5A, 0x5A};
    const std::vector<uint8_t> ident_head = {0x01, 0x00, 0x1F, 0x00}; // no byte of the string yet
    const std::vector<uint8_t> other_head = {0x07, 0x00, 0x1F, 0x00};
    using Ask = SessionResult (*)(SessionLink*);
    const Ask identify = [](SessionLink* l) {
        IdentAnswer a{};
        const SessionResult result = session_identify(l, &a);
        return result == SESSION_OK && a.board_revision != 5000 ? SESSION_INVALID : result;
    };
    const Ask status = [](SessionLink* l) {
        StatusReadings r{};
        bool crc = false;
        return session_status(l, &r, &crc);
    };
    const Ask read = [](SessionLink* l) {
        uint8_t image[WIRE_IMAGE_BYTES];
        return session_read_settings(l, image);
    };
    const Ask write = [](SessionLink* l) {
        return session_write_settings(l, settings_image().data());
    };
    // The first `first` bytes of the answer come 50 ms after the request, the rest at `rest_at`
    // (never when 0).
    const struct {
        Ask ask;
        const std::vector<uint8_t>& answer;
        size_t first;
        int64_t rest_at;
        SessionResult result;
        int64_t ended_at;
        size_t received; // SESSION_INCOMPLETE: of `bytes`
        size_t bytes;
    } rows[] = {
        // clang-format off
        {status, reply, 8, 310, SESSION_OK, 310, 0, 0}, // a pause of 260 ms in the frame
        {status, reply, 8, 1060, SESSION_INCOMPLETE, 1050, 8, 17},
        {status, noise, 3, 0, SESSION_INVALID, 300, 0, 0}, // bytes that begin no frame
        {identify, ident, 16, 650, SESSION_OK, 650, 0, 0},
        {identify, ident, 16, 0, SESSION_INCOMPLETE, 1050, 16, 31},
        {identify, ident, 25, 0, SESSION_INCOMPLETE, 1050, 25, 31}, // its version cut: not read
        {identify, ident_head, 4, 0, SESSION_INCOMPLETE, 1050, 4, 31},
        {identify, other_head, 4, 0, SESSION_INVALID, 300, 0, 0},
        {read, settings, 300, 0, SESSION_INCOMPLETE, 1050, 300, 649},
        {write, written, 4, 0, SESSION_OK, 1050, 4, 7}, // any byte answers a write
        // clang-format on
    };
    for (const auto& row : rows) {
        line.ports[0].arriving.clear(); // what came too late
        link.unsettled = false;         // and what is still to be drained
        std::vector<Chunk> chunks = {{50, {row.answer.begin(), row.answer.begin() + row.first}}};
        if (row.rest_at != 0) {
            chunks.push_back({row.rest_at, {row.answer.begin() + row.first, row.answer.end()}});
        }
        answer(chunks);
        start = line.now;
        EXPECT_EQ(row.ask(&link), row.result) << row.ended_at;
        EXPECT_EQ(line.now - start, row.ended_at) << row.ended_at;
        EXPECT_EQ(link.answer_received, row.received) << row.ended_at;
        EXPECT_EQ(link.answer_bytes, row.bytes) << row.ended_at;
    }

    // Still coming at the limit (307 + 677 + 1000 ms), 10 bytes every 40 ms: a line of 2500
    // bit/s, slower than the tool waits for.
    std::vector<Chunk> trickle;
    for (size_t at = 0; at < settings.size(); at += 10) {
        trickle.push_back(
            {static_cast<int64_t>(5 + 4 * at),
             {settings.begin() + at, settings.begin() + std::min(at + 10, settings.size())}});
    }
    line.ports[0].arriving.clear();
    link.unsettled = false;
    answer(trickle);
    start = line.now;
    EXPECT_EQ(read(&link), SESSION_INCOMPLETE);
    EXPECT_EQ(line.now - start, 1984);
    EXPECT_EQ(link.answer_received, 500u);
    EXPECT_TRUE(link.answer_still_coming);
}

TEST_F(Session, BytesLeftFromAnEarlierAnswerAreNotTakenForTheNextOne) {
    line.ports[0].arriving.push_back({0, frame(0x0002, STATUS_FIELDS)});
    StatusReadings readings{};
    bool checksum_ok = false;
    EXPECT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_SILENT);
}

TEST_F(Session, AWriteIsAnsweredByAnyByte) {
    const std::vector<uint8_t> image = settings_image();
    answer({{3, {0x5A}}});
    EXPECT_EQ(session_write_settings(&link, image.data()), SESSION_OK);
    EXPECT_EQ(line.now, 3 + 250); // one byte could be the start of more: a pause is waited out
    const std::vector<uint8_t>& sent = line.ports[0].written;
    ASSERT_EQ(sent.size(), 649u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), sent.begin() + 4));

    answer({{3, frame(0x0103, {0x00})}}); // a whole frame ends the wait
    int64_t start = line.now;
    EXPECT_EQ(session_write_settings(&link, image.data()), SESSION_OK);
    EXPECT_EQ(line.now - start, 3);

    // The 649-byte request crosses a 9600 baud line in 677 ms before the answer can begin.
    answer({});
    start = line.now;
    EXPECT_EQ(session_write_settings(&link, image.data()), SESSION_SILENT);
    EXPECT_EQ(line.now - start, 677 + 300);
    EXPECT_TRUE(link.request_sent);

    // A port that fails as the request goes out may have passed it on; one that fails while the
    // tail of an earlier answer is drained has sent nothing.
    line.ports[0].fails = true;
    EXPECT_EQ(session_write_settings(&link, image.data()), SESSION_PORT_FAILED);
    EXPECT_TRUE(link.request_sent);
    link.unsettled = true;
    EXPECT_EQ(session_write_settings(&link, image.data()), SESSION_PORT_FAILED);
    EXPECT_FALSE(link.request_sent);
    line.ports[0].fails = false;
}

TEST_F(Session, SettingsAnswerCountsOnlyWithItsWholeValidImage) {
    const std::vector<uint8_t> image = settings_image();
    std::vector<uint8_t> reply = frame(0x0003, image);
    reply[647] ^= 0x55; // a wrong frame CRC is not examined
    answer({{10, {reply.begin(), reply.begin() + 300}}, {40, {reply.begin() + 300, reply.end()}}});
    uint8_t got[WIRE_IMAGE_BYTES] = {};
    ASSERT_EQ(session_read_settings(&link, got), SESSION_OK);
    EXPECT_EQ(line.now, 40);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), got));

    // One stray byte before it is stepped over, as the link realigns.
    answer({{5, {0x00, 0x03, 0x00}}, {20, {reply.begin() + 2, reply.end()}}});
    memset(got, 0, sizeof got);
    ASSERT_EQ(session_read_settings(&link, got), SESSION_OK);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), got));

    // Never handed out: a damaged image, two stray bytes (an image cut short: above).
    std::vector<uint8_t> damaged = reply;
    damaged[4 + 100] ^= 0x01;
    const std::vector<std::vector<Chunk>> refused = {
        {{10, damaged}},
        {{10, bytes_of({{0x00, 0x00}, reply})}},
    };
    for (const auto& chunks : refused) {
        answer(chunks);
        uint8_t untouched[WIRE_IMAGE_BYTES] = {};
        const int64_t start = line.now;
        EXPECT_EQ(session_read_settings(&link, untouched), SESSION_INVALID);
        EXPECT_EQ(line.now - start, 10 + 250); // a pause after the last byte
        EXPECT_TRUE(
            std::all_of(untouched, untouched + WIRE_IMAGE_BYTES, [](uint8_t b) { return b == 0; }));
    }
}

// A line that keeps babbling is cut off when an answer of the longest kind would have crossed
// it with time to spare (7 + 300 ms for the first byte, 677 ms for 649 bytes, 1000 ms of
// pauses); what it still sends is drained before the next request, which then gets its answer.
TEST_F(Session, ABabblingLineIsCutOffAndDrainedBeforeTheNextRequest) {
    std::vector<Chunk> babble;
    for (int64_t at = 5; at < 3000; at += 100) {
        babble.push_back({at, {0x5A}});
    }
    answer(babble);
    uint8_t got[WIRE_IMAGE_BYTES] = {};
    EXPECT_EQ(session_read_settings(&link, got), SESSION_INVALID);
    EXPECT_EQ(line.now, 307 + 677 + 1000);

    answer({{4, frame(0x0002, STATUS_FIELDS)}});
    StatusReadings readings{};
    bool checksum_ok = false;
    ASSERT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_OK);
    EXPECT_EQ(readings.raw_light, 1024);
    EXPECT_EQ(line.now, 2905 + 250 + 4); // sent once the last babble was 250 ms old
}

// Told to stop, a transaction gives up its wait at once, and a search closes every port.
TEST_F(Session, AStopEndsTheWaitAtOnce) {
    static FakeLine* clock = nullptr;
    clock = &line;
    line.wake_at = 40;
    session_set_proceed([] { return clock->now < 40; });
    answer({{200, frame(0x0002, STATUS_FIELDS)}});
    StatusReadings readings{};
    bool checksum_ok = false;
    EXPECT_EQ(session_status(&link, &readings, &checksum_ok), SESSION_STOPPED);
    EXPECT_LT(line.now, 200);
    ProbeSlot slot{};
    slot.name = "0";
    EXPECT_EQ(session_probe(&ops, &slot, 1), 0u);
    EXPECT_EQ(slot.answer, SESSION_STOPPED);
    EXPECT_FALSE(line.ports[0].open);
    session_set_proceed(nullptr);
}

TEST(SessionProbe, AllPortsShareOneWindowAndOnlyControllersStayOpen) {
    FakeLine line;
    PortOps ops = FAKE_OPS;
    ops.context = &line;
    const char text[] = "VORK, kavren board v5";
    const std::vector<uint8_t> ident = frame(1, std::vector<uint8_t>(text, text + sizeof text - 1));
    line.ports.resize(4);
    line.ports[1].answer = {{150, ident}}; // answers late, while port 0 is being waited on
    line.ports[2].open_result = PORT_BUSY;
    line.ports[3].answer = {{20, {0x01, 0x02, 0x03}}};
    std::vector<ProbeSlot> slots(4);
    const char* names[] = {"0", "1", "2", "3"};
    for (size_t i = 0; i < 4; ++i) {
        slots[i].name = names[i];
    }
    EXPECT_EQ(session_probe(&ops, slots.data(), slots.size()), 1u);
    // One first-byte deadline for all (7 + 300 ms), then port 3's pause after its three bytes.
    EXPECT_EQ(line.now, 307 + 250);
    EXPECT_EQ(slots[0].answer, SESSION_SILENT);
    EXPECT_EQ(slots[1].answer, SESSION_OK);
    EXPECT_EQ(slots[1].ident.board_revision, 5000);
    EXPECT_EQ(slots[2].open_result, PORT_BUSY);
    EXPECT_EQ(slots[3].answer, SESSION_INVALID);
    EXPECT_FALSE(line.ports[0].open);
    EXPECT_TRUE(line.ports[1].open);
    EXPECT_FALSE(line.ports[3].open);
    session_probe_close(&slots[1]);
    EXPECT_FALSE(line.ports[1].open);

    line.ports[0].answer = {{5, ident}}; // two controllers are both reported
    EXPECT_EQ(session_probe(&ops, slots.data(), slots.size()), 2u);
    session_probe_close(&slots[0]);
    session_probe_close(&slots[1]);
}
