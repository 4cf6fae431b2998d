// The info-tip picture: decoded from the program's resources, and bad JPEG data refused
// without a crash.
#include <gtest/gtest.h>

#include <vector>

#include "win/common/Handle.h"
#include "win/common/ResourceData.h"
#include "win/common/WideText.h"
#include "win/controls/JpegImage.h"

TEST(JpegPicture, InfoTipResourceAndBadData) {
  UniqueModule program(::LoadLibraryExW((ExeDirectory() + L"RuvoSearch.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(program);
  TJpegImage picture;
  ASSERT_TRUE(picture.LoadFromResource(program.get(), L"INFOTIP"));
  EXPECT_EQ(picture.Width(), 810);
  EXPECT_EQ(picture.Height(), 480);
  EXPECT_EQ(picture.Pixel(0, 0) >> 24, 0xFFu);  // opaque

  const auto bytes = ResourceData(program.get(), L"INFOTIP", RT_RCDATA);
  const std::vector<std::byte> whole(bytes.begin(), bytes.end());
  const std::vector<std::byte> garbage(4096, std::byte{0x5A});
  struct Case {
    const char* what;
    const void* data;
    std::size_t size;
  } cases[] = {
      {"nothing", nullptr, 0},
      {"garbage", garbage.data(), garbage.size()},
      {"header only", whole.data(), 200},
      {"first half", whole.data(), whole.size() / 2},
  };
  for (const auto& c : cases) {
    TJpegImage bad;
    // A truncated stream still decodes (libjpeg pads it with grey); garbage and a missing
    // image do not. Either way the call returns and the picture is whole or empty.
    const bool ok = bad.LoadFromMemory(c.data, c.size);
    EXPECT_EQ(ok, !bad.Empty()) << c.what;
    if (ok) {
      EXPECT_EQ(bad.Width(), 810) << c.what;
    }
  }
  TJpegImage none;
  EXPECT_FALSE(none.LoadFromMemory(garbage.data(), garbage.size()));
  EXPECT_FALSE(none.LoadFromResource(program.get(), L"NO_SUCH_PICTURE"));
  EXPECT_TRUE(none.Empty());
}
