// Sample-rate conversion in the page (resample.h): the page carries no
// converter, since the demo's track is at the output rate already; a track
// at the output rate is copied, any other rate is refused (the loader then
// reports the file as unusable).
#include "platform/resample.h"

#include "platform/audio.h"

int32_t audio_resample(const int16_t* in, int64_t frames, long rate, std::vector<int16_t>* out)
{
    out->clear();
    if (rate != AUDIO_RATE || frames < 0 || (frames > 0 && !in))
        return 1;
    out->assign(in, in + frames * 2);
    return 0;
}
