// "Test Chunk": an effect that keeps its settings in chunks, as many real
// plugins do. Four programs of two parameters ("Drive", "Tone"), each with its
// own name. The bank chunk is "TCBK", a version, the four programs (24-byte
// name, two floats) and a filler pattern up to the bank size (1000 bytes
// unless set otherwise); the program chunk is "TCPG" and one program.
// effSetChunk checks what it receives and takes only a well-formed chunk,
// after which it asks the host to update its display, as real plugins do.
// Built with CHUNK_FAULT its effGetChunk for the bank writes through a null
// pointer.

#include "FixtureCommon.h"
#include "StateFixture.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kPrograms = 4;
constexpr int kParams = 2;
constexpr int kNameSize = 24;
constexpr int kProgramBytes = kNameSize + 4 * kParams;
constexpr int kBankHeader = 8;
constexpr int kBankMinimum = kBankHeader + kPrograms * kProgramBytes;
constexpr int kProgramChunkBytes = 4 + kProgramBytes;

struct TProgram {
    char Name[kNameSize + 1];
    float Values[kParams];
};

TProgram gPrograms[kPrograms] = {
    {"Chunk A", {0.1f, 0.2f}}, {"Chunk B", {0.3f, 0.4f}}, {"Chunk C", {0.5f, 0.6f}}, {"Chunk D", {0.7f, 0.8f}}};
const char* const kParamNames[kParams] = {"Drive", "Tone"};

AEffect gChunk;
int gProgram = 0;
TStateFixture gState = {};
std::vector<unsigned char> gOut; // what the last effGetChunk handed out
#if defined(CHUNK_FAULT)
int* volatile gNowhere = nullptr;
#endif

unsigned char Filler(std::size_t i)
{
    return static_cast<unsigned char>((i * 7 + 3) & 0xFF);
}

void PutProgram(unsigned char* at, const TProgram& p)
{
    std::memset(at, 0, kNameSize);
    std::memcpy(at, p.Name, std::strlen(p.Name));
    std::memcpy(at + kNameSize, p.Values, sizeof p.Values);
}

void GetProgram(const unsigned char* at, TProgram& p)
{
    std::memset(p.Name, 0, sizeof p.Name);
    std::memcpy(p.Name, at, kNameSize);
    std::memcpy(p.Values, at + kNameSize, sizeof p.Values);
}

VstIntPtr GiveChunk(VstInt32 index, void* ptr)
{
    ++gState.GetChunkCalls;
#if defined(CHUNK_FAULT)
    if (index == 0)
        *gNowhere = 1; // the bank chunk crashes; the program chunk (backups) works
#endif
    if (gState.UpdateOnGetChunk != 0) {
        ++gState.DisplayUpdatesAsked;
        CallHost(audioMasterUpdateDisplay);
    }
    if (index == 0) {
        const int size = gState.BankChunkSize > kBankMinimum ? gState.BankChunkSize
                         : gState.BankChunkSize == 0      ? 1000
                                                          : kBankMinimum;
        gOut.assign(static_cast<std::size_t>(size), 0);
        std::memcpy(gOut.data(), "TCBK", 4);
        gOut[4] = 1;
        for (int p = 0; p < kPrograms; ++p)
            PutProgram(gOut.data() + kBankHeader + p * kProgramBytes, gPrograms[p]);
        for (std::size_t i = kBankMinimum; i < gOut.size(); ++i)
            gOut[i] = Filler(i);
    } else {
        gOut.assign(kProgramChunkBytes, 0);
        std::memcpy(gOut.data(), "TCPG", 4);
        PutProgram(gOut.data() + 4, gPrograms[gProgram]);
    }
    *static_cast<void**>(ptr) = gOut.data();
    return static_cast<VstIntPtr>(gOut.size());
}

VstIntPtr TakeChunk(VstInt32 index, VstIntPtr size, const unsigned char* data)
{
    ++gState.SetChunkCalls;
    gState.LastSetChunkIndex = index;
    gState.LastSetChunkSize = static_cast<VstInt32>(size);
    bool ok = data != nullptr;
    if (ok && index == 0) {
        ok = size >= kBankMinimum && std::memcmp(data, "TCBK", 4) == 0;
        for (VstIntPtr i = kBankMinimum; ok && i < size; ++i)
            ok = data[i] == Filler(static_cast<std::size_t>(i));
        if (ok) {
            for (int p = 0; p < kPrograms; ++p)
                GetProgram(data + kBankHeader + p * kProgramBytes, gPrograms[p]);
        }
    } else if (ok) {
        ok = size == kProgramChunkBytes && std::memcmp(data, "TCPG", 4) == 0;
        if (ok)
            GetProgram(data + 4, gPrograms[gProgram]);
    }
    if (!ok) {
        ++gState.ChunksRefused;
        return 0;
    }
    ++gState.ChunksAccepted;
    ++gState.DisplayUpdatesAsked;
    CallHost(audioMasterUpdateDisplay);
    return 1;
}

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    switch (opcode) {
    case effSetProgram:
        if (value >= 0 && value < kPrograms)
            gProgram = static_cast<int>(value);
        return 0;
    case effGetProgram:
        return gProgram;
    case effSetProgramName:
        CopyText(gPrograms[gProgram].Name, static_cast<const char*>(ptr), sizeof gPrograms[gProgram].Name);
        return 0;
    case effGetProgramName:
        CopyText(ptr, gPrograms[gProgram].Name, kVstMaxProgNameLen + 1);
        return 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= kPrograms)
            return 0;
        CopyText(ptr, gPrograms[index].Name, kVstMaxProgNameLen + 1);
        return 1;
    case effGetParamName:
        if (index >= 0 && index < kParams)
            CopyText(ptr, kParamNames[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetChunk:
        return GiveChunk(index, ptr);
    case effSetChunk:
        return TakeChunk(index, value, static_cast<const unsigned char*>(ptr));
    case effGetEffectName:
        CopyText(ptr, "Test Chunk", kVstMaxEffectNameLen);
        return 1;
    case effGetPlugCategory:
        return kPlugCategEffect;
    default:
        return 0;
    }
}

void VSTCALL SetParameter(AEffect*, VstInt32 index, float value)
{
    if (index >= 0 && index < kParams)
        gPrograms[gProgram].Values[index] = value;
}

float VSTCALL GetParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < kParams ? gPrograms[gProgram].Values[index] : 0.0f;
}

void VSTCALL ProcessReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames)
{
    ++gProbe.ReplacingCalls;
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = inputs[c][i];
}

} // namespace

FIXTURE_EXPORT TStateFixture* FixtureState()
{
    return &gState;
}

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gChunk, &Dispatch, kPrograms, kParams, 2, 2, effFlagsCanReplacing | effFlagsProgramChunks,
               VstFourCC('P', 't', 'C', 'k'));
    gChunk.setParameter = &SetParameter;
    gChunk.getParameter = &GetParameter;
    gChunk.processReplacing = &ProcessReplacing;
    gEffect = &gChunk;
    return &gChunk;
}
