// The command-line host's editor window: embedding the bridge's editor
// window, closing it after a while, and a picture of the GDI test editor
// taken from the screen and checked for the plugin's colours.

#include "HostRunner.h"
#include "PngImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

TEST(CommandLineHostEditor, EmbedsTheBridgesEditorWindowFollowsItsSizeAndClosesAfterItsTime)
{
    const struct {
        const char* Fixture;
        const char* Seconds;
        std::vector<std::string> Lines; // in this order
    } cases[] = {
        {"vst2_editor.dll", "0.5", {"(320 x 200), embedded in 0x", "(parent confirmed)", "Editor closed: window released"}},
        {"vst2_editor_gl.dll", "0.5", {"(300 x 180), embedded in 0x", "(parent confirmed)", "Editor closed: window released"}},
        {"vst2_editor_resizing.dll", "2.5",
         {"(320 x 200), embedded in 0x", "Editor resized: 400 x 260", "Editor resized: 360 x 240",
          "Editor closed: window released"}},
    };
    for (const auto& c : cases) {
        const THostRun r =
            RunCommandLineHost(kBuild, std::string("--quiet --editor --editor-seconds ") + c.Seconds + " " + Plugin(c.Fixture));
        ASSERT_EQ(r.ExitCode, 0u) << c.Fixture << "\n" << r.Out;
        std::size_t at = 0;
        for (const std::string& line : c.Lines) {
            at = r.Out.find(line, at);
            ASSERT_NE(at, std::string::npos) << c.Fixture << ": no \"" << line << "\" in order in\n" << r.Out;
        }
        EXPECT_EQ(r.Out.find("Editor resized", at), std::string::npos) << "one line per size change\n" << r.Out;
    }
    // Without an editor there is nothing to show, and no picture to take.
    const THostRun none = RunCommandLineHost(kBuild, "--quiet --editor-seconds 0.5 --screenshot \"" +
                                                         Temp("none.png") + "\" " + Plugin("vst2_gain.dll"));
    EXPECT_NE(none.ExitCode, 0u) << none.Out;
    EXPECT_TRUE(Has(none.Out, "Editor: none (the plugin has no editor)")) << none.Out;
    EXPECT_TRUE(Has(none.Out, "no editor to take a picture of")) << none.Out;
    const THostRun badTime = RunCommandLineHost(kBuild, "--editor-seconds -1 " + Plugin("vst2_editor.dll"));
    EXPECT_NE(badTime.ExitCode, 0u);
    EXPECT_TRUE(Has(badTime.Out, "bad value \"-1\" for --editor-seconds")) << badTime.Out;
}

TEST(CommandLineHostEditor, ScreenshotShowsTheGdiEditorsColoursInPlace)
{
    const struct {
        const char* Fixture;
        const char* Seconds;
        int Width, Height; // at the time of the picture
    } cases[] = {{"vst2_editor.dll", "0.5", 320, 200}, {"vst2_editor_resizing.dll", "2.5", 360, 240}};
    for (const auto& c : cases) {
        const std::string path = Temp("gdi.png");
        DeleteFileA(path.c_str());
        const THostRun r = RunCommandLineHost(kBuild, std::string("--quiet --no-embed --editor-seconds ") + c.Seconds +
                                                          " --screenshot \"" + path + "\" " + Plugin(c.Fixture));
        ASSERT_EQ(r.ExitCode, 0u) << r.Out;
        EXPECT_TRUE(Has(r.Out, "(320 x 200), shown on its own")) << r.Out;
        const std::string size = "(" + std::to_string(c.Width) + " x " + std::to_string(c.Height) + ")";
        EXPECT_TRUE(Has(r.Out, "Screenshot: " + path + " " + size)) << r.Out;

        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        TRgbaImage image;
        std::string error;
        ASSERT_TRUE(DecodePng(bytes, image, error)) << c.Fixture << ": " << error;
        ASSERT_EQ(image.Width, c.Width);
        ASSERT_EQ(image.Height, c.Height);
        // The editor paints a green band 40 pixels high over a red left and a
        // blue right half; look at the middle of each and next to its borders.
        const int w = c.Width, h = c.Height;
        const struct {
            int X, Y;
            std::uint32_t Rgb;
        } spots[] = {
            {w / 2, 20, 0x00FF00},          {2, 2, 0x00FF00},         {w - 3, 37, 0x00FF00},     // band
            {w / 4, (h + 40) / 2, 0xFF0000}, {2, h - 3, 0xFF0000},     {w / 2 - 3, 42, 0xFF0000}, // left
            {3 * w / 4, (h + 40) / 2, 0x0000FF}, {w - 3, h - 3, 0x0000FF}, {w / 2 + 2, 42, 0x0000FF}, // right
        };
        for (const auto& spot : spots)
            EXPECT_EQ(image.Rgb(spot.X, spot.Y), spot.Rgb) << c.Fixture << " at " << spot.X << ", " << spot.Y;
        DeleteFileA(path.c_str());
    }
}
