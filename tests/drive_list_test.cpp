#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drive_list.h"

namespace {

using Drives = std::vector<std::string>;

// A mount table as a desktop system has it: kernel file systems, the root, a USB stick and a DVD
// mounted by the desktop, a share over NFS and one over SMB, a stick whose label holds spaces, a
// manual mount under /mnt, and the same NFS share mounted twice.
constexpr const char* kMountTable =
    "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
    "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
    "tmpfs /run tmpfs rw,nosuid,nodev 0 0\n"
    "/dev/nvme0n1p1 /boot/efi vfat rw,relatime 0 0\n"
    "/dev/sdb1 /media/ann/STICK vfat rw,nosuid,nodev 0 0\n"
    "/dev/sr0 /run/media/ann/CDROM iso9660 ro,nosuid,nodev 0 0\n"
    "server:/export/photos /srv/photos nfs4 rw,relatime 0 0\n"
    "//nas/share /home/ann/nas cifs rw,relatime 0 0\n"
    "/dev/sdc1 /media/ann/MY\\040PHOTOS exfat rw 0 0\n"
    "/dev/sdd1 /mnt/backup ext4 rw 0 0\n"
    "server:/export/photos /srv/photos nfs4 rw,relatime 0 0\n"
    "ann@host:/pics /home/ann/remote fuse.sshfs rw 0 0\n"
    "truncated-line-without-fields\n";

TEST(DriveListTest, ListsRootHomeThenMediaAndSharesOfTheMountTable) {
    EXPECT_EQ(ListDrives(kMountTable, "/home/ann/"),
              (Drives{"/", "/home/ann", "/media/ann/STICK", "/run/media/ann/CDROM", "/srv/photos", "/home/ann/nas",
                      "/media/ann/MY PHOTOS", "/mnt/backup", "/home/ann/remote"}));
    // No home folder (or "/" as home): the root alone stands for it; an empty table lists no media.
    EXPECT_EQ(ListDrives("", ""), Drives{"/"});
    EXPECT_EQ(ListDrives("", "/"), Drives{"/"});
    EXPECT_EQ(ListDrives("/dev/sda1 /media ext4 rw 0 0\n", "relative/home"), Drives{"/"});  // /media itself is no medium
}

TEST(DriveListTest, EntriesAndTheDriveHoldingADirectory) {
    EXPECT_EQ(DriveEntryText("/media/ann/MY PHOTOS"), "[-/media/ann/MY PHOTOS-]");
    EXPECT_EQ(DriveOfEntry("[-/media/ann/MY PHOTOS-]"), "/media/ann/MY PHOTOS");
    EXPECT_EQ(DriveOfEntry("[-/-]"), "/");
    EXPECT_EQ(DriveOfEntry("[subdir]"), "");
    EXPECT_EQ(DriveOfEntry("[--]"), "");

    const Drives drives = ListDrives(kMountTable, "/home/ann");
    EXPECT_EQ(DriveHolding("/home/ann/nas/2020", drives), "/home/ann/nas");  // the longest wins
    EXPECT_EQ(DriveHolding("/home/ann/pictures", drives), "/home/ann");
    EXPECT_EQ(DriveHolding("/home/anna", drives), "/");  // a prefix of the name is not a parent
    EXPECT_EQ(DriveHolding("/media/ann/STICK", drives), "/media/ann/STICK");
    EXPECT_EQ(DriveHolding("relative", drives), "");
}

TEST(DriveListTest, ChangeDirectoryTakesDriveEntriesAndRelativeNames) {
    const std::string start = CurrentDirectory();
    const std::filesystem::path temp = std::filesystem::canonical(std::filesystem::temp_directory_path());
    const std::filesystem::path folder = temp / "drive_list_test dir";
    std::filesystem::create_directories(folder / "sub");

    const std::string driveName = '-' + folder.string().append("-");  // a drive entry without its brackets
    EXPECT_TRUE(ChangeDirectory(driveName));
    EXPECT_EQ(CurrentDirectory(), folder.string());
    EXPECT_TRUE(ChangeDirectory("sub"));
    EXPECT_EQ(CurrentDirectory(), (folder / "sub").string());
    EXPECT_FALSE(ChangeDirectory("no such folder"));
    EXPECT_FALSE(ChangeDirectory(""));
    EXPECT_EQ(CurrentDirectory(), (folder / "sub").string());  // a failure leaves it where it was
    EXPECT_TRUE(ChangeDirectory(".."));
    EXPECT_EQ(CurrentDirectory(), folder.string());

    ASSERT_TRUE(ChangeDirectory(start));
    std::filesystem::remove_all(folder);
}

}  // namespace
