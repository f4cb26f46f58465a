// Sample-rate conversion of decoded music to the output rate, through
// libsoxr (band-limited, so a track at another rate plays without aliasing
// or imaging). Used by the audio decoder; a separate header so that tests
// can feed it exact signals.
#pragma once

#include <cstdint>
#include <vector>

// Converts frames of interleaved 16-bit stereo at rate (frames per second)
// to AUDIO_RATE into out: floor(frames × AUDIO_RATE / rate) frames. At
// AUDIO_RATE the samples are copied unchanged. 0 on success, 1 when rate is
// not positive or the converter fails (out is then empty).
int32_t audio_resample(const int16_t* in, int64_t frames, long rate, std::vector<int16_t>* out);
