// Envelope evaluation checked against an independent double-precision
// reference of the key shapes and behaviours, on keys whose tension,
// continuity, bias and handles differ per key (so that swapped tangents,
// mixed-up key parameters or wrong time ratios show).
#include "lightwave/lightwave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

struct RefKey {
    double time, value;
    int shape;
    double a, b, c; // tension, continuity, bias
    double p0, p1, p2, p3;
};

struct Keys {
    std::vector<RefKey> ref;
    std::vector<MotionKey> keys;
    MotionEnvelope env{};
    explicit Keys(std::vector<RefKey> list, int32_t pre = 1, int32_t post = 1) : ref(std::move(list))
    {
        keys.resize(ref.size());
        for (size_t i = 0; i < ref.size(); ++i) {
            MotionKey& k = keys[i];
            k = MotionKey{};
            k.time = static_cast<float>(ref[i].time);
            k.value = static_cast<float>(ref[i].value);
            k.shape = static_cast<int16_t>(ref[i].shape);
            k.tension = static_cast<float>(ref[i].a);
            k.continuity = static_cast<float>(ref[i].b);
            k.bias = static_cast<float>(ref[i].c);
            k.p0 = static_cast<float>(ref[i].p0);
            k.p1 = static_cast<float>(ref[i].p1);
            k.p2 = static_cast<float>(ref[i].p2);
            k.p3 = static_cast<float>(ref[i].p3);
            k.previous = i ? &keys[i - 1] : nullptr;
            k.next = i + 1 < ref.size() ? &keys[i + 1] : nullptr;
        }
        env.keys = &keys[0];
        env.key_count = static_cast<int32_t>(keys.size());
        env.pre_behaviour = pre;
        env.post_behaviour = post;
    }
    float at(double t) const { return envelope_evaluate(&env, static_cast<float>(t)); }

    // Tangent leaving key i towards key i + 1.
    double out(size_t i) const
    {
        const RefKey& k = ref[i];
        const RefKey& n = ref[i + 1];
        const RefKey* p = i ? &ref[i - 1] : nullptr;
        switch (k.shape) {
        case 0: {
            double d = (1 - k.a) * (1 - k.b) * (1 - k.c) * (n.value - k.value);
            if (!p)
                return d;
            return ((k.value - p->value) * (1 - k.a) * (1 + k.b) * (1 + k.c) + d) * (n.time - k.time) /
                   (n.time - p->time);
        }
        case 1:
        case 2:
            return p ? k.p1 * (n.time - k.time) / (n.time - p->time) : k.p1;
        case 3: {
            double d = n.value - k.value;
            return p ? (n.time - k.time) / (n.time - p->time) * (d + k.value - p->value) : d;
        }
        case 5: {
            double s = (n.time - k.time) * k.p3;
            return std::fabs(k.p2) > 0.00001 ? s / k.p2 : s * 100000.0;
        }
        default:
            return 0;
        }
    }

    // Tangent arriving at key i from key i - 1.
    double in(size_t i) const
    {
        const RefKey& k = ref[i];
        const RefKey& p = ref[i - 1];
        const RefKey* n = i + 1 < ref.size() ? &ref[i + 1] : nullptr;
        switch (k.shape) {
        case 0: {
            double d = (1 - k.a) * (1 - k.b) * (1 + k.c) * (k.value - p.value);
            if (!n)
                return d;
            return ((n->value - k.value) * (1 - k.a) * (1 + k.b) * (1 - k.c) + d) * (k.time - p.time) /
                   (n->time - p.time);
        }
        case 1:
        case 2:
            return n ? k.p0 * (k.time - p.time) / (n->time - p.time) : k.p0;
        case 3: {
            double d = k.value - p.value;
            return n ? (k.time - p.time) / (n->time - p.time) * (d + n->value - k.value) : d;
        }
        case 5: {
            double s = (k.time - p.time) * k.p1;
            return std::fabs(k.p0) > 0.00001 ? s / k.p0 : s * 100000.0;
        }
        default:
            return 0;
        }
    }

