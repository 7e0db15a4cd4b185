// Fuzzes the VST2 state reader: any bytes as a state, restored into a plugin
// model whose shape the first two bytes choose. The model counts what a real
// plugin could not survive (programs, parameters or names outside its range,
// a chunk larger than the input); any of those, a restore left unfinished,
// or unbalanced effBeginSetProgram/effEndSetProgram stops the run. What the
// restored model then saves must read back into a fresh model of the same
// shape without any error and with the same values.

#include "VSTStateCore.h"
#include "VstStateModel.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

TVstStateModel Shape(std::uint8_t a, std::uint8_t b)
{
    TVstStateModel m;
    m.Chunks = (a & 0x01) != 0;
    m.OldVst = (a & 0x02) != 0;
    m.Properties[6] = (a & 0x04) != 0;
    m.Properties[2] = (a & 0x08) != 0;
    m.UpdateOnSwitch = (a & 0x10) != 0;
    m.NumParams = (b & 0x07);
    m.NumPrograms = (b >> 3) & 0x07;
    m.Resize();
    m.Current = (a >> 5) % (m.NumPrograms > 0 ? m.NumPrograms : 1);
    return m;
}

void Restore(TVstStateModel& m, const std::uint8_t* data, std::size_t size)
{
    TMemoryStream s;
    if (size > 0)
        s.WriteBuffer(data, static_cast<std::int64_t>(size));
    s.SetPosition(0);
    m.InputSize = static_cast<std::int64_t>(size);
    RestoreVstState(s, m);
    if (m.Violations != 0 || m.Creating || m.Count("BeginSetProgram") != m.Count("EndSetProgram"))
        __builtin_trap();
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    TVstStateModel m = Shape(data[0], data[1]);
    Restore(m, data + 2, size - 2);

    TMemoryStream saved;
    SaveVstState(saved, m);
    TVstStateModel back = Shape(data[0], data[1]);
    Restore(back, saved.Memory(), static_cast<std::size_t>(saved.GetSize()));
    if (!back.Boxes.empty() || !back.CrashWarnings.empty())
        __builtin_trap();
    if (!m.OldVst && !m.Chunks && m.NumPrograms > 0 && back.Current != m.Current)
        __builtin_trap();
    if (!m.OldVst && !m.Chunks && m.NumPrograms > 0) {
        const auto current = static_cast<std::size_t>(m.Current);
        if (!SameBits(back.Values[current], m.Values[current]) || back.Names[current] != m.Names[current])
            __builtin_trap();
        if (m.Properties[6]) {
            for (std::size_t p = 0; p < m.Values.size(); ++p)
                if (!SameBits(back.Values[p], m.Values[p]) || back.Names[p] != m.Names[p])
                    __builtin_trap();
        }
    }
    if (m.Chunks && !m.BankChunk.empty() && back.BankChunk != m.BankChunk)
        __builtin_trap();
    return 0;
}
