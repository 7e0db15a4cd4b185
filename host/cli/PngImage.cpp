#include "PngImage.h"

// The implementations of Debian's header-only stb image reader and writer
// live in this unit.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <climits>
#include <cstring>

namespace {

void Append(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

} // namespace

std::uint32_t TRgbaImage::Rgb(std::int32_t X, std::int32_t Y) const
{
    if (X < 0 || Y < 0 || X >= Width || Y >= Height)
        return 0;
    const std::size_t at = (static_cast<std::size_t>(Y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(X)) * 4;
    if (at + 3 >= Pixels.size())
        return 0;
    return (static_cast<std::uint32_t>(Pixels[at]) << 16) | (static_cast<std::uint32_t>(Pixels[at + 1]) << 8) |
           Pixels[at + 2];
}

std::vector<std::uint8_t> EncodePng(const TRgbaImage& Image)
{
    std::vector<std::uint8_t> out;
    if (Image.Width <= 0 || Image.Height <= 0 || Image.Width > INT_MAX / 4)
        return out;
    const std::size_t expected = static_cast<std::size_t>(Image.Width) * static_cast<std::size_t>(Image.Height) * 4;
    if (Image.Pixels.size() != expected)
        return out;
    if (stbi_write_png_to_func(&Append, &out, Image.Width, Image.Height, 4, Image.Pixels.data(), Image.Width * 4) == 0)
        out.clear();
    return out;
}

bool DecodePng(const std::vector<std::uint8_t>& Bytes, TRgbaImage& Image, std::string& Error)
{
    Image = TRgbaImage{};
    if (Bytes.empty() || Bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        Error = "not a PNG file";
        return false;
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(Bytes.data(), static_cast<int>(Bytes.size()), &width, &height, &channels, 4);
    if (pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        Error = std::string("not a PNG file") + (reason != nullptr ? std::string(" (") + reason + ")" : "");
        return false;
    }
    Image.Width = width;
    Image.Height = height;
    Image.Pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    stbi_image_free(pixels);
    return true;
}
