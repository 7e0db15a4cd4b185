// The command-line host's editor window: embedding the bridge's editor
// window, closing it after a while, and a picture of the GDI test editor
// taken from the screen and checked for the plugin's colours.

#include "HostRunner.h"
#include "PngImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;

std::string Plugin(const std::string& name) { return "\"" + kBuild + "/fixtures/" + name + "\""; }

std::string Temp(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "pelorin-editor-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(CommandLineHostEditor, EmbedsTheBridgesEditorWindowAndClosesAfterItsTime)
{
    const struct {
        const char* Fixture;
        const char* Size;
    } cases[] = {{"vst2_editor.dll", "(320 x 200)"}, {"vst2_editor_gl.dll", "(300 x 180)"}};
    for (const auto& c : cases) {
        const THostRun r = RunCommandLineHost(kBuild, "--quiet --editor --editor-seconds 0.5 " + Plugin(c.Fixture));
        ASSERT_EQ(r.ExitCode, 0u) << c.Fixture << "\n" << r.Out;
        EXPECT_TRUE(Has(r.Out, std::string(c.Size) + ", embedded in 0x")) << r.Out;
        EXPECT_TRUE(Has(r.Out, "(parent confirmed)")) << r.Out;
        EXPECT_TRUE(Has(r.Out, "Editor closed: window released")) << r.Out;
    }
    const THostRun none = RunCommandLineHost(kBuild, "--quiet --editor --editor-seconds 0.5 " + Plugin("vst2_gain.dll"));
    EXPECT_EQ(none.ExitCode, 0u) << none.Out;
    EXPECT_TRUE(Has(none.Out, "Editor: none (the plugin has no editor)")) << none.Out;

    const THostRun noPicture = RunCommandLineHost(kBuild, "--quiet --editor-seconds 0.5 --screenshot \"" +
                                                              Temp("none.png") + "\" " + Plugin("vst2_gain.dll"));
    EXPECT_NE(noPicture.ExitCode, 0u) << noPicture.Out;
    EXPECT_TRUE(Has(noPicture.Out, "no editor to take a picture of")) << noPicture.Out;
    const THostRun badTime = RunCommandLineHost(kBuild, "--editor-seconds -1 " + Plugin("vst2_editor.dll"));
    EXPECT_NE(badTime.ExitCode, 0u);
    EXPECT_TRUE(Has(badTime.Out, "bad value \"-1\" for --editor-seconds")) << badTime.Out;
}

TEST(CommandLineHostEditor, ScreenshotShowsTheGdiEditorsColoursInPlace)
{
    const std::string path = Temp("gdi.png");
    DeleteFileA(path.c_str());
    const THostRun r = RunCommandLineHost(kBuild, "--quiet --no-embed --editor-seconds 0.5 --screenshot \"" + path +
                                                      "\" " + Plugin("vst2_editor.dll"));
    ASSERT_EQ(r.ExitCode, 0u) << r.Out;
    EXPECT_TRUE(Has(r.Out, "(320 x 200), shown on its own")) << r.Out;
    EXPECT_TRUE(Has(r.Out, "Screenshot: " + path + " (320 x 200)")) << r.Out;

    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    TRgbaImage image;
    std::string error;
    ASSERT_TRUE(DecodePng(bytes, image, error)) << error;
    ASSERT_EQ(image.Width, 320);
    ASSERT_EQ(image.Height, 200);
    // The editor paints a green band 40 pixels high over a red left and a
    // blue right half; look at the middle of each and next to the borders.
    const struct {
        int X, Y;
        std::uint32_t Rgb;
    } spots[] = {
        {160, 20, 0x00FF00}, {2, 2, 0x00FF00},     {317, 37, 0x00FF00},  // band
        {80, 120, 0xFF0000}, {2, 197, 0xFF0000},   {157, 42, 0xFF0000},  // left half
        {240, 120, 0x0000FF}, {317, 197, 0x0000FF}, {162, 42, 0x0000FF}, // right half
    };
    for (const auto& spot : spots)
        EXPECT_EQ(image.Rgb(spot.X, spot.Y), spot.Rgb) << "at " << spot.X << ", " << spot.Y;
    DeleteFileA(path.c_str());
}
