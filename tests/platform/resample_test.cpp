// Rate conversion of decoded music to 44,100 Hz: exact sines at other rates
// come out at the right length and pitch, close to the ideal signal, without
// the images and aliases of interpolation; 44,100 Hz passes untouched.
#include "platform/audio.h"
#include "platform/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace
{

// seconds of a stereo sine pair at rate: left at hz_left, right at hz_right,
// amplitude 0.5 of full scale.
std::vector<int16_t> sines(long rate, double seconds, double hz_left, double hz_right)
{
    int64_t frames = static_cast<int64_t>(seconds * rate);
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int64_t i = 0; i < frames; i++) {
        double t = static_cast<double>(i) / rate;
        s[i * 2] = static_cast<int16_t>(std::lround(16384.0 * std::sin(2.0 * M_PI * hz_left * t)));
        s[i * 2 + 1] = static_cast<int16_t>(std::lround(16384.0 * std::sin(2.0 * M_PI * hz_right * t)));
    }
    return s;
}

// Largest difference from the ideal sines at the output rate, away from the
// ends (where the filter has only half its input).
int32_t worst_error(const std::vector<int16_t>& out, double hz_left, double hz_right)
{
    int64_t frames = static_cast<int64_t>(out.size() / 2);
    int32_t worst = 0;
    for (int64_t j = 2000; j < frames - 2000; j++) {
        double t = static_cast<double>(j) / AUDIO_RATE;
        int32_t l = static_cast<int32_t>(std::lround(16384.0 * std::sin(2.0 * M_PI * hz_left * t)));
        int32_t r = static_cast<int32_t>(std::lround(16384.0 * std::sin(2.0 * M_PI * hz_right * t)));
        worst = std::max(worst, std::abs(out[j * 2] - l));
        worst = std::max(worst, std::abs(out[j * 2 + 1] - r));
    }
    return worst;
}

} // namespace

TEST(Resample, OutputRatePassesThroughUntouched)
{
    std::vector<int16_t> in = sines(AUDIO_RATE, 0.5, 1000.0, 3000.0);
    in[7] = -32768; // anything at all, bit for bit
    std::vector<int16_t> out;
    ASSERT_EQ(audio_resample(in.data(), static_cast<int64_t>(in.size() / 2), AUDIO_RATE, &out), 0);
    EXPECT_EQ(out, in);
    EXPECT_EQ(audio_resample(in.data(), 100, 0, &out), 1); // no rate: nothing
    EXPECT_TRUE(out.empty());
}

TEST(Resample, OtherRatesKeepLengthPitchAndChannels)
{
    // 8 kHz from 22,050 Hz is where interpolation goes wrong: its image at
    // 14 kHz is only about 10 dB down. Left and right differ, so a swap shows.
    struct Case {
        long rate;
        double left, right;
    };
    for (const Case& c :
         {Case{22050, 8000.0, 440.0}, Case{48000, 1000.0, 15000.0}, Case{32000, 5000.0, 100.0}}) {
        std::vector<int16_t> in = sines(c.rate, 1.0, c.left, c.right);
        std::vector<int16_t> out;
        ASSERT_EQ(audio_resample(in.data(), c.rate, c.rate, &out), 0) << c.rate;
        EXPECT_EQ(out.size(), 44100u * 2) << c.rate;                // one second stays one second
        EXPECT_LE(worst_error(out, c.left, c.right), 24) << c.rate; // under 0.1 % of full scale
    }
}

TEST(Resample, ToneAboveTheOutputNyquistIsFilteredNotFolded)
{
    // 23 kHz at 48,000 Hz cannot be held at 44,100 Hz; interpolation folds it
    // down to 21.1 kHz at nearly full level. It must vanish instead.
    std::vector<int16_t> in = sines(48000, 0.5, 23000.0, 23000.0);
    std::vector<int16_t> out;
    ASSERT_EQ(audio_resample(in.data(), 24000, 48000, &out), 0);
    ASSERT_EQ(out.size(), 22050u * 2);
    double sum = 0.0;
    for (size_t i = 4000; i < out.size() - 4000; i++)
        sum += static_cast<double>(out[i]) * out[i];
    double rms = std::sqrt(sum / static_cast<double>(out.size() - 8000));
    EXPECT_LT(rms, 16.0); // 60 dB below the input's 11,585
}
