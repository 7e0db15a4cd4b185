// States and preset files through the real bridge: saved in one bridge,
// fetched by the host, loaded into a fresh bridge of the same plugin.

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;
const std::wstring kBridge = std::wstring(kBuild.begin(), kBuild.end()) + L"/dist/64bit/pelorin.exe";

std::string Fixture(const std::string& name) { return kBuild + "/fixtures/" + name; }

std::int32_t Bits(float f)
{
    std::int32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

std::string Field(const char* f, std::size_t n)
{
    const void* z = std::memchr(f, 0, n);
    return std::string(f, z ? static_cast<const char*>(z) - f : n);
}

// A host with a running bridge that keeps the message boxes it is shown.
struct TSession {
    std::mutex Lock;
    std::vector<std::wstring> Boxes;
    std::unique_ptr<TBridgeHost> host;

    TSession()
    {
        TBridgeHost::TOptions o;
        o.ReplyTimeoutMs = 20000;
        o.OnHostCommand = [this](std::uint32_t code, std::int32_t&, std::int32_t&, std::int64_t&, std::int64_t&,
                                 std::wstring& text, std::int64_t&, void*) -> std::int32_t {
            if (code == kHostMessageBox) {
                std::lock_guard<std::mutex> guard(Lock);
                Boxes.push_back(text);
                return 1;
            }
            return 0;
        };
        host = std::make_unique<TBridgeHost>(o);
        host->Launch(kBridge);
        host->WaitConnected(15000);
    }

    TSharedMemoryIntf& Ch() { return host->Channel(); }
    TDescriptionBlock& Desc() { return *static_cast<TDescriptionBlock*>(Ch().DescriptionBlock()); }

    bool Load(const std::string& path)
    {
        auto* load = static_cast<TLoadBlock*>(Ch().LoadBlock());
        std::memset(load, 0, sizeof(TLoadBlock));
        load->Kind = kKindVst2;
        std::strncpy(load->Name, "fixture", sizeof(load->Name));
        std::strncpy(load->FileName, path.c_str(), sizeof(load->FileName) - 1);
        load->Settings = {44100, 512, 120.0, 16, 4, 24};
        host->PostCode(kCodeLoadPlugin, 0);
        return host->WaitForCode(kCodePluginLoaded, 20000) == 1;
    }

    std::int64_t Send(std::uint32_t code, std::int32_t index, std::int32_t value, std::vector<std::uint8_t>& data,
                      std::int64_t size, bool copyBack, std::wstring text = {}, std::int64_t p1 = 0)
    {
        std::int64_t result = -1, p2 = 0;
        EXPECT_TRUE(Ch().SendCommandFull(code, result, index, value, p1, p2, text, size,
                                         static_cast<std::int64_t>(data.size()), data.empty() ? nullptr : data.data(),
                                         copyBack))
            << std::hex << code;
        return result;
    }

    // Save of one kind, then the fetch of exactly what it produced.
    std::vector<std::uint8_t> SaveState(std::int32_t kind)
    {
        std::vector<std::uint8_t> none;
        const std::int64_t n = Send(kCmdSaveState, kind, 0, none, 0, false);
        std::vector<std::uint8_t> fetch(kFetchStateDataOffset + static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
        const auto wanted = static_cast<std::uint32_t>(n);
        std::memcpy(fetch.data(), &wanted, 4);
        Send(kCmdFetchState, 0, 0, fetch, 8, true);
        return std::vector<std::uint8_t>(fetch.begin() + kFetchStateDataOffset, fetch.end());
    }

    void LoadState(std::int32_t kind, const std::vector<std::uint8_t>& state)
    {
        std::vector<std::uint8_t> frame(kStateFrameHeader + state.size());
        const std::uint64_t n = state.size();
        std::memcpy(frame.data(), &n, 8);
        if (!state.empty())
            std::memcpy(frame.data() + 8, state.data(), state.size());
        Send(kCmdLoadState, kind, 0, frame, static_cast<std::int64_t>(frame.size()), false);
        std::vector<std::uint8_t> none;
        Send(kCmdRefreshDescription, 1 | 4, 0, none, 0, false);
    }

    void SetParam(std::int32_t index, float value)
    {
        std::vector<std::uint8_t> none;
        Send(kCmdSetParamValue, index, Bits(value), none, 0, false);
    }

    std::wstring LastBox()
    {
        std::lock_guard<std::mutex> guard(Lock);
        return Boxes.empty() ? std::wstring() : Boxes.back();
    }
};

std::int32_t BigAt(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(b.at(at)) << 24) | (b.at(at + 1) << 16) |
                                     (b.at(at + 2) << 8) | b.at(at + 3));
}

