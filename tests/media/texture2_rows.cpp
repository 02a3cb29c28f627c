// The loader's two-step read of large files through the default callbacks: rows read
// straight into place must give the same bitmap as the in-memory path, for every row
// layout, and the files whose readers need more than the head must still load whole.
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/media/texture_fixtures.h"

namespace {

class TextureRows : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    dir_ = std::filesystem::temp_directory_path() / ("korv-tex2rows-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Loads file from disk (default callbacks) and from memory; both must agree.
  void Compare(const char *name, const Bytes &file, int error = 0) {
    SCOPED_TRACE(name);
    const std::string path = (dir_ / name).string();
    {
      std::ofstream out(path, std::ios::binary);
      out.write((const char *)file.data(), (std::streamsize)file.size());
    }
    MemFiles::Install();
    BitmapPtr memory(Load(file));
    const int memoryError = errGetLastError();
    txInit(nullptr);
    BitmapPtr disk(txLoad(path.c_str()));
    if (error) {
      EXPECT_FALSE(disk);
      EXPECT_EQ(errGetLastError(), error);
      EXPECT_FALSE(memory);
      EXPECT_EQ(memoryError, error);
      return;
    }
    ASSERT_TRUE(memory && disk);
    EXPECT_EQ(disk->width, memory->width);
    EXPECT_EQ(disk->height, memory->height);
    EXPECT_EQ(disk->bits, memory->bits);
    EXPECT_EQ(disk->subtype, memory->subtype);
    EXPECT_TRUE(Level0(disk.p) == Level0(memory.p));
  }
  std::filesystem::path dir_;
};

TEST_F(TextureRows, LargeFilesLoadAlikeFromDiskAndMemory) {
  const int w = 640, h = 601;  // 1.15 MB at 24 bits, an odd number of rows
  const Bytes rgb = Ramp((size_t)w * h * 3, 7);
  Compare("bottomup.tga", MakeTga(w, h, 24, 2, 0x00, rgb));
  Compare("topdown.tga", MakeTga(w, h, 24, 2, 0x20, rgb));
  Compare("id.tga", MakeTga(w, h, 24, 2, 0x00, rgb, Bytes(37, 'i')));
  Compare("grey.tga", MakeTga(1200, 1001, 8, 3, 0x00, Ramp((size_t)1200 * 1001)));
  Compare("bottomup.bmp", MakeBmp(w, h, 24, rgb));
  Compare("topdown.bmp", MakeBmp(w, h, 24, rgb, true));
  // Padded rows (641 x 3 = 1923 bytes, stored in 1924): the rest is read as it lies.
  Compare("padded.bmp", MakeBmp(641, h, 24, Ramp((size_t)641 * h * 3)));
  // Readers that need more than the head: a colour map, a colour table beyond it,
  // and another format.
  Bytes map(256 * 3);
  for (size_t i = 0; i < map.size(); ++i) map[i] = (uint8_t)(i * 7);
  Compare("mapped.tga", MakeTga(1200, 1001, 8, 1, 0x00, Ramp((size_t)1200 * 1001), {}, map, 256));
  Compare("palette.bmp", MakeBmp(1200, 1001, 8, Ramp((size_t)1200 * 1001), false, Bytes(70000, 3), 17500));
  // Header lines read from the head, rows into place; the rows of a DICOM file whose
  // pixel data end it, too; planes, and elements after the pixel data, read whole.
  Compare("big.pnm", MakePnm("P6\n640 601\n255\n", rgb));
  Compare("grey.pnm", MakePnm("P5\n# " + std::string(300, 'c') + "\n1200 1001\n# more\n255\n", Ramp((size_t)1200 * 1001)));
  Compare("grey.dcm", MakeDicom(1, 1001, 1200, Ramp((size_t)1200 * 1001)));
  Compare("colour.dcm", MakeDicom(3, h, w, rgb));
  Bytes planar;
  DicomShort(planar, 0x0028, 0x0006, "US", U16Value(1));
  Compare("planes.dcm", MakeDicom(3, h, w, rgb, planar));
  Bytes trailing = MakeDicom(1, 1001, 1200, Ramp((size_t)1200 * 1001));
  DicomShort(trailing, 0x0028, 0x0010, "US", U16Value(1000));  // after the pixel data: rows 1000
  Compare("trailing.dcm", trailing);
  // A file shorter than its header says.
  Bytes cut = MakeTga(w, h, 24, 2, 0x00, rgb);
  cut.resize(cut.size() - 5);
  Compare("cut.tga", cut, 1002);
  Bytes cutPnm = MakePnm("P6\n640 601\n255\n", rgb);
  cutPnm.pop_back();
  Compare("cut.pnm", cutPnm, 1002);
  Bytes cutDicom = MakeDicom(1, 1001, 1200, Ramp((size_t)1200 * 1001));
  cutDicom.pop_back();
  Compare("cut.dcm", cutDicom, 1002);
}

}  // namespace