    // Value inside the span that ends at key j (time strictly inside).
    double span(size_t j, double time) const
    {
        const RefKey& k0 = ref[j - 1];
        const RefKey& k1 = ref[j];
        double t = (time - k0.time) / (k1.time - k0.time);
        switch (k1.shape) {
        case 0:
        case 1:
        case 2: {
            double h2 = 3 * t * t - 2 * t * t * t, h1 = 1 - h2, h4 = t * t * t - t * t,
                   h3 = t * t * t - 2 * t * t + t;
            return h1 * k0.value + h2 * k1.value + h3 * out(j - 1) + h4 * in(j);
        }
        case 3:
            return k0.value + (k1.value - k0.value) * t;
        case 4:
            return k0.value;
        default:
            return 0;
        }
    }
};

RefKey key(double time, double value, int shape, double a = 0, double b = 0, double c = 0, double p0 = 0,
           double p1 = 0, double p2 = 0, double p3 = 0)
{
    return {time, value, shape, a, b, c, p0, p1, p2, p3};
}

double bezier(double x0, double x1, double x2, double x3, double t)
{
    double c = 3 * (x1 - x0), b = 3 * (x2 - x1) - c, a = x3 - x0 - c - b;
    return a * t * t * t + b * t * t + c * t + x0;
}

} // namespace

TEST(EnvelopeReference, TcbSpansUseEachKeysOwnTensionContinuityAndBias)
{
    // Uneven key spacing and different parameters per key: the outgoing
    // tangent of the middle key uses (1 - c) on the next difference and
    // (1 + b)(1 + c) on the previous one; the incoming one the reverse.
    Keys k({key(0, 1, 0, 0.2, -0.3, 0.4), key(1, 5, 0, -0.1, 0.5, -0.6), key(3, 2, 0, 0.3, 0.2, 0.7),
            key(3.5, 8, 0, 0.6, -0.4, -0.2)});
    for (double t : {0.2, 0.5, 0.9, 1.3, 2.0, 2.7, 3.1, 3.4}) {
        size_t j = t < 1 ? 1 : t < 3 ? 2 : 3;
        double expect = k.span(j, t);
        EXPECT_NEAR(k.at(t), expect, 1e-4 * (1 + std::fabs(expect))) << "time " << t;
    }
}

TEST(EnvelopeReference, HermiteAndBezierTangentsScaleByTheKeyTimes)
{
    // Incoming from p0, outgoing from p1, each scaled by its share of the
    // two neighbouring spans.
    Keys k({key(0, 0, 1, 0, 0, 0, 7, -3), key(2, 4, 1, 0, 0, 0, 5, -2), key(3, 1, 2, 0, 0, 0, 9, 6),
            key(6, 3, 2, 0, 0, 0, -4, 11)});
    for (double t : {0.5, 1.0, 1.5, 2.25, 2.75, 4.0, 5.5}) {
        size_t j = t < 2 ? 1 : t < 3 ? 2 : 3;
        double expect = k.span(j, t);
        EXPECT_NEAR(k.at(t), expect, 1e-4 * (1 + std::fabs(expect))) << "time " << t;
    }
}

TEST(EnvelopeReference, MixedShapesTakeTheTangentOfEachKeysOwnShape)
{
    // A linear key leading into a TCB span, a 2D Bezier key leading into a
    // Hermite span, a stepped key in the middle.
    Keys k({key(0, 2, 3), key(1, 6, 3), key(2, 3, 0, 0.1, 0.2, 0.3), key(3, 5, 5, 0, 0, 0, 0.5, 1.5, 0.25, 0.75),
            key(4, 1, 1, 0, 0, 0, 2, 3), key(5, 9, 4), key(6, 0, 0)});
    for (double t : {0.3, 1.4, 1.8, 3.6, 4.5, 5.5}) {
        size_t j = static_cast<size_t>(std::floor(t)) + 1;
        double expect = k.span(j, t);
        EXPECT_NEAR(k.at(t), expect, 1e-4 * (1 + std::fabs(expect))) << "time " << t;
    }
}

