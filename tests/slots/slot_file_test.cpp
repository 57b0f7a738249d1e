// The slot files: the 28-byte format, the scan, saves that never lose the
// fighter already in a slot, and files this game did not write.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "slots/slot_test_support.h"

namespace kotodama::test {
namespace {

using namespace slotkit;
using Fault = FaultyStorage::Fault;

TEST(SlotFile, RecordIsLittleEndianWithTheBytesAfterTheNul) {
  const Character hero = fighter("hero", 0x01020304, -2, 250, 32);
  const std::string bytes = bytesOf(hero);
  ASSERT_EQ(bytes.size(), 28u);
  EXPECT_EQ(bytes.substr(0, 12), std::string("hero\0ZZZZZZZ", 12));
  EXPECT_EQ(bytes.substr(12, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(bytes.substr(16, 4), std::string("\xfe\xff\xff\xff", 4));
  EXPECT_EQ(bytes.substr(20, 4), std::string("\xfa\x00\x00\x00", 4));
  EXPECT_EQ(bytes.substr(24, 4), std::string("\x20\x00\x00\x00", 4));
}

TEST(SlotFile, SaveAndLoadGiveBackTheSameTwentyEightBytes) {
  InScratchFolder folder;
  const Character hero = fighter("hero", 316, 250, 230, 32);
  ASSERT_EQ(writeSlot(2, hero, systemSlotStorage()), SlotWrite::Written);
  EXPECT_EQ(readFile("data3.bin"), bytesOf(hero));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"data3.bin"});  // no copy left behind

  Character loaded = fighter("old", 1, 1, 1, 1);
  ASSERT_EQ(readSlot(2, loaded, systemSlotStorage()), SlotRead::Loaded);
  EXPECT_TRUE(sameRecord(loaded, hero));
  EXPECT_EQ(std::memcmp(&loaded, &hero, sizeof hero), 0);
}

TEST(SlotFile, ScanReadsTheWorkingFoldersSlotNIntoFighterNPlusOne) {
  const Character marker = fighter("untouched", 7, 7, 7, 7);
  Fighters fighters;
  fighters.fill(marker);
  {
    InScratchFolder folder;
    writeFile("data2.bin", bytesOf(fighter("b", 2, 20, 200, 2000)));
    writeFile("data6.bin", bytesOf(fighter("f", 6, 60, 600, 6000)));
    EXPECT_EQ(scanSlots(fighters, systemSlotStorage()),
              (SlotScan{SlotState::Empty, SlotState::Full, SlotState::Empty, SlotState::Empty, SlotState::Empty,
                        SlotState::Full}));
    for (int i : {0, 1, 3, 4, 5}) EXPECT_TRUE(sameRecord(fighters[i], marker)) << i;
    EXPECT_TRUE(sameRecord(fighters[2], fighter("b", 2, 20, 200, 2000)));
    EXPECT_TRUE(sameRecord(fighters[6], fighter("f", 6, 60, 600, 6000)));
  }
  InScratchFolder other;  // another folder, other slots
  writeFile("data4.bin", bytesOf(fighter("four", 4, 4, 4, 4)));
  EXPECT_EQ(scanSlots(fighters, systemSlotStorage()),
            (SlotScan{SlotState::Empty, SlotState::Empty, SlotState::Empty, SlotState::Full, SlotState::Empty,
                      SlotState::Empty}));
}

// Exactly 28 bytes with a NUL in the name field is a fighter, taken byte for
// byte whatever its statistics; anything else fills its slot (the scanned
// record is the file's bytes, then zeros) but is never loaded.
TEST(SlotFile, OnlyTwentyEightBytesWithANamedFighterAreLoaded) {
  const std::string good = bytesOf(fighter("good", 500, 100, 100, 100));
  std::string noNul = good;
  noNul.replace(0, 12, "ABCDEFGHIJKL");
  std::string eleven = good;
  eleven.replace(0, 12, std::string("ABCDEFGHIJK\0", 12));
  const struct {
    const char* what;
    std::string bytes;
    bool fighter;
  } cases[] = {
      {"a saved fighter", good, true},
      {"eleven name bytes", eleven, true},
      {"zero statistics", bytesOf(fighter("zero", 0, 0, 0, 0)), true},
      {"negative statistics", bytesOf(fighter("neg", -5, -300, -1, -99)), true},
      {"extreme statistics", bytesOf(fighter("huge", INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN)), true},
      {"zero length", "", false},
      {"5 bytes", good.substr(0, 5), false},
      {"27 bytes", good.substr(0, 27), false},
      {"29 bytes", good + "x", false},
      {"100 bytes", good + std::string(72, '\x7f'), false},
      {"no NUL in the name", noNul, false},
  };
  for (const auto& c : cases) {
    InScratchFolder folder;
    writeFile("data5.bin", c.bytes);
    Fighters fighters;
    fighters.fill(fighter("old", 9, 9, 9, 9));
    EXPECT_EQ(scanSlots(fighters, systemSlotStorage())[4], c.fighter ? SlotState::Full : SlotState::Damaged) << c.what;
    std::string scanned = c.bytes.substr(0, 28);
    scanned.resize(28, '\0');
    EXPECT_EQ(bytesOf(fighters[5]), scanned) << c.what;

    Character record = fighter("mine", 1, 2, 3, 4);
    EXPECT_EQ(readSlot(4, record, systemSlotStorage()), c.fighter ? SlotRead::Loaded : SlotRead::Damaged) << c.what;
    EXPECT_EQ(bytesOf(record), c.fighter ? c.bytes : bytesOf(fighter("mine", 1, 2, 3, 4))) << c.what;
    EXPECT_EQ(readFile("data5.bin"), c.bytes) << c.what;  // reading changes nothing
  }
}

TEST(SlotFile, FoldersAndPipesNamedLikeSlotsAreDamagedAndNeverBlock) {
  InScratchFolder folder;
  std::filesystem::create_directory("data1.bin");
  ASSERT_EQ(mkfifo("data2.bin", 0600), 0);
  Fighters fighters;
  fighters.fill(fighter("old", 9, 9, 9, 9));
  const SlotScan scan = scanSlots(fighters, systemSlotStorage());
  EXPECT_EQ(scan[0], SlotState::Damaged);
  EXPECT_EQ(scan[1], SlotState::Damaged);
  EXPECT_EQ(bytesOf(fighters[1]), std::string(28, '\0'));
  Character record = fighter("mine", 1, 2, 3, 4);
  EXPECT_EQ(readSlot(0, record, systemSlotStorage()), SlotRead::Damaged);
  EXPECT_EQ(readSlot(1, record, systemSlotStorage()), SlotRead::Damaged);
  EXPECT_TRUE(sameRecord(record, fighter("mine", 1, 2, 3, 4)));
}

TEST(SlotFile, ReadingAVanishedSlotFailsToOpen) {
  InScratchFolder folder;
  Character record = fighter("mine", 1, 2, 3, 4);
  EXPECT_EQ(readSlot(0, record, systemSlotStorage()), SlotRead::OpenFailed);
  EXPECT_TRUE(sameRecord(record, fighter("mine", 1, 2, 3, 4)));
}

TEST(SlotFile, SavingReplacesAnyOldFileWithExactlyTwentyEightBytes) {
  InScratchFolder folder;
  const Character hero = fighter("hero", 316, 250, 230, 32);
  for (const std::string& old : {std::string(100, 'x'), std::string(), bytesOf(fighter("older", 1, 1, 1, 1))}) {
    writeFile("data1.bin", old);
    ASSERT_EQ(writeSlot(0, hero, systemSlotStorage()), SlotWrite::Written);
    EXPECT_EQ(readFile("data1.bin"), bytesOf(hero));
  }
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"data1.bin"});
}

