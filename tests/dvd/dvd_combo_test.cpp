#include "dvd/dvd_combo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dvd/dvd_test_support.h"

namespace zembra::dvd {
namespace {

using testing::TestDvd;
namespace fs = std::filesystem;

// A stand-in for /dev, the kernel's CD-ROM table and the mount table.
struct FakeSystem {
  FakeSystem() {
    fs::create_directories(temp.path() / "dev");
    sources.cdrom_info = temp.File("cdrom_info");
    sources.device_folder = temp.File("dev");
    sources.mounts = temp.File("mounts");
    std::ofstream(sources.mounts);
  }
  void Drives(const std::string& names, const std::string& reads_dvd) {
    std::ofstream(sources.cdrom_info) << "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\n"
                                      << "drive name:\t" << names << "\n"
                                      << "drive speed:\t24\t24\t24\n"
                                      << "Can read DVD:\t" << reads_dvd << "\n";
  }
  void Mount(const std::string& line) { std::ofstream(sources.mounts, std::ios::app) << line; }
  std::string Dev(const std::string& name) const { return temp.File("dev/" + name); }

  testing::TempFolder temp;
  TDvdCombo::Sources sources;
};

std::string DataImage(const testing::TempFolder& temp) {
  fs::create_directories(temp.path() / "data" / "VIDEO_TS");
  std::ofstream(temp.File("data/VIDEO_TS/readme.txt")) << "no VIDEO_TS.IFO here\n";
  const std::string image = temp.File("data.iso");
  EXPECT_EQ(std::system(("genisoimage -quiet -V DATA -o '" + image + "' '" + temp.File("data") +
                         "' > /dev/null 2>&1")
                            .c_str()),
            0)
      << "genisoimage is needed";
  return image;
}

TEST(DvdCombo, ListsTheDrivesHoldingAVideoDvd) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  FakeSystem system;
  system.Drives("sr3\tsr2\tsr1\tsr0", "1\t1\t1\t0");
  fs::copy_file(TestDvd().image, system.Dev("sr1"));         // a video DVD
  fs::copy_file(DataImage(system.temp), system.Dev("sr2"));  // a data disc
  // sr3: a drive without a disc. sr0: a CD-only drive, with a video DVD image.
  fs::copy_file(TestDvd().image, system.Dev("sr0"));

  TDvdCombo combo(system.sources);
  combo.Rebuild();
  ASSERT_EQ(combo.Items().size(), 1U);
  EXPECT_EQ(combo.Items()[0].device, system.Dev("sr1"));
  EXPECT_EQ(combo.Items()[0].volume_label, testing::kTestDvdLabel);
  EXPECT_EQ(combo.Items()[0].text, system.Dev("sr1") + " [" + testing::kTestDvdLabel + "]");
  EXPECT_EQ(combo.ItemIndex(), 0);
  EXPECT_EQ(combo.Drive(), system.Dev("sr1"));
}

TEST(DvdCombo, ListsMountedDiscsWithVideoTsInfo) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  FakeSystem system;
  system.Drives("sr0", "1");  // empty
  const std::string data_image = DataImage(system.temp);
  const std::string mounted = system.temp.File("My Disc");
  testing::CopyFolder(TestDvd().folder, mounted);
  system.Mount("/dev/sda1 / ext4 rw,relatime 0 0\n");
  system.Mount(TestDvd().image + " " + system.temp.File("My\\040Disc") + " udf ro 0 0\n");
  system.Mount(data_image + " " + system.temp.File("data") + " iso9660 ro 0 0\n");
  // A folder with a video DVD, but not on a disc file system.
  system.Mount("/dev/sdb1 " + TestDvd().folder + " ext4 rw 0 0\n");

  TDvdCombo combo(system.sources);
  combo.Rebuild();
  ASSERT_EQ(combo.Items().size(), 1U);
  EXPECT_EQ(combo.Items()[0].device, mounted);
  EXPECT_EQ(combo.Items()[0].text, mounted + " [" + testing::kTestDvdLabel + "]");
}

TEST(DvdCombo, NothingToListLeavesNothingSelected) {
  FakeSystem system;
  system.Drives("sr0", "1");
  TDvdCombo combo(system.sources);
  combo.Rebuild();
  EXPECT_TRUE(combo.Items().empty());
  EXPECT_EQ(combo.ItemIndex(), -1);
  EXPECT_EQ(combo.Drive(), "");
  combo.SetItemIndex(0);
  EXPECT_EQ(combo.ItemIndex(), -1);
}

TEST(DvdCombo, TheVolumeLabelComesFromTheDisc) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  EXPECT_EQ(TDvdCombo::VolumeLabel(TestDvd().image), testing::kTestDvdLabel);
  EXPECT_EQ(TDvdCombo::VolumeLabel(TestDvd().folder), "");
  EXPECT_EQ(TDvdCombo::VolumeLabel("/nonexistent"), "");
}

}  // namespace
}  // namespace zembra::dvd
