// LWMO motion files: reading (magic, channel counts, keys, behaviours, long
// and broken lines) and envelope evaluation for every key shape and behaviour.
#include "lw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace
{

struct Envelopes {
    MotionEnvelope** array = nullptr;
    int32_t count = 0;
    int32_t result = -1;
    ~Envelopes() { motion_free_all(array, count); }
};

void load_text(const std::string& name, const std::string& text, Envelopes* out)
{
    std::string path = build_path(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    out->result = motion_load(path.c_str(), &out->array, &out->count);
}

LwmoKey key(float time, float value, int16_t shape = MOTION_LINEAR)
{
    LwmoKey k;
    k.time = time;
    k.value = value;
    k.shape = shape;
    return k;
}

// An envelope built in memory, keys given in time order.
struct Env {
    MotionEnvelope env{};
    std::vector<MotionKey> keys;
    Env(const std::vector<LwmoKey>& list, int32_t pre = 1, int32_t post = 1) : keys(list.size())
    {
        for (size_t i = 0; i < list.size(); ++i) {
            MotionKey& k = keys[i];
            k = MotionKey{};
            k.time = list[i].time;
            k.value = list[i].value;
            k.shape = list[i].shape;
            k.tension = list[i].tension;
            k.continuity = list[i].continuity;
            k.bias = list[i].bias;
            k.p0 = list[i].p0;
            k.p1 = list[i].p1;
            k.p2 = list[i].p2;
            k.p3 = list[i].p3;
            k.previous = i ? &keys[i - 1] : nullptr;
            k.next = i + 1 < list.size() ? &keys[i + 1] : nullptr;
        }
        env.keys = keys.empty() ? nullptr : &keys[0];
        env.key_count = static_cast<int32_t>(keys.size());
        env.pre_behaviour = pre;
        env.post_behaviour = post;
    }
    float at(float t) const { return envelope_evaluate(&env, t); }
};

} // namespace

TEST(Envelope, LinearKeysAndEveryPostBehaviour)
{
    std::vector<LwmoKey> keys = {key(0, 0), key(1, 10)};
    EXPECT_EQ(Env(keys).at(0.5f), 5.0f);
    EXPECT_EQ(Env(keys, 1, MOTION_RESET).at(1.5f), 0.0f);
    EXPECT_EQ(Env(keys, 1, MOTION_CONSTANT).at(1.5f), 10.0f);
    EXPECT_EQ(Env(keys, 1, MOTION_REPEAT).at(1.25f), 2.5f);
    EXPECT_EQ(Env(keys, 1, MOTION_OFFSET_REPEAT).at(1.25f), 12.5f);
    EXPECT_EQ(Env(keys, 1, MOTION_OSCILLATE).at(1.25f), 7.5f);
    EXPECT_EQ(Env(keys, 1, MOTION_OSCILLATE).at(2.25f), 2.5f); // even period: forward again
    EXPECT_EQ(Env(keys, 1, MOTION_LINEAR_EXTRAPOLATE).at(2.0f), 20.0f);
}

TEST(Envelope, EveryPreBehaviour)
{
    std::vector<LwmoKey> keys = {key(0, 0), key(1, 10)};
    EXPECT_EQ(Env(keys, MOTION_RESET).at(-0.5f), 0.0f);
    EXPECT_EQ(Env(keys, MOTION_CONSTANT).at(-0.5f), 0.0f);
    EXPECT_EQ(Env(keys, MOTION_REPEAT).at(-0.75f), 2.5f);
    EXPECT_EQ(Env(keys, MOTION_OSCILLATE).at(-0.75f), 7.5f);
    EXPECT_EQ(Env(keys, MOTION_OFFSET_REPEAT).at(-0.75f), -7.5f);
    EXPECT_EQ(Env(keys, MOTION_LINEAR_EXTRAPOLATE).at(-1.0f), -10.0f);
    std::vector<LwmoKey> later = {key(2, 4), key(3, 8)};
    EXPECT_EQ(Env(later, MOTION_CONSTANT).at(0.0f), 4.0f);
}

TEST(Envelope, RepeatWrapsRelativeToTheFirstKey)
{
    // Keys at 1 and 3: time 3.5 wraps to 1.5, a quarter of the span.
    std::vector<LwmoKey> keys = {key(1, 0), key(3, 10)};
    EXPECT_EQ(Env(keys, 1, MOTION_REPEAT).at(3.5f), 2.5f);
    EXPECT_EQ(Env(keys, 1, MOTION_OSCILLATE).at(3.5f), 7.5f); // mirrored: 1 + 3 - 1.5 = 2.5
    EXPECT_EQ(Env(keys, MOTION_REPEAT).at(0.5f), 7.5f);       // 0.5 wraps to 2.5
}

TEST(Envelope, SteppedHoldsAndOneKeyIsConstant)
{
    EXPECT_EQ(Env({key(0, 3), key(1, 10, MOTION_STEPPED)}).at(0.9f), 3.0f);
    Env one({key(5, 7)}, MOTION_RESET, MOTION_RESET);
    EXPECT_EQ(one.at(-100.0f), 7.0f);
    EXPECT_EQ(one.at(100.0f), 7.0f);
    EXPECT_EQ(Env({}).at(1.0f), 0.0f);
    EXPECT_EQ(envelope_evaluate(nullptr, 1.0f), 0.0f);
}

TEST(Envelope, TcbHermiteAndBezierSpans)
{
    // TCB with zero parameters over two keys: tangents 10 at both ends make the
    // Hermite curve a straight line.
    Env tcb({key(0, 0, MOTION_TCB), key(1, 10, MOTION_TCB)});
    EXPECT_FLOAT_EQ(tcb.at(0.25f), 2.5f);
    EXPECT_FLOAT_EQ(tcb.at(0.5f), 5.0f);
    // Hermite with zero tangents: 10 * (3t^2 - 2t^3).
    Env herm({key(0, 0, MOTION_HERMITE), key(1, 10, MOTION_HERMITE)});
    EXPECT_FLOAT_EQ(herm.at(0.25f), 1.5625f);
    // Hermite tangents come from p1 (outgoing) and p0 (incoming).
    LwmoKey a = key(0, 0, MOTION_BEZIER), b = key(1, 0, MOTION_BEZIER);
    a.p1 = 4.0f;
    b.p0 = 4.0f;
    // h3 * 4 + h4 * 4 at t = 0.5: (0.125 - 0.125) * 4 = 0.
    EXPECT_FLOAT_EQ(Env({a, b}).at(0.5f), 0.0f);
    // At t = 0.25: h3 = 0.140625, h4 = -0.046875.
    EXPECT_FLOAT_EQ(Env({a, b}).at(0.25f), 4.0f * 0.140625f - 4.0f * 0.046875f);
    // Tension 1 flattens both tangents.
    LwmoKey t0 = key(0, 0, MOTION_TCB), t1 = key(1, 10, MOTION_TCB);
    t0.tension = 1.0f;
    t1.tension = 1.0f;
    EXPECT_FLOAT_EQ(Env({t0, t1}).at(0.25f), 1.5625f);
}

TEST(Envelope, TwoDimensionalBezier)
{
    // Time handles at a third of the span make time linear in t; value handles
    // (0, 0, 10, 10) give 10 * (3t^2 - 2t^3).
    LwmoKey a = key(0, 0, MOTION_BEZIER_2D), b = key(1, 10, MOTION_BEZIER_2D);
    a.p2 = 1.0f / 3.0f;
    a.p3 = 0.0f;
    b.p0 = -1.0f / 3.0f;
    b.p1 = 0.0f;
    Env e({a, b});
    EXPECT_NEAR(e.at(0.5f), 5.0f, 1e-3f);
    EXPECT_NEAR(e.at(0.25f), 1.5625f, 1e-3f);
}

TEST(Envelope, EqualKeyTimesAndOddInputsStayFinite)
{
    Env same({key(1, 2), key(1, 5)}, MOTION_LINEAR_EXTRAPOLATE, MOTION_LINEAR_EXTRAPOLATE);
    EXPECT_TRUE(std::isfinite(same.at(0.0f)));
    EXPECT_TRUE(std::isfinite(same.at(1.0f)));
    EXPECT_TRUE(std::isfinite(same.at(2.0f)));
    Env rep({key(1, 2), key(1, 5)}, MOTION_OSCILLATE, MOTION_OFFSET_REPEAT);
    EXPECT_TRUE(std::isfinite(rep.at(0.0f)));
    EXPECT_TRUE(std::isfinite(rep.at(3.0f)));
    Env tcb({key(0, 0, MOTION_TCB), key(1, 1, MOTION_TCB), key(1, 3, MOTION_TCB), key(1, 4, MOTION_TCB)});
    EXPECT_TRUE(std::isfinite(tcb.at(0.5f)));
    // Times far beyond the span (more periods than an int holds) wrap without overflow.
    std::vector<LwmoKey> keys = {key(0, 0), key(1, 10)};
    for (int32_t b = MOTION_REPEAT; b <= MOTION_OFFSET_REPEAT; ++b) {
        Env wrap(keys, b, b);
        EXPECT_TRUE(std::isfinite(wrap.at(1e12f))) << b;
        EXPECT_TRUE(std::isfinite(wrap.at(-1e12f))) << b;
        wrap.at(INFINITY);
    }
    // NaN time: evaluated as at the last key.
    EXPECT_EQ(Env({key(0, 0), key(1, 10)}, 7, 7).at(std::nanf("")), 10.0f);
    // A shape this program does not know yields the offset only.
    EXPECT_EQ(Env({key(0, 0), key(1, 10, 9)}).at(0.5f), 0.0f);
    // A degenerate 2D Bezier handle search stops.
    LwmoKey a = key(0, 0, MOTION_BEZIER_2D), b = key(1, 10, MOTION_BEZIER_2D);
    a.p2 = 1e30f;
    b.p0 = -1e30f;
    Env degenerate({a, b});
    degenerate.at(0.5f);
}

TEST(MotionFile, WriterOutputReadsBackSortedWithBehaviours)
{
    LwmoChannel x, y;
    x.keys = {key(0, 1), key(2, 3, MOTION_TCB), key(1, 2, MOTION_HERMITE)};
    x.keys[1].tension = 0.5f;
    x.keys[1].p3 = 0.1f;
    x.pre = MOTION_RESET;
    x.post = MOTION_OSCILLATE;
    y.keys = {key(0, -1)};
    Envelopes e;
    load_text("lw_motion_ok.mo", lwmo_format({x, y}), &e);
    ASSERT_EQ(e.result, 0);
    ASSERT_EQ(e.count, 2);
    const MotionEnvelope* a = e.array[0];
    EXPECT_EQ(a->key_count, 3);
    EXPECT_EQ(a->pre_behaviour, MOTION_RESET);
    EXPECT_EQ(a->post_behaviour, MOTION_OSCILLATE);
    const MotionKey* k = a->keys;
    EXPECT_EQ(k->time, 0.0f);
    EXPECT_EQ(k->next->time, 1.0f);
    EXPECT_EQ(k->next->shape, MOTION_HERMITE);
    EXPECT_EQ(k->next->next->tension, 0.5f);
    EXPECT_EQ(k->next->next->p3, 0.1f);
    EXPECT_EQ(k->next->next->previous, k->next);
    EXPECT_EQ(e.array[1]->pre_behaviour, MOTION_CONSTANT);
    EXPECT_EQ(envelope_evaluate(e.array[1], 4.0f), -1.0f);
}

TEST(MotionFile, MissingMagicPrintsThePathAndLine)
{
    std::string path = build_path("lw_motion_nomagic.mo");
    testing::internal::CaptureStdout();
    Envelopes e;
    e.array = reinterpret_cast<MotionEnvelope**>(&e);
    load_text("lw_motion_nomagic.mo", "LWXX\r\nNumChannels 1\n", &e);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(out, "ERROR! " + path + " is not a LWMO file: LWXX\n");
    EXPECT_EQ(e.array, nullptr);
    EXPECT_EQ(e.count, 0);
}

TEST(MotionFile, BrokenFilesFailCleanly)
{
    const char* head = "LWMO\n3\n\nNumChannels 1\nChannel 0\n{ Envelope\n  1\n";
    const std::string cases[] = {
        "LWMO\n3\n",                                           // no channel count
        "LWMO\nNumChannels 0\n",                               // none
        "LWMO\nNumChannels -3\n",                              // negative
        "LWMO\nNumChannels 5000\n",                            // absurd
        "LWMO\nNumChannels x\n",                               // unparsable
        std::string(head) + "  Key 0 0 3 0 0 0 0 0 0 0\n",     // end of file before "}"
        std::string(head) + "  Key 0 0 3\n}\n",                // short key
        std::string(head) + "  Behaviors 1\n}\n",              // short behaviours
        "LWMO\nNumChannels 2\nChannel 0\n{ Envelope\n 0\n}\n", // second channel missing
        "LWMO\nNumChannels 1\nChanel 0\n{ Envelope\n 0\n}\n",  // no "Channel "
        "LWMO\nNumChannels 1\nChannel 0\n{ Curve\n 0\n}\n",    // no "{ Envelope"
        "",                                                    // empty
    };
    int i = 0;
    for (const std::string& text : cases) {
        testing::internal::CaptureStdout();
        Envelopes e;
        load_text("lw_motion_broken_" + std::to_string(i) + ".mo", text, &e);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(e.result, 1) << i;
        EXPECT_EQ(e.array, nullptr) << i;
        EXPECT_EQ(e.count, 0) << i;
        ++i;
    }
    Envelopes none;
    EXPECT_EQ(motion_load(build_path("lw_no_such_motion.mo").c_str(), &none.array, &none.count), 1);
}

TEST(MotionFile, LongLinesAreReadWholeAndBehavioursClamped)
{
    std::string tail(300, 'x');
    tail[280] = '}'; // beyond the buffer: must not end the channel
    std::string text = "LWMO\r\n" + std::string(400, '#') +
                       "\nNumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  2\r\n" + "Comment " + tail +
                       "\r\n  Key 5 0 3 0 0 0 0 0 0 0\r\n  Key 7 1 3 0 0 0 0 0 0 0\r\n" +
                       "  Behaviors 9 -2\r\n}\r\n";
    Envelopes e;
    load_text("lw_motion_long.mo", text, &e);
    ASSERT_EQ(e.result, 0);
    ASSERT_EQ(e.count, 1);
    EXPECT_EQ(e.array[0]->key_count, 2);
    EXPECT_EQ(e.array[0]->pre_behaviour, MOTION_CONSTANT);
    EXPECT_EQ(e.array[0]->post_behaviour, MOTION_CONSTANT);
    EXPECT_EQ(envelope_evaluate(e.array[0], 0.5f), 6.0f);
}