// Whatever step of a save fails, the old file stays as it was, the new copy
// is gone, and the failure is reported.
TEST(SlotFile, AFailedSaveLeavesTheOldFighterAndNothingElse) {
  const std::string old = bytesOf(fighter("old", 111, 222, 33, 44));
  const Character hero = fighter("hero", 316, 250, 230, 32);
  const struct {
    Fault fault;
    SlotWrite expected;
  } cases[] = {
      {Fault::CreateFails, SlotWrite::OpenFailed}, {Fault::WriteFails, SlotWrite::WriteFailed},
      {Fault::WriteShort, SlotWrite::WriteFailed}, {Fault::SyncFails, SlotWrite::WriteFailed},
      {Fault::CloseFails, SlotWrite::WriteFailed}, {Fault::RenameFails, SlotWrite::WriteFailed},
  };
  for (const auto& c : cases) {
    InScratchFolder folder;
    writeFile("data3.bin", old);
    FaultyStorage storage(c.fault);
    EXPECT_EQ(writeSlot(2, hero, storage), c.expected) << static_cast<int>(c.fault);
    EXPECT_EQ(readFile("data3.bin"), old) << static_cast<int>(c.fault);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"data3.bin"}) << static_cast<int>(c.fault);

    std::filesystem::remove("data3.bin");  // a first save leaves no file at all
    EXPECT_EQ(writeSlot(2, hero, storage), c.expected) << static_cast<int>(c.fault);
    EXPECT_TRUE(folderEntries().empty()) << static_cast<int>(c.fault);
  }
}

