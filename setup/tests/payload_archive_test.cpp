// The payload archive: what the build tool writes and what the installer's
// two readers make of good, odd and damaged archives.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "fake_platform.h"
#include "payload_format.h"
#include "payload_reader.h"
#include "payload_writer.h"
#include "test_support.h"

namespace zarnsetup::testing {
namespace {
namespace fs = std::filesystem;

constexpr std::uint32_t kHuge = std::numeric_limits<std::uint32_t>::max();

// An installer file in a temporary machine, with C: holding the install
// folder "C:\Zarnik".
class ArchiveTest : public ::testing::Test {
protected:
  ArchiveTest() : platform(machine.Path()) {
    fs::create_directories(machine.Path() / "C" / "Zarnik");
    platform.executable = (machine.Path() / "installer.exe").string();
  }
  ~ArchiveTest() override { SetOverwriteDecision(nullptr); }

  // Writes the image followed by the two segments; returns T.
  std::uint32_t WriteInstaller(const Bytes& fileSegment, const Bytes& textSegment) {
    WriteWholeFile(platform.executable, Concat({FakeImage(), fileSegment, textSegment}));
    return static_cast<std::uint32_t>(textSegment.size());
  }

  AgreementText ReadText() { return ReadAgreementText(platform.executable); }

  bool Unpack(std::uint32_t textLength, const std::string& folder = "C:\\Zarnik") {
    return UnpackPayload(platform, platform.executable, FakePlatform::Desktop(), folder, textLength);
  }

  fs::path Installed(const std::string& name) const { return machine.Path() / "C" / "Zarnik" / name; }
  std::vector<std::string> MachineFiles() const {
    auto files = FilesBelow(machine.Path());
    std::erase(files, "installer.exe");
    return files;
  }

