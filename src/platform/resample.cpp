// Rate conversion (resample.h) with libsoxr's one-shot call: high quality
// (20-bit precision, linear phase), no dither, so the same file always gives
// the same samples.
#include "platform/resample.h"

#include "platform/audio.h"

#include <soxr.h>

int32_t audio_resample(const int16_t* in, int64_t frames, long rate, std::vector<int16_t>* out)
{
    out->clear();
    if (rate <= 0 || frames < 0 || (frames > 0 && !in))
        return 1;
    if (rate == AUDIO_RATE) {
        out->assign(in, in + frames * 2);
        return 0;
    }
    int64_t out_frames = frames * AUDIO_RATE / rate;
    if (out_frames <= 0)
        return 0;
    out->resize(static_cast<size_t>(out_frames) * 2);
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t done = 0;
    soxr_error_t error = soxr_oneshot(static_cast<double>(rate), static_cast<double>(AUDIO_RATE), 2, in,
                                      static_cast<size_t>(frames), nullptr, out->data(),
                                      static_cast<size_t>(out_frames), &done, &io, &quality, nullptr);
    if (error) {
        out->clear();
        return 1;
    }
    out->resize(done * 2);
    return 0;
}
