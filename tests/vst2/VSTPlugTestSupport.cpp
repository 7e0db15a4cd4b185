#include "VSTPlugTestSupport.h"

#include <cstring>
#include <ostream>

std::ostream& operator<<(std::ostream& s, const TTraceLine& line)
{
    return s << '"' << line.Text << "\" level " << line.Level << " indent " << line.Indent;
}

std::vector<std::string> TTraceRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const TTraceLine& line : Lines)
        texts.push_back(line.Text);
    return texts;
}

int TTraceRecorder::IndentSum() const
{
    int sum = 0;
    for (const TTraceLine& line : Lines)
        sum += line.Indent;
    return sum;
}

bool TTraceRecorder::Has(const std::string& text) const
{
    for (const TTraceLine& line : Lines) {
        if (line.Text == text)
            return true;
    }
    return false;
}

std::string FixturePath(const std::string& name)
{
    std::string path = std::string(PELORIN_BUILD_DIR) + "/fixtures/" + name;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

TPluginDescription MakeDescription(const std::string& path, std::int32_t loadFlags, std::int32_t shellId,
                                   std::int32_t kind)
{
    TPluginDescription d{};
    d.Kind = kind;
    std::strncpy(d.Name, "from the host", sizeof d.Name - 1);
    std::strncpy(d.FileName, path.c_str(), sizeof d.FileName - 1);
    d.LoadFlags = loadFlags;
    d.ShellId = shellId;
    return d;
}

TFixture::TFixture(HMODULE module)
{
    if (module == nullptr)
        return;
    Probe = reinterpret_cast<TFixtureProbeProc>(reinterpret_cast<void*>(GetProcAddress(module, "FixtureProbe")))();
    CallHost = reinterpret_cast<TFixtureCallHostProc>(reinterpret_cast<void*>(GetProcAddress(module, "FixtureCallHost")));
    Set = reinterpret_cast<TFixtureSetProc>(reinterpret_cast<void*>(GetProcAddress(module, "FixtureSet")));
}

std::vector<TFixtureCall> TFixture::CallsSince(int mark) const
{
    std::vector<TFixtureCall> calls;
    for (int i = mark; i < Probe->CallCount && i < kFixtureMaxCalls; ++i)
        calls.push_back(Probe->Calls[i]);
    return calls;
}

std::vector<VstInt32> TFixture::OpcodesSince(int mark) const
{
    std::vector<VstInt32> opcodes;
    for (const TFixtureCall& call : CallsSince(mark))
        opcodes.push_back(call.Opcode);
    return opcodes;
}

TPreloaded::TPreloaded(const std::string& path) : Path(path), Module(LoadLibraryA(path.c_str()))
{
    if (!Module)
        ADD_FAILURE() << "cannot load " << path;
}

TLoaded::TLoaded(const std::string& fixtureName, std::int32_t loadFlags, std::int32_t shellId)
{
    const TPluginDescription d = MakeDescription(FixturePath(fixtureName), loadFlags, shellId);
    Plugin = std::make_unique<TVSTPlugin>(&Host, &d, kSettings, shellId);
    Fixture = std::make_unique<TFixture>(Plugin->Module.Get());
    if (!Plugin->IsValid || Fixture->Probe == nullptr)
        ADD_FAILURE() << fixtureName << " did not load";
}
