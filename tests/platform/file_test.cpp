#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/test_files.h"

TEST(FileLayer, MissingFileIsFileNotFound) {
  TempDir dir;
  try {
    File::OpenRead(dir / "missing.bin");
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File not found");
    EXPECT_EQ(e.code(), kIoFileNotFound);
  }
}