TEST(EnvelopeReference, TwoDimensionalBezierHandles)
{
    // Span 1 -> 3, start key 2D Bezier with handle (p2, p3) = (0.5, 2), end
    // key handle (p0, p1) = (-0.25, -1). The time curve is solved for t, the
    // value curve evaluated at that t.
    Keys k({key(1, 1, 5, 0, 0, 0, 0, 0, 0.5, 2), key(3, 4, 5, 0, 0, 0, -0.25, -1)});
    for (double time : {1.3, 2.0, 2.6}) {
        double lo = 0, hi = 1, t = 0.5;
        for (int i = 0; i < 200; ++i) {
            t = (lo + hi) / 2;
            double v = bezier(1, 1.5, 2.75, 3, t);
            if (std::fabs(v - time) < 1e-9)
                break;
            (time < v ? hi : lo) = t;
        }
        double expect = bezier(1, 3, 3, 4, t);
        EXPECT_NEAR(k.at(time), expect, 2e-3) << "time " << time;
    }
    // Without a 2D Bezier start key, its handles come from a third of the
    // span and p1 / 3.
    Keys m({key(0, 0, 1, 0, 0, 0, 0, 3), key(3, 3, 5, 0, 0, 0, -1, 0)});
    double lo = 0, hi = 1, t = 0.5;
    for (int i = 0; i < 200; ++i) {
        t = (lo + hi) / 2;
        double v = bezier(0, 1, 2, 3, t);
        if (std::fabs(v - 1.2) < 1e-9)
            break;
        (1.2 < v ? hi : lo) = t;
    }
    EXPECT_NEAR(m.at(1.2), bezier(0, 1, 3, 3, t), 2e-3);
}

TEST(EnvelopeReference, LinearExtrapolationUsesTheEndTangentsOfTheEndKeys)
{
    // Before the first key: its outgoing tangent over the first span; after
    // the last: its incoming tangent over the last span.
    Keys k({key(1, 2, 0, 0.3, 0.1, -0.2), key(2, 5, 0), key(4, 1, 0, -0.2, 0.4, 0.5)}, MOTION_LINEAR_EXTRAPOLATE,
           MOTION_LINEAR_EXTRAPOLATE);
    EXPECT_NEAR(k.at(0.0), 2 + (0.0 - 1) * k.out(0) / (2 - 1), 1e-4);
    EXPECT_NEAR(k.at(5.5), 1 + (5.5 - 4) * k.in(2) / (4 - 2), 1e-4);
}

TEST(EnvelopeReference, RepeatOscillateAndOffsetWithKeysAwayFromZero)
{
    Keys base({key(2, 1, 3), key(3, 4, 0, 0.2), key(6, 0, 0, 0, 0.3)});
    auto inside = [&](double t) { return base.span(t < 3 ? 1 : 2, t); };
    // Span 2 .. 6 (length 4).
    Keys rep(base.ref, MOTION_REPEAT, MOTION_REPEAT);
    EXPECT_NEAR(rep.at(7.0), inside(3.0 + 0.0), 1e-4); // 7 -> 3: the key itself
    EXPECT_NEAR(rep.at(7.5), inside(3.5), 1e-4);
    EXPECT_NEAR(rep.at(0.5), inside(4.5), 1e-4);
    Keys osc(base.ref, MOTION_OSCILLATE, MOTION_OSCILLATE);
    EXPECT_NEAR(osc.at(7.5), inside(2 + 6 - 3.5), 1e-4);   // one period on: mirrored
    EXPECT_NEAR(osc.at(11.5), inside(3.5), 1e-4);          // two periods: forward
    EXPECT_NEAR(osc.at(0.5), inside(2 + 6 - 4.5), 1e-4);   // one period back: mirrored
    Keys off(base.ref, MOTION_OFFSET_REPEAT, MOTION_OFFSET_REPEAT);
    EXPECT_NEAR(off.at(7.5), inside(3.5) + (0 - 1), 1e-4);
    EXPECT_NEAR(off.at(11.5), inside(3.5) + 2 * (0 - 1), 1e-4);
    EXPECT_NEAR(off.at(0.5), inside(4.5) - (0 - 1), 1e-4);
}
