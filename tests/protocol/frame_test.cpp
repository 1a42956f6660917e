// Tests (controller protocol): frame bytes, checksum checks and frame gathering.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "support/fake_serial_device.h"

namespace kc {
namespace {

std::vector<uint8_t> frame_of(const char* payload) {
    uint8_t out[kFrameBufferSize];
    size_t n = build_frame(payload, out);
    return {out, out + n};
}

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Feeds a whole string; returns the frames completed, in order.
std::vector<std::string> feed_all(FrameGatherer& g, const std::string& s, int limit) {
    std::vector<std::string> frames;
    for (unsigned char c : s)
        if (g.feed(c, limit)) frames.emplace_back(reinterpret_cast<const char*>(g.frame), g.length);
    return frames;
}

TEST(Frame, known_answer_vectors) {
    EXPECT_EQ(frame_of("20V"), (std::vector<uint8_t>{0x02, 0x32, 0x30, 0x56, 0x32, 0x36, 0x03}));
    EXPECT_EQ(frame_of(""), (std::vector<uint8_t>{0x02, 0x37, 0x32, 0x03}));
    // 0x72 ^ '2' ^ '1' ^ 'C' = 0x32: digits upper case, leading zero kept.
    EXPECT_EQ(frame_of("21C"), bytes("\x02" "21C32\x03"));
    // A checksum with letters goes out in upper case: 0x72 ^ 0xE5 = 0x97.
    EXPECT_EQ(frame_of("\xE5"), bytes("\x02\xE5" "97\x03"));
}

TEST(Frame, payload_is_taken_up_to_251_bytes) {
    std::string longest(300, 'A');
    uint8_t out[kFrameBufferSize];
    ASSERT_EQ(build_frame(longest.c_str(), out), 255u);
    EXPECT_EQ(out[0], kStx);
    EXPECT_EQ(out[254], kEtx);
    EXPECT_TRUE(frame_checksum_matches(out, 255));
}

TEST(Frame, checksum_check_accepts_either_case_and_high_values) {
    // "O" sums to 0x3D; 0xC8 sums to 0xBA, above 0x7F.
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02O3D\x03").data(), 5));
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02O3d\x03").data(), 5));
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02\xC8" "BA\x03").data(), 5));
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02\xC8" "ba\x03").data(), 5));
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02\xC8" "bA\x03").data(), 5));
    // The empty reply: only the start value.
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02" "72\x03").data(), 4));
    // Every frame the program builds passes its own check.
    for (int c = 0x20; c < 0x100; ++c) {
        char payload[3] = {'V', static_cast<char>(c), 0};
        uint8_t out[kFrameBufferSize];
        size_t n = build_frame(payload, out);
        EXPECT_TRUE(frame_checksum_matches(out, n)) << c;
    }
}

TEST(Frame, checksum_check_rejects_wrong_or_malformed_digits) {
    EXPECT_FALSE(frame_checksum_matches(bytes("\x02" "20V27\x03").data(), 7));
    EXPECT_FALSE(frame_checksum_matches(bytes("\x02" "20V62\x03").data(), 7));  // digits swapped
    // "p" sums to 0x02: digits that a lenient number reader would take for 2 do not pass.
    EXPECT_TRUE(frame_checksum_matches(bytes("\x02p02\x03").data(), 5));
    EXPECT_FALSE(frame_checksum_matches(bytes("\x02p2G\x03").data(), 5));
    EXPECT_FALSE(frame_checksum_matches(bytes("\x02p+2\x03").data(), 5));
    EXPECT_FALSE(frame_checksum_matches(bytes("\x02p 2\x03").data(), 5));
    EXPECT_FALSE(frame_checksum_matches(bytes("\x02" "7\x03").data(), 3));      // too short to hold a checksum
}

TEST(FrameGatherer, gathers_a_frame_and_ignores_bytes_outside) {
    FrameGatherer g;
    auto frames = feed_all(g, "xx\x06" "\x02" "V1.0" "11\x03" "yy", 85);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], "\x02" "V1.0" "11\x03");
    EXPECT_FALSE(g.gathering);
}

TEST(FrameGatherer, second_stx_restarts_the_frame) {
    FrameGatherer g;
    auto frames = feed_all(g, "\x02" "C12" "\x02" "S7" "AB\x03", 85);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], "\x02" "S7" "AB\x03");
}

TEST(FrameGatherer, reply_split_over_two_blocks_completes) {
    FrameGatherer g;
    EXPECT_TRUE(feed_all(g, "\x02" "Z", 85).empty());
    EXPECT_TRUE(g.gathering);
    EXPECT_EQ(g.length, 2);
    auto frames = feed_all(g, "1" "57\x03", 85);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], "\x02" "Z157\x03");
}

TEST(FrameGatherer, several_frames_in_one_block_each_complete) {
    FrameGatherer g;
    auto frames = feed_all(g, "\x02" "A" "00\x03" "\x06" "\x02" "B" "11\x03", 85);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], "\x02" "B11\x03");
}

TEST(FrameGatherer, frame_of_exactly_the_limit_completes_one_more_is_abandoned) {
    // A C reply: STX, letter, 15 images as 30 hex digits, checksum, ETX = 35 bytes.
    std::string payload = "C" + std::string(30, '0');
    std::string exact = "\x02" + payload + "00\x03";
    ASSERT_EQ(exact.size(), 35u);
    FrameGatherer g;
    auto frames = feed_all(g, exact, 35);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], exact);

    std::string longer = "\x02" + payload + "0" + "00\x03";
    FrameGatherer h;
    EXPECT_TRUE(feed_all(h, longer, 35).empty());
    EXPECT_FALSE(h.gathering);
    // Bytes up to the next STX are ignored, then a good frame is taken again.
    auto after = feed_all(h, "\x03\x03" + exact, 35);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0], exact);
}

TEST(FrameGatherer, endless_bytes_never_overrun_the_buffer) {
    // Limits above the buffer only let the store position wrap; nothing overruns.
    FrameGatherer g;
    std::string noise = "\x02" + std::string(1000, 'A');
    EXPECT_TRUE(feed_all(g, noise, 1000).empty());
    EXPECT_TRUE(g.gathering);
    EXPECT_EQ(g.length, 1001 % 256);
}

TEST(SendFrame, writes_the_frame_and_reports_success_even_when_the_write_fails) {
    auto line = std::make_shared<test::FakeLine>();
    Program p;
    EXPECT_EQ(send_frame(p, "20V"), 0);  // no record

    p.record = std::make_unique<MainRecord>();
    EXPECT_EQ(send_frame(p, "20V"), 1);  // no port open: nothing to write to, still 1

    p.record->port_handle = std::make_unique<test::FakeSerialDevice>(line);
    EXPECT_EQ(send_frame(p, "20V"), 1);
    EXPECT_EQ(line->written(), "\x02" "20V26\x03");

    line->write_starts.push_back({IoStartState::Failed, 0, std::make_error_code(std::errc::io_error)});
    EXPECT_EQ(send_frame(p, "20E"), 1);
    ASSERT_EQ(line->writes.size(), 2u);
}

}  // namespace
}  // namespace kc
