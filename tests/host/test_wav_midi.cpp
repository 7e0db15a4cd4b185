#include "MidiInput.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A WAV file with the given format fields and raw sample bytes.
std::vector<std::uint8_t> MakeWav(std::uint16_t format, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                  const std::vector<std::uint8_t>& samples, bool extensible = false,
                                  bool junkChunk = false)
{
    std::vector<std::uint8_t> v;
    auto put = [&](std::uint32_t x, int n) {
        for (int i = 0; i < n; ++i)
            v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    auto tag = [&](const char* t) { v.insert(v.end(), t, t + 4); };
    tag("RIFF");
    put(0, 4);
    tag("WAVE");
    if (junkChunk) {
        tag("LIST");
        put(3, 4);
        v.insert(v.end(), {1, 2, 3, 0}); // odd size plus pad byte
    }
    tag("fmt ");
    put(extensible ? 40 : 16, 4);
    put(extensible ? 0xFFFE : format, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * bits / 8, 4);
    put(channels * bits / 8, 2);
    put(bits, 2);
    if (extensible) {
        put(22, 2);
        put(bits, 2);
        put(3, 4);
        put(format, 2);
        v.insert(v.end(), 14, 0);
    }
    tag("data");
    put(static_cast<std::uint32_t>(samples.size()), 4);
    v.insert(v.end(), samples.begin(), samples.end());
    return v;
}

} // namespace

TEST(Wav, ReadsEverySupportedFormat)
{
    TWavData d;
    std::string err;
    // 16-bit stereo: L = -32768, R = 16384
    ASSERT_TRUE(ParseWav(MakeWav(1, 2, 44100, 16, {0x00, 0x80, 0x00, 0x40}, false, true), d, err)) << err;
    ASSERT_EQ(d.Channels.size(), 2u);
    EXPECT_EQ(d.SampleRate, 44100);
    EXPECT_FLOAT_EQ(d.Channels[0][0], -1.0f);
    EXPECT_FLOAT_EQ(d.Channels[1][0], 0.5f);
    // 24-bit mono: 0x400000 = 0.5, 0xC00000 = -0.5
    ASSERT_TRUE(ParseWav(MakeWav(1, 1, 48000, 24, {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}), d, err)) << err;
    EXPECT_FLOAT_EQ(d.Channels[0][0], 0.5f);
    EXPECT_FLOAT_EQ(d.Channels[0][1], -0.5f);
    // 32-bit float through the extensible header
    std::vector<std::uint8_t> f(4);
    const float quarter = 0.25f;
    std::memcpy(f.data(), &quarter, 4);
    ASSERT_TRUE(ParseWav(MakeWav(3, 1, 96000, 32, f, true), d, err)) << err;
    EXPECT_FLOAT_EQ(d.Channels[0][0], 0.25f);
}

TEST(Wav, MalformedFilesAreRefusedWithAReason)
{
    std::vector<std::uint8_t> fmtCut = MakeWav(1, 1, 8000, 16, {});
    fmtCut.resize(24);
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"not RIFF", std::vector<std::uint8_t>(64, 'x')},
        {"8-bit PCM", MakeWav(1, 1, 8000, 8, {1, 2})},
        {"A-law", MakeWav(6, 1, 8000, 8, {1, 2})},
        {"no channels", MakeWav(1, 0, 8000, 16, {1, 2})},
        {"fmt cut off", fmtCut},
    };
    for (const auto& c : cases) {
        TWavData d;
        std::string err;
        EXPECT_FALSE(ParseWav(c.bytes, d, err)) << c.what;
        EXPECT_FALSE(err.empty()) << c.what;
    }
    // A data chunk that claims more than the file holds keeps the whole frames present.
    auto cut = MakeWav(1, 1, 8000, 16, {1, 0, 2, 0, 3});
    cut[cut.size() - 5 - 4] = 0xFF; // data size far too large
    TWavData d;
    std::string err;
    ASSERT_TRUE(ParseWav(cut, d, err)) << err;
    EXPECT_EQ(d.Frames(), 2u);
}

TEST(Wav, FloatOutputReadsBackBitExact)
{
    TWavData d;
    d.SampleRate = 22050;
    d.Channels = {{0.0f, -1.5f, 1e-30f}, {3.0f, 0.125f, -0.0f}};
    TWavData back;
    std::string err;
    ASSERT_TRUE(ParseWav(BuildFloatWav(d), back, err)) << err;
    EXPECT_EQ(back.SampleRate, 22050);
    ASSERT_EQ(back.Channels.size(), 2u);
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(std::memcmp(back.Channels[c].data(), d.Channels[c].data(), 12), 0) << c;
}

TEST(MidiText, MessagesWithFramesAndSeconds)
{
    std::vector<TMidiMessage> m;
    std::string err;
    ASSERT_TRUE(ParseMidiText("# a chord\n0.5s 90 3C 64\n100 90 40 64 # inline\n\n200 C0 05\n", 44100, m, err)) << err;
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].Frame, 100);
    EXPECT_EQ(m[0].Packed, 0x644090u);
    EXPECT_EQ(m[1].Frame, 200);
    EXPECT_EQ(m[1].Packed, 0x05C0u);
    EXPECT_EQ(m[2].Frame, 22050);
    for (const char* bad : {"x 90 3C 64", "-5 90 3C 64", "0 90 3C", "0 3C 40 40", "0 F0 01 02", "0 90 3C 80", "0 90 3C 64 00", "0 90 zz 64"}) {
        EXPECT_FALSE(ParseMidiText(bad, 44100, m, err)) << bad;
        EXPECT_NE(err.find("line 1"), std::string::npos) << bad;
    }
}

TEST(MidiFile, TempoMapRunningStatusAndMalformedTracks)
{
    // Format 1, 2 tracks, 96 ticks per quarter. Track 1: tempo 1 s per quarter
    // from tick 96. Track 2: note on at tick 96 (0.5 s at 120 BPM), running
    // status note at tick 192 (1.5 s), a sysex, then end of track.
    std::vector<std::uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96};
    const std::vector<std::uint8_t> t1 = {0x60, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0x00, 0xFF, 0x2F, 0};
    const std::vector<std::uint8_t> t2 = {0x60, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0xF0, 2, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0};
    for (const auto* t : {&t1, &t2}) {
        f.insert(f.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(t->size())});
        f.insert(f.end(), t->begin(), t->end());
    }
    std::vector<TMidiMessage> m;
    std::string err;
    ASSERT_TRUE(ParseMidiInput(f, 1000, m, err)) << err;
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].Frame, 500);
    EXPECT_EQ(m[0].Packed, 0x643C90u);
    EXPECT_EQ(m[1].Frame, 1500);
    EXPECT_EQ(m[1].Packed, 0x643E90u);

    auto truncated = f;
    truncated.resize(truncated.size() - 3);
    EXPECT_FALSE(ParseMidiFile(truncated, 1000, m, err));
    auto smpte = f;
    smpte[12] = 0xE7;
    EXPECT_FALSE(ParseMidiFile(smpte, 1000, m, err));
    auto longTrack = f;
    longTrack[14 + 7] = 0xFF; // first track claims more bytes than exist
    EXPECT_FALSE(ParseMidiFile(longTrack, 1000, m, err));
    EXPECT_NE(err.find("runs past"), std::string::npos);
}
