#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MappedFile.h"
#include "TestSupport.h"

namespace {

struct FileCase {
  const char* name;
  const char* contents;  // NULL: no file
  bool wantOpen;
  uint32_t wantSize;
};
class Mapping : public ::testing::TestWithParam<FileCase> {};
TEST_P(Mapping, MapsWholeNonEmptyFiles) {
  const FileCase& k = GetParam();
  std::string path = qeltest::TempFolder() + "\\data.bin";
  DeleteFileA(path.c_str());
  if (k.contents) qeltest::WriteFileBytes(path, k.contents);
  MappedFile file;
  EXPECT_EQ(file.Open(path.c_str()), k.wantOpen);
  EXPECT_EQ(file.GetSize(), k.wantSize);
  if (k.wantOpen) {
    ASSERT_NE(file.GetView(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.GetView()), file.GetSize()), k.contents);
  }
  EXPECT_FALSE(file.Open(path.c_str()));  // one attempt only
}
INSTANTIATE_TEST_SUITE_P(MappedFile, Mapping,
                         ::testing::Values(FileCase{"Missing", nullptr, false, 0}, FileCase{"Empty", "", false, 0},
                                           FileCase{"TenBytes", "0123456789", true, 10}),
                         [](const ::testing::TestParamInfo<FileCase>& info) { return info.param.name; });

TEST(MappedFile, NullPathFails) {
  MappedFile file;
  EXPECT_FALSE(file.Open(nullptr));
  EXPECT_EQ(file.GetView(), nullptr);
}

// The size field holds 32 bits: a file of 4 GiB and more is refused, not mapped short.
TEST(MappedFile, RefusesFilesOf4GiBOrMore) {
  std::string path = qeltest::TempFolder() + "\\huge.bin";
  {
    UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f);
    DWORD sparse = 0;
    DeviceIoControl(f.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &sparse, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 0x100000000LL + 10;
    ASSERT_TRUE(SetFilePointerEx(f.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(f.get()));
  }
  {
    MappedFile file;
    EXPECT_FALSE(file.Open(path.c_str()));
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.GetView(), nullptr);
  }
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

}  // namespace
