// The echo plug-in as a real process against the test host: receive the current channel,
// add one, transfer it back.
#include "transact/transact_test.hpp"

using namespace transact;

namespace {

class Echo : public TransactTest {};

// One added to each element of a channel's bytes, as an independent reference: integers by
// a little-endian byte increment with carry (so they wrap), floats in their own type.
std::vector<unsigned char> plus_one(std::vector<unsigned char> bytes, int unit) {
    size_t width = static_cast<size_t>(QEL_GetVoxelUnitSize(unit));
    for (size_t at = 0; at < bytes.size(); at += width) {
        if (unit == 6) {
            float f;
            std::memcpy(&f, &bytes[at], 4);
            f += 1.0f;
            std::memcpy(&bytes[at], &f, 4);
        } else if (unit == 7) {
            double d;
            std::memcpy(&d, &bytes[at], 8);
            d += 1.0;
            std::memcpy(&bytes[at], &d, 8);
        } else {
            for (size_t k = 0; k < width && ++bytes[at + k] == 0; ++k) {
            }
        }
    }
    return bytes;
}

}  // namespace

TEST_F(Echo, ChangesTheCurrentChannelInExactlyTheSpecifiedRequests) {
    // Every unit in turn is the current channel of a three-channel volume; the other
    // channels stay as they were.
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        int id = host->server_id();
        Volume before(new_volume(6, 5, 4, {(unit + 3) % 8, unit, (unit + 5) % 8}));
        ASSERT_NE(before, nullptr);
        host->set_volume(before.get(), {700, 701 + unit, 900});
        HostState s = host->state();
        s.channelID = 701 + unit;
        host->set_state(s);

        std::string output;
        ASSERT_EQ(qel::testhost::run_plugin(bin("test_plugin_echo"), id, nullptr, kRunLimitMs,
                                            &output),
                  0)
            << output;
        EXPECT_EQ(output, "");  // nothing on stderr (nor stdout)

        // Re-posts count once: each request of the two transactions appears exactly once.
        EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 230, 233, 235, 212, 232}));
        auto log = host->log();
        ASSERT_EQ(log.size(), 7u);
        EXPECT_EQ(log[6].word(0), 701 + unit);
        for (const auto& r : log) EXPECT_EQ(r.clientID, "Echo");

        VolumePtr after = host->volume();
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(channel_bytes(after.get(), 1), plus_one(channel_bytes(before.get(), 1), unit));
        EXPECT_EQ(channel_bytes(after.get(), 0), channel_bytes(before.get(), 0));
        EXPECT_EQ(channel_bytes(after.get(), 2), channel_bytes(before.get(), 2));
        EXPECT_EQ(after->unit[1], unit);
        EXPECT_EQ(host->unread_boards(), 0);
        EXPECT_FALSE(host->locked());
        EXPECT_FALSE(host->connected());
        EXPECT_EQ(boards_of(id), host_boards(id));
        host->stop();
        EXPECT_TRUE(boards_of(id).empty());
    }
}