  TempFolder machine;
  FakePlatform platform;
  const Bytes noFiles = RawSegment({});
  const Bytes noText = RawSegment({});
};

// --- the build tool's archive, read back ------------------------------------

TEST_F(ArchiveTest, WrittenArchiveReadsBackThroughBothReaders) {
  const std::string binary("\0\x01\xff\r\n\x1a", 6);
  const Bytes archive = BuildArchive(
      {{ENTRY_FILE, "DEC09.ELD", ToBytes("document")}, {ENTRY_FILE, "zarntrade.dll", ToBytes(binary)},
       {ENTRY_FILE, "empty.tsw", {}}},
      {ENTRY_TEXT, "eula.txt", ToBytes("Terms\r\nLine two\r\n")});
  WriteWholeFile(platform.executable, Concat({FakeImage(), archive}));

  const AgreementText agreement = ReadText();
  EXPECT_EQ(agreement.text, "Terms\r\nLine two\r\n");
  EXPECT_EQ(agreement.textSegmentLength, 1 + 9 + 4 + 17 + 1 + 4u);

  ASSERT_TRUE(Unpack(agreement.textSegmentLength));
  EXPECT_EQ(ReadWholeFile(Installed("DEC09.ELD")), "document");
  EXPECT_EQ(ReadWholeFile(Installed("zarntrade.dll")), binary);
  EXPECT_EQ(ReadWholeFile(Installed("empty.tsw")), "");
  // The agreement is not a file to install, and no temporary file remains.
  EXPECT_EQ(MachineFiles(), (std::vector<std::string>{"C/Zarnik/DEC09.ELD", "C/Zarnik/empty.tsw",
                                                       "C/Zarnik/zarntrade.dll"}));

  const auto listed = ListArchive(Concat({FakeImage(), archive}));
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[1].name, "zarntrade.dll");
  EXPECT_EQ(listed[1].size, 6u);
  EXPECT_EQ(listed[3].segment, 1);
  EXPECT_EQ(listed[3].type, ENTRY_TEXT);
}

TEST(ArchiveWriter, RefusesWhatTheReadersCouldNotWriteOut) {
  const std::string longName(260, 'n');
  for (const std::string& name : {std::string(), longName, std::string("a\\b"), std::string("a/b"),
                                  std::string("C:b"), std::string("."), std::string("..")}) {
    EXPECT_THROW(BuildSegment({{ENTRY_FILE, name, {}}}), std::invalid_argument) << '"' << name << '"';
  }
  EXPECT_NO_THROW(BuildSegment({{ENTRY_FILE, std::string(259, 'n'), {}}}));
  EXPECT_THROW(BuildSegment({{0, "a", {}}}), std::invalid_argument);
  EXPECT_THROW(BuildSegment({{4, "a", {}}}), std::invalid_argument);
  EXPECT_THROW(BuildArchive({}, {ENTRY_FILE, "eula.txt", {}}), std::invalid_argument);
}

TEST(ArchiveWriter, SegmentLengthsAreBigEndianAndCoverTheirOwnBytes) {
  const Bytes segment = BuildSegment({{ENTRY_FILE, "a", Bytes(256, 'x')}});
  // type, "a", NUL, size 00 00 01 00, data, end byte, length.
  ASSERT_EQ(segment.size(), 1 + 2 + 4 + 256 + 1 + 4u);
  EXPECT_EQ(Bytes(segment.begin() + 3, segment.begin() + 7), (Bytes{0, 0, 1, 0}));
  EXPECT_EQ(Bytes(segment.end() - 4, segment.end()), BigEndian(static_cast<std::uint32_t>(segment.size())));
  EXPECT_EQ(BuildSegment({}), (Bytes{0, 0, 0, 0, 5}));
}

TEST(ArchiveWriter, ListingFindsDamage) {
  const Bytes good = BuildArchive({{ENTRY_FILE, "a", ToBytes("data")}}, {ENTRY_TEXT, "eula.txt", {}});
  EXPECT_NO_THROW(ListArchive(good));
  Bytes shortened(good.begin() + 1, good.end());
  EXPECT_THROW(ListArchive(shortened), std::runtime_error);
  Bytes extended = Concat({good, Bytes{0}});
  EXPECT_THROW(ListArchive(extended), std::runtime_error);
}

// --- the agreement text ---------------------------------------------------

TEST_F(ArchiveTest, EmptyTextSegmentGivesNoTextAndStillUnpacks) {
  const std::uint32_t t =
      WriteInstaller(RawSegment(RawEntry(ENTRY_FILE, "a.txt", "A")), noText);
  const AgreementText agreement = ReadText();
  EXPECT_EQ(agreement.text, "");
  EXPECT_EQ(agreement.textSegmentLength, 5u);
  EXPECT_TRUE(Unpack(t));
  EXPECT_EQ(ReadWholeFile(Installed("a.txt")), "A");
}

TEST_F(ArchiveTest, LastTextEntryWinsAndOtherTypesAreSkipped) {
  WriteInstaller(noFiles, RawSegment(Concat({RawEntry(ENTRY_TEXT, "eula.txt", "first"),
                                             RawEntry(ENTRY_FILE, "x", "not text"),
                                             RawEntry(ENTRY_PLAIN, "y", "nor this"),
                                             RawEntry(ENTRY_TEXT, "eula.txt", "second")})));
  EXPECT_EQ(ReadText().text, "second");
}

TEST_F(ArchiveTest, TextEndsAtItsFirstNulByte) {
  WriteInstaller(noFiles, RawSegment(RawEntry(ENTRY_TEXT, "eula.txt", std::string("shown\0hidden", 12))));
  EXPECT_EQ(ReadText().text, "shown");
}

TEST_F(ArchiveTest, SizesAreBigEndian) {
  const std::string text(256, 't');
  WriteInstaller(noFiles, RawSegment(Concat({Bytes{ENTRY_TEXT}, ToBytes("eula.txt"), Bytes{0},
                                             Bytes{0x00, 0x00, 0x01, 0x00}, ToBytes(text)})));
  EXPECT_EQ(ReadText().text, text);
}

// Each of these ends the scan: the text taken before stays, later text is
// never reached.
TEST_F(ArchiveTest, DamagedTextEntryEndsTheScanQuietly) {
  const Bytes first = RawEntry(ENTRY_TEXT, "eula.txt", "kept");
  const Bytes later = RawEntry(ENTRY_TEXT, "eula.txt", "never read");
  const struct {
    const char* what;
    Bytes entry;
  } cases[] = {
      {"type 4", RawEntry(4, "eula.txt", "x")},
      {"name of 260 characters", RawEntry(ENTRY_TEXT, std::string(260, 'n'), "x")},
      {"name with a backslash", RawEntry(ENTRY_TEXT, "..\\eula.txt", "x")},
      {"name with a slash", RawEntry(ENTRY_TEXT, "../eula.txt", "x")},
      {"name with a colon", RawEntry(ENTRY_TEXT, "C:eula.txt", "x")},
      {"name ..", RawEntry(ENTRY_TEXT, "..", "x")},
      {"size past the end of the file", RawEntry(ENTRY_TEXT, "eula.txt", "x", kHuge)},
      {"skipped entry past the end", RawEntry(ENTRY_FILE, "a", "x", 1000)},
  };
  for (const auto& c : cases) {
    WriteInstaller(noFiles, RawSegment(Concat({first, c.entry, later})));
    EXPECT_EQ(ReadText().text, "kept") << c.what;
  }
}

TEST_F(ArchiveTest, NameOf259CharactersIsRead) {
  WriteInstaller(noFiles, RawSegment(RawEntry(ENTRY_TEXT, std::string(259, 'n'), "read")));
  EXPECT_EQ(ReadText().text, "read");
}

TEST_F(ArchiveTest, UnreadableFilesGiveNoText) {
  EXPECT_EQ(ReadAgreementText((machine.Path() / "missing.exe").string()).textSegmentLength, 0u);
  EXPECT_EQ(ReadAgreementText("").textSegmentLength, 0u);
  WriteWholeFile(platform.executable, Bytes{0, 5});
  EXPECT_EQ(ReadText().textSegmentLength, 0u);
  // T larger than the file: the text is empty, T is still reported.
  WriteWholeFile(platform.executable, Concat({FakeImage(), BigEndian(kHuge)}));
  const AgreementText agreement = ReadText();
  EXPECT_EQ(agreement.text, "");
  EXPECT_EQ(agreement.textSegmentLength, kHuge);
  EXPECT_FALSE(Unpack(agreement.textSegmentLength));
}

// --- unpacking ----------------------------------------------------------

TEST_F(ArchiveTest, EmptyFileSegmentUnpacksNothing) {
  EXPECT_TRUE(Unpack(WriteInstaller(noFiles, noText)));
  EXPECT_TRUE(MachineFiles().empty());
}

TEST_F(ArchiveTest, ZeroSizeEntryCreatesAnEmptyFile) {
  EXPECT_TRUE(Unpack(WriteInstaller(RawSegment(RawEntry(ENTRY_FILE, "empty.dat", "")), noText)));
  EXPECT_TRUE(fs::is_regular_file(Installed("empty.dat")));
  EXPECT_EQ(fs::file_size(Installed("empty.dat")), 0u);
}

TEST_F(ArchiveTest, AllThreeTypesAreFilesInTheFileSegment) {
  EXPECT_TRUE(Unpack(WriteInstaller(RawSegment(Concat({RawEntry(ENTRY_FILE, "one", "1"),
                                                       RawEntry(ENTRY_PLAIN, "two", "2"),
                                                       RawEntry(ENTRY_TEXT, "three", "3")})),
                                    noText)));
  EXPECT_EQ(ReadWholeFile(Installed("one")) + ReadWholeFile(Installed("two")) + ReadWholeFile(Installed("three")),
            "123");
}

// The entries before a fault stay written; nothing is written for the
// faulty entry or after it.
TEST_F(ArchiveTest, FaultyFileEntryFailsAfterKeepingEarlierFiles) {
  const Bytes before = RawEntry(ENTRY_FILE, "before.txt", "B");
  const Bytes after = RawEntry(ENTRY_FILE, "after.txt", "A");
  const struct {
    const char* what;
    Bytes entry;
  } cases[] = {
      {"type 4", RawEntry(4, "x.txt", "x")},
      {"type 255", RawEntry(255, "x.txt", "x")},
      {"name of 260 characters", RawEntry(ENTRY_PLAIN, std::string(260, 'n'), "x")},
      {"empty name", RawEntry(ENTRY_FILE, "", "x")},
      {"size past the end of the file", RawEntry(ENTRY_FILE, "x.txt", "x", kHuge)},
      // One byte more than the data, the next entry and both segment tails.
      {"size one past the end of the file",
       RawEntry(ENTRY_FILE, "x.txt", "x",
                static_cast<std::uint32_t>(1 + after.size() + kEmptySegmentLength + noText.size() + 1))},
  };
  std::vector<std::string> asked;
  SetOverwriteDecision([&](WindowHandle, const std::string& name) {
    asked.push_back(name);
    return OverwriteChoice::Write;
  });
  for (const auto& c : cases) {
    fs::remove_all(machine.Path() / "C" / "Zarnik");
    fs::create_directories(machine.Path() / "C" / "Zarnik");
    asked.clear();
    EXPECT_FALSE(Unpack(WriteInstaller(RawSegment(Concat({before, c.entry, after})), noText))) << c.what;
    EXPECT_EQ(MachineFiles(), std::vector<std::string>{"C/Zarnik/before.txt"}) << c.what;
    // The fault is found before the entry is offered for writing.
    EXPECT_EQ(asked, std::vector<std::string>{"before.txt"}) << c.what;
  }
}

// Names that would reach outside the install folder are refused before
// anything is written for them.
class TraversalNameTest : public ArchiveTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TraversalNameTest, NameWithAFolderPartFailsWithoutWriting) {
  fs::create_directories(machine.Path() / "C" / "Zarnik" / "sub");
  EXPECT_FALSE(Unpack(WriteInstaller(RawSegment(RawEntry(ENTRY_FILE, GetParam(), "evil")), noText)));
  EXPECT_TRUE(MachineFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, TraversalNameTest,
                         ::testing::Values("..\\evil.dll", "../evil.dll", "sub\\evil.dll", "sub/evil.dll",
                                           "\\evil.dll", "C:evil.dll", "C:\\evil.dll", ".", ".."));

TEST_F(ArchiveTest, PathLengthTestAppliesToTypeOneOnly) {
  // Install folder of 203 characters: folder + "\" + name must stay below 260.
  const std::string folder = "C:\\" + std::string(200, 'f');
  fs::create_directories(platform.Native(folder));
  const std::string fits(55, 'a');    // 203 + 1 + 55 = 259
  const std::string reaches(56, 'b'); // 260
  EXPECT_TRUE(Unpack(WriteInstaller(RawSegment(RawEntry(ENTRY_FILE, fits, "x")), noText), folder));
  EXPECT_TRUE(fs::exists(platform.Native(folder + "\\" + fits)));
  EXPECT_FALSE(Unpack(WriteInstaller(RawSegment(RawEntry(ENTRY_FILE, reaches, "x")), noText), folder));
  EXPECT_FALSE(fs::exists(platform.Native(folder + "\\" + reaches)));
  EXPECT_TRUE(Unpack(WriteInstaller(RawSegment(RawEntry(ENTRY_PLAIN, reaches, "x")), noText), folder));
  EXPECT_TRUE(fs::exists(platform.Native(folder + "\\" + reaches)));
}

TEST_F(ArchiveTest, SegmentLengthsThatDoNotFitTheFileFail) {
  const Bytes entry = RawEntry(ENTRY_FILE, "a.txt", "A");
  // File segment length larger than the file.
  EXPECT_FALSE(Unpack(WriteInstaller(RawSegment(entry, kHuge), noText)));
  // T pointing past the start of the file.
  EXPECT_FALSE(Unpack(kHuge));
  EXPECT_TRUE(MachineFiles().empty());
  // A missing install folder cannot be made current.
  EXPECT_FALSE(Unpack(WriteInstaller(RawSegment(entry), noText), "C:\\Missing"));
  EXPECT_FALSE(UnpackPayload(platform, (machine.Path() / "missing.exe").string(), nullptr, "C:\\Zarnik", 5));
}

TEST_F(ArchiveTest, EndOfFileBeforeTheEndByteFails) {
  // The last entry's data runs exactly to the end of the file, swallowing the
  // end byte and both segment tails: the entry itself is complete and stays.
  const std::uint32_t swallowed = 1 + 4 + kEmptySegmentLength;
  const Bytes entry = RawEntry(ENTRY_FILE, "last.bin", std::string(swallowed, '\x7f'));
  const Bytes header(entry.begin(), entry.end() - swallowed);
  const Bytes text = RawSegment({});
  const auto fileLength = static_cast<std::uint32_t>(header.size() + kEmptySegmentLength);
  WriteWholeFile(platform.executable, Concat({FakeImage(), header, Bytes{ENTRY_END}, BigEndian(fileLength), text}));
  EXPECT_FALSE(Unpack(static_cast<std::uint32_t>(text.size())));
  EXPECT_EQ(fs::file_size(Installed("last.bin")), swallowed);
}

TEST_F(ArchiveTest, OverwriteDecisionSeesTheBareNameWithTheInstallFolderCurrent) {
  WriteWholeFile(Installed("kept.txt"), "old");
  std::vector<std::string> asked;
  SetOverwriteDecision([&](WindowHandle owner, const std::string& name) {
    EXPECT_EQ(owner, FakePlatform::Desktop());
    EXPECT_EQ(platform.currentFolder, "C:\\Zarnik");
    asked.push_back(name);
    return name == "kept.txt" ? OverwriteChoice::Skip : OverwriteChoice::Write;
  });
  EXPECT_TRUE(Unpack(WriteInstaller(RawSegment(Concat({RawEntry(ENTRY_FILE, "kept.txt", "new"),
                                                       RawEntry(ENTRY_FILE, "new.txt", "new")})),
                                    noText)));
  EXPECT_EQ(asked, (std::vector<std::string>{"kept.txt", "new.txt"}));
  EXPECT_EQ(ReadWholeFile(Installed("kept.txt")), "old");
  EXPECT_EQ(ReadWholeFile(Installed("new.txt")), "new");
}

TEST_F(ArchiveTest, FailedReplacementKeepsTheOldFile) {
  const Bytes segment = RawSegment(Concat({RawEntry(ENTRY_FILE, "first.txt", "new first"),
                                           RawEntry(ENTRY_FILE, "second.txt", "new second"),
                                           RawEntry(ENTRY_FILE, "third.txt", "new third")}));
  // The disk fills while the second file is written...
  WriteWholeFile(Installed("second.txt"), "old second");
  platform.failTempWriteNumber = 2;
  EXPECT_FALSE(Unpack(WriteInstaller(segment, noText)));
  EXPECT_EQ(ReadWholeFile(Installed("first.txt")), "new first");
  EXPECT_EQ(ReadWholeFile(Installed("second.txt")), "old second");
  EXPECT_EQ(MachineFiles(), (std::vector<std::string>{"C/Zarnik/first.txt", "C/Zarnik/second.txt"}));

  // ...or the finished file cannot be moved onto the old one.
  platform.failTempWriteNumber = 0;
  platform.refuseMoveOnto = {"second.txt"};
  EXPECT_FALSE(Unpack(WriteInstaller(segment, noText)));
  EXPECT_EQ(ReadWholeFile(Installed("second.txt")), "old second");
  EXPECT_EQ(MachineFiles(), (std::vector<std::string>{"C/Zarnik/first.txt", "C/Zarnik/second.txt"}));
}

TEST_F(ArchiveTest, FailedNewFileLeavesNoPartialFile) {
  platform.failTempWriteNumber = 1;
  EXPECT_FALSE(Unpack(WriteInstaller(RawSegment(RawEntry(ENTRY_FILE, "big.dll", std::string(200000, 'd'))),
                                     noText)));
  EXPECT_TRUE(MachineFiles().empty());
}

} // namespace
} // namespace zarnsetup::testing