TEST(SlotFile, InterruptedAndPartialWritesStillSaveEveryByte) {
  InScratchFolder folder;
  FaultyStorage storage(Fault::Interrupted);
  const Character hero = fighter("hero", 316, 250, 230, 32);
  EXPECT_EQ(writeSlot(0, hero, storage), SlotWrite::Written);
  EXPECT_EQ(readFile("data1.bin"), bytesOf(hero));
  EXPECT_GT(storage.writes, 10);  // one refused, then 3 bytes at a time
}

TEST(SlotFile, ALeftoverCopyFromAnotherRunIsNeitherUsedNorRemoved) {
  InScratchFolder folder;
  FaultyStorage storage(Fault::None);  // its process number is 4242
  writeFile("data1.bin.4242.0.tmp", "leftover");
  const Character hero = fighter("hero", 316, 250, 230, 32);
  ASSERT_EQ(writeSlot(0, hero, storage), SlotWrite::Written);
  EXPECT_EQ(readFile("data1.bin"), bytesOf(hero));
  EXPECT_EQ(readFile("data1.bin.4242.0.tmp"), "leftover");
  EXPECT_EQ(folderEntries(), (std::vector<std::string>{"data1.bin", "data1.bin.4242.0.tmp"}));
}

TEST(SlotFile, AFolderNamedLikeTheSlotCannotBeOpenedForSaving) {
  InScratchFolder folder;
  std::filesystem::create_directory("data2.bin");
  EXPECT_EQ(writeSlot(1, fighter("hero", 316, 250, 230, 32), systemSlotStorage()), SlotWrite::OpenFailed);
  EXPECT_TRUE(std::filesystem::is_directory("data2.bin"));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"data2.bin"});
}

// Permissions do not hold the superuser back; the storage test above covers
// a folder that refuses new files for everyone.
TEST(SlotFile, AReadOnlyFolderOrFileKeepsItsFighter) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions are not enforced for root";
  InScratchFolder folder;
  const std::string old = bytesOf(fighter("old", 111, 222, 33, 44));
  writeFile("data1.bin", old);
  writeFile("data2.bin", old);
  ASSERT_EQ(chmod("data2.bin", 0444), 0);
  EXPECT_EQ(writeSlot(1, fighter("hero", 316, 250, 230, 32), systemSlotStorage()), SlotWrite::OpenFailed);
  EXPECT_EQ(readFile("data2.bin"), old);
  ASSERT_EQ(chmod(".", 0555), 0);
  EXPECT_EQ(writeSlot(0, fighter("hero", 316, 250, 230, 32), systemSlotStorage()), SlotWrite::OpenFailed);
  EXPECT_EQ(readFile("data1.bin"), old);
  chmod(".", 0755);
}

}  // namespace
}  // namespace kotodama::test
