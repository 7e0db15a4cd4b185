// PNG pictures: what the command-line host writes reads back pixel for pixel,
// and what is no picture is refused.

#include "PngImage.h"

#include <gtest/gtest.h>

TEST(PngImage, WrittenPicturesReadBackUnchanged)
{
    TRgbaImage image;
    image.Width = 7;
    image.Height = 3;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            image.Pixels.insert(image.Pixels.end(), {static_cast<std::uint8_t>(x * 30), static_cast<std::uint8_t>(y * 80),
                                                     static_cast<std::uint8_t>(x + y), 255});
    const std::vector<std::uint8_t> png = EncodePng(image);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    TRgbaImage back;
    std::string error;
    ASSERT_TRUE(DecodePng(png, back, error)) << error;
    EXPECT_EQ(back.Width, 7);
    EXPECT_EQ(back.Height, 3);
    EXPECT_EQ(back.Pixels, image.Pixels);
    EXPECT_EQ(back.Rgb(6, 2), (180u << 16) | (160u << 8) | 8u);
    EXPECT_EQ(back.Rgb(7, 0), 0u) << "outside the picture";
    EXPECT_EQ(back.Rgb(-1, 0), 0u);
}

TEST(PngImage, InconsistentImagesAndNonPicturesAreRefused)
{
    TRgbaImage empty;
    EXPECT_TRUE(EncodePng(empty).empty());
    TRgbaImage shortPixels;
    shortPixels.Width = 4;
    shortPixels.Height = 4;
    shortPixels.Pixels.assign(10, 0);
    EXPECT_TRUE(EncodePng(shortPixels).empty());

    const std::vector<std::vector<std::uint8_t>> bad = {
        {},
        {'R', 'I', 'F', 'F'},
        {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}, // cut after the signature
    };
    for (const auto& bytes : bad) {
        TRgbaImage image;
        std::string error;
        EXPECT_FALSE(DecodePng(bytes, image, error)) << bytes.size();
        EXPECT_NE(error.find("not a PNG file"), std::string::npos);
        EXPECT_EQ(image.Width, 0);
    }
}
