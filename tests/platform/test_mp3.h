// Test helper shared by the platform and runtime tests: writes short MP3
// files with LAME (sine tones or silence), with the LAME tag so that the
// decoder knows the exact length.
#pragma once

#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Encodes seconds of a sine of frequency hz (amplitude 0..1; 0 = silence)
// at rate with channels (1 or 2). Returns false when encoding fails.
inline bool write_test_mp3(const std::string& path, int rate, int channels, double seconds, double hz,
                           double amplitude)
{
    lame_global_flags* gf = lame_init();
    if (!gf)
        return false;
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(gf, 128);
    lame_set_quality(gf, 5);
    lame_set_bWriteVbrTag(gf, 1);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }
    int frames = static_cast<int>(seconds * rate);
    std::vector<short> pcm(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; i++) {
        double v = amplitude * std::sin(2.0 * M_PI * hz * i / rate);
        short s = static_cast<short>(std::lround(v * 32767.0));
        for (int c = 0; c < channels; c++)
            pcm[static_cast<size_t>(i) * channels + c] = s;
    }
    std::vector<unsigned char> mp3(static_cast<size_t>(frames) * 5 / 4 + 7200 + 16384);
    int n;
    if (channels == 2)
        n = lame_encode_buffer_interleaved(gf, pcm.data(), frames, mp3.data(), static_cast<int>(mp3.size()));
    else
        n = lame_encode_buffer(gf, pcm.data(), nullptr, frames, mp3.data(), static_cast<int>(mp3.size()));
    if (n < 0) {
        lame_close(gf);
        return false;
    }
    int m = lame_encode_flush(gf, mp3.data() + n, static_cast<int>(mp3.size()) - n);
    if (m < 0) {
        lame_close(gf);
        return false;
    }
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) {
        lame_close(gf);
        return false;
    }
    std::fwrite(mp3.data(), 1, static_cast<size_t>(n + m), fp);
    // The tag frame at the start carries the encoder delay and padding.
    unsigned char tag[4096];
    size_t tag_size = lame_get_lametag_frame(gf, tag, sizeof tag);
    if (tag_size > 0 && tag_size <= sizeof tag) {
        std::fseek(fp, 0, SEEK_SET);
        std::fwrite(tag, 1, tag_size, fp);
    }
    std::fclose(fp);
    lame_close(gf);
    return true;
}