TEST(BridgeState, AStateSavedInOneBridgeComesBackInAnother)
{
    std::vector<std::uint8_t> state;
    {
        TSession s;
        ASSERT_TRUE(s.Load(Fixture("vst2_programs.dll")));
        std::vector<std::uint8_t> none;
        s.Send(kCmdPropertyFlags, 0x40, 0x40, none, 0, false); // the plugin keeps its program edits
        s.Send(kCmdSetProgram, 3, 0, none, 0, false);
        s.SetParam(1, 0.625f);
        std::wstring name = L"Saved";
        s.Send(kCmdSetProgramName, 3, 0, none, 0, false, name);
        state = s.SaveState(0);
        ASSERT_EQ(state.size(), 4u + 1 + 4 + 4 + 4 + 32 * 12 + 4 + 32 * 25) << "KeepEdits: all 32 programs";
    }
    TSession s;
    ASSERT_TRUE(s.Load(Fixture("vst2_programs.dll")));
    EXPECT_EQ(Field(s.Desc().ProgramNames[3], 64), "Program 4");
    s.LoadState(0, state);
    EXPECT_EQ(s.Desc().CurrentProgram, 3);
    EXPECT_EQ(Field(s.Desc().ProgramNames[3], 64), "Saved");
    EXPECT_FLOAT_EQ(s.Desc().Params[1].Value, 0.625f);
    EXPECT_TRUE(s.Boxes.empty());
}

TEST(BridgeState, AChunkPluginsStateCarriesItsChunk)
{
    std::vector<std::uint8_t> state;
    {
        TSession s;
        ASSERT_TRUE(s.Load(Fixture("vst2_chunk.dll")));
        s.SetParam(0, 0.875f);
        state = s.SaveState(0);
        ASSERT_EQ(state.size(), 4u + 1 + 4 + 4 + 1000);
    }
    TSession s;
    ASSERT_TRUE(s.Load(Fixture("vst2_chunk.dll")));
    EXPECT_FLOAT_EQ(s.Desc().Params[0].Value, 0.1f);
    s.LoadState(0, state);
    EXPECT_FLOAT_EQ(s.Desc().Params[0].Value, 0.875f);
}

TEST(BridgeState, ProgramAndBankFilesLoadBackAsPresets)
{
    for (const char* plugin : {"vst2_programs.dll", "vst2_chunk.dll"}) {
        SCOPED_TRACE(plugin);
        std::vector<std::uint8_t> fxp, fxb;
        {
            TSession s;
            ASSERT_TRUE(s.Load(Fixture(plugin)));
            std::vector<std::uint8_t> none;
            s.Send(kCmdPropertyFlags, 0x40, 0x40, none, 0, false);
            s.SetParam(0, 0.375f);
            fxp = s.SaveState(1);
            fxb = s.SaveState(2);
        }
        ASSERT_GE(fxp.size(), 60u);
        ASSERT_GE(fxb.size(), 160u);
        EXPECT_EQ(std::string(fxp.begin(), fxp.begin() + 4), "CcnK");
        const std::string programMagic(fxp.begin() + 8, fxp.begin() + 12);
        const std::string bankMagic(fxb.begin() + 8, fxb.begin() + 12);
        EXPECT_TRUE(programMagic == "FxCk" || programMagic == "FPCh") << "kind 1 is a program file: " << programMagic;
        EXPECT_TRUE(bankMagic == "FxBk" || bankMagic == "FBCh") << "kind 2 is a bank file: " << bankMagic;
        EXPECT_EQ(BigAt(fxp, 4) + 8, static_cast<std::int32_t>(fxp.size())) << "byteSize is the whole file - 8";
        EXPECT_EQ(BigAt(fxb, 4) + 8, static_cast<std::int32_t>(fxb.size())) << "byteSize is the whole bank - 8";

        for (const auto* preset : {&fxp, &fxb}) {
            TSession s;
            ASSERT_TRUE(s.Load(Fixture(plugin)));
            ASSERT_NE(s.Desc().Params[0].Value, 0.375f);
            s.LoadState(3, *preset);
            EXPECT_FLOAT_EQ(s.Desc().Params[0].Value, 0.375f) << (preset == &fxp ? "program file" : "bank file");
            std::vector<std::uint8_t> none;
            EXPECT_EQ(s.Send(kCmdSaveState, 3, 0, none, 0, false), 0) << "kind 3 saves nothing";
        }
    }
}

TEST(BridgeState, APluginThatCrashesInEffGetChunkWarnsAndTheBridgeLives)
{
    TSession s;
    ASSERT_TRUE(s.Load(Fixture("vst2_chunkfault.dll")));
    const auto state = s.SaveState(0);
    EXPECT_EQ(state, (std::vector<std::uint8_t>{0xF7, 0xFF, 0xFF, 0xFF, 0x0C}));
    const std::wstring box = s.LastBox();
    // The record's text field carries the beginning of the warning.
    EXPECT_EQ(box.rfind(L"Error|There was an error retrieving the settings from the VST plugin \"Test Chunk\".", 0), 0u)
        << std::string(box.begin(), box.end());
    EXPECT_TRUE(s.host->Connected());
    // It still works: a parameter round trip and a second save.
    s.SetParam(1, 0.5f);
    EXPECT_FLOAT_EQ(s.Desc().Params[1].Value, 0.5f);
    EXPECT_EQ(s.SaveState(0).size(), 5u);
    EXPECT_TRUE(s.host->Connected());
}

} // namespace
