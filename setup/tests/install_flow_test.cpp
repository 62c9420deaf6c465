// The install run against the scripted Windows layer: agreement, drive
// choice, install folder, overwrite questions, workspaces and the exits.
#include <gtest/gtest.h>

#include <string_view>

#include "app.h"
#include "fake_platform.h"
#include "install_flow.h"
#include "payload_format.h"
#include "test_support.h"

namespace zarnsetup::testing {
namespace {
namespace fs = std::filesystem;

const std::vector<std::string> kPayloadNames = {"DEC09.ELD", "zarntrade.dll", "ZRVOMO.tsw", "README.rtf"};
constexpr std::string_view kAgreement = "You agree.\r\nReally.\r\n";
constexpr const char* kCaption = "Zarnik for TradeStation Installer 1.0";
constexpr const char* kInstallFolder = "Program Files/Zarnik for TradeStation";

std::string NewContents(const std::string& name) { return "new " + name; }

// A machine with drive C and an installer carrying the four payload files
// and the agreement.
class InstallRunTest : public ::testing::Test {
protected:
  InstallRunTest() : platform(machine.Path()) {
    fs::create_directory(machine.Path() / "C");
    platform.executable = (machine.Path() / "zarnsetup.exe").string();
    WriteInstaller(std::string(kAgreement));
  }

  void WriteInstaller(const std::string& agreement) {
    std::vector<ArchiveEntry> files;
    for (const std::string& name : kPayloadNames) files.push_back({ENTRY_FILE, name, ToBytes(NewContents(name))});
    WriteWholeFile(platform.executable,
                   Concat({FakeImage(), BuildArchive(files, {ENTRY_TEXT, "eula.txt", ToBytes(agreement)})}));
  }

  fs::path OnDrive(char drive, const std::string& path) const {
    return machine.Path() / std::string(1, drive) / path;
  }
  fs::path Installed(const std::string& name) const { return OnDrive('C', kInstallFolder) / name; }
  void PreInstall(const std::string& name) { WriteWholeFile(Installed(name), "old " + name); }
  bool Replaced(const std::string& name) const { return ReadWholeFile(Installed(name)) == NewContents(name); }
  std::vector<std::string> DriveFiles() const { return FilesBelow(machine.Path() / "C"); }

  TempFolder machine;
  FakePlatform platform;
};

TEST_F(InstallRunTest, CompleteRunInstallsReportsAndOpensTheReadMe) {
  fs::create_directories(OnDrive('C', "Program Files/TradeStation 10.0/MyWork"));
  fs::create_directories(OnDrive('C', "Program Files (x86)/TradeStation 9.5/MyWork"));

  EXPECT_EQ(RunInstaller(platform), kExitSuccess);

  EXPECT_EQ(platform.agreementShown, 1);
  EXPECT_EQ(platform.agreementCaption, kCaption);
  EXPECT_EQ(platform.agreementText, kAgreement);
  EXPECT_TRUE(platform.overwriteAsked.empty());
  for (const std::string& name : kPayloadNames) EXPECT_TRUE(Replaced(name)) << name;
  EXPECT_EQ(ReadWholeFile(OnDrive('C', "Program Files/TradeStation 10.0/MyWork/ZRVOMO.tsw")), "new ZRVOMO.tsw");
  EXPECT_EQ(ReadWholeFile(OnDrive('C', "Program Files (x86)/TradeStation 9.5/MyWork/ZRVOMO.tsw")),
            "new ZRVOMO.tsw");
  EXPECT_EQ(DriveFiles().size(), kPayloadNames.size() + 2);

  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Zarnik for TradeStation successfully installed");
  EXPECT_EQ(platform.messages[0].caption, "Installation Complete");
  EXPECT_EQ(platform.messages[0].kind, MessageKind::Information);
  EXPECT_EQ(platform.shellOpened,
            std::vector<std::string>{"C:\\Program Files\\Zarnik for TradeStation\\README.rtf"});
  EXPECT_EQ(WApp::Current(), nullptr);
}

TEST_F(InstallRunTest, EmptyAgreementGoesStraightToUnpacking) {
  WriteInstaller("");
  EXPECT_EQ(RunInstaller(platform), kExitSuccess);
  EXPECT_EQ(platform.agreementShown, 0);
  EXPECT_TRUE(Replaced("zarntrade.dll"));
}

TEST_F(InstallRunTest, DeclinedAgreementEndsWithoutWritingAnything) {
  // "&No" or Escape (id 2), and a dialog that could not be shown.
  for (const int answer : {ID_DECLINE, -1}) {
    platform.agreementAnswer = answer;
    EXPECT_EQ(RunInstaller(platform), kExitSuccess);
    EXPECT_TRUE(fs::is_empty(machine.Path() / "C"));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.shellOpened.empty());
  }
}

struct OverwriteCase {
  const char* what;
  std::vector<int> answers;               // dialog 109 answers, in turn
  std::vector<std::string> asked;         // files the dialog is shown for
  std::vector<bool> replaced;             // per payload file, in archive order
};

class OverwriteSequenceTest : public InstallRunTest, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(OverwriteSequenceTest, AnswersDecideEveryExistingFile) {
  const OverwriteCase& c = GetParam();
  for (const std::string& name : kPayloadNames) PreInstall(name);
  platform.overwriteAnswers.assign(c.answers.begin(), c.answers.end());

  EXPECT_EQ(RunInstaller(platform), kExitSuccess);

  EXPECT_EQ(platform.overwriteAsked, c.asked);
  for (const std::string& caption : platform.overwriteCaptions) EXPECT_EQ(caption, kCaption);
  for (std::size_t i = 0; i < kPayloadNames.size(); ++i) {
    EXPECT_EQ(Replaced(kPayloadNames[i]), c.replaced[i]) << kPayloadNames[i];
  }
  EXPECT_EQ(DriveFiles().size(), kPayloadNames.size()); // no temporary files left
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OverwriteSequenceTest,
    ::testing::Values(
        OverwriteCase{"YesAndNoAskEachTime",
                      {IDC_ANSWER_YES, IDC_ANSWER_NO, IDC_ANSWER_YES, IDC_ANSWER_NO},
                      kPayloadNames,
                      {true, false, true, false}},
        OverwriteCase{"YesToAllAsksOnce", {IDC_ANSWER_YES_TO_ALL}, {"DEC09.ELD"}, {true, true, true, true}},
        OverwriteCase{"NoToAllAsksOnce", {IDC_ANSWER_NO_TO_ALL}, {"DEC09.ELD"}, {false, false, false, false}},
        OverwriteCase{"NoThenYesToAll",
                      {IDC_ANSWER_NO, IDC_ANSWER_YES_TO_ALL},
                      {"DEC09.ELD", "zarntrade.dll"},
                      {false, true, true, true}},
        OverwriteCase{"YesThenNoToAll",
                      {IDC_ANSWER_YES, IDC_ANSWER_NO_TO_ALL},
                      {"DEC09.ELD", "zarntrade.dll"},
                      {true, false, false, false}},
        // A dialog that cannot be shown keeps the file the first time (the
        // mode starts as No) and later repeats the last answer given.
        OverwriteCase{"DialogThatCannotBeShown",
                      {-1, IDC_ANSWER_YES, -1, -1},
                      kPayloadNames,
                      {false, true, true, true}}),
    [](const ::testing::TestParamInfo<OverwriteCase>& info) { return std::string(info.param.what); });

TEST_F(InstallRunTest, OnlyExistingFilesBringUpTheOverwriteDialog) {
  PreInstall("zarntrade.dll");
  PreInstall("README.rtf");
  platform.overwriteAnswers = {IDC_ANSWER_NO, IDC_ANSWER_NO};
  EXPECT_EQ(RunInstaller(platform), kExitSuccess);
  EXPECT_EQ(platform.overwriteAsked, (std::vector<std::string>{"zarntrade.dll", "README.rtf"}));
  EXPECT_TRUE(Replaced("DEC09.ELD"));
  EXPECT_FALSE(Replaced("zarntrade.dll"));
}

TEST_F(InstallRunTest, FirstSelectableDriveAfterCIsUsed) {
  fs::remove(machine.Path() / "C");
  fs::create_directory(machine.Path() / "E");
  fs::create_directory(machine.Path() / "G");
  fs::create_directories(OnDrive('E', "Program Files/TradeStation 10.0/MyWork"));

  EXPECT_EQ(RunInstaller(platform), kExitSuccess);

  EXPECT_EQ(ReadWholeFile(OnDrive('E', kInstallFolder) / "DEC09.ELD"), "new DEC09.ELD");
  EXPECT_TRUE(fs::exists(OnDrive('E', "Program Files/TradeStation 10.0/MyWork/ZRVOMO.tsw")));
  EXPECT_TRUE(fs::is_empty(machine.Path() / "G"));
  EXPECT_EQ(platform.shellOpened,
            std::vector<std::string>{"E:\\Program Files\\Zarnik for TradeStation\\README.rtf"});
}

TEST_F(InstallRunTest, DriveChoiceRestoresTheCurrentDrive) {
  fs::create_directory(machine.Path() / "D");
  ASSERT_TRUE(platform.SelectDrive('D'));
  EXPECT_EQ(InstallDriveLetter(platform), 'C');
  EXPECT_EQ(platform.CurrentDrive(), 'D');
}

TEST_F(InstallRunTest, NoSelectableDriveStillUsesCAndFailsToCreateTheFolder) {
  fs::remove(machine.Path() / "C");
  EXPECT_EQ(InstallDriveLetter(platform), 'C');
  EXPECT_EQ(RunInstaller(platform), kExitFailure);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Could not create install folder... ");
  EXPECT_EQ(platform.messages[0].caption, "Error");
  EXPECT_EQ(platform.messages[0].kind, MessageKind::Error);
  EXPECT_TRUE(platform.shellOpened.empty());
}

TEST_F(InstallRunTest, InstallFolderBlockedByAFileFails) {
  WriteWholeFile(OnDrive('C', kInstallFolder), "a file where the folder should be");
  EXPECT_EQ(RunInstaller(platform), kExitFailure);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Could not create install folder... ");
  EXPECT_EQ(DriveFiles(), std::vector<std::string>{kInstallFolder});
}

TEST_F(InstallRunTest, InstallFolderPathRules) {
  EXPECT_FALSE(CreateInstallFolder(platform, ""));
  const std::string tooLong = "C:\\" + std::string(100, 'a') + "\\" + std::string(156, 'b'); // 260
  EXPECT_FALSE(CreateInstallFolder(platform, tooLong));
  EXPECT_TRUE(fs::is_empty(machine.Path() / "C"));
  const std::string longest = tooLong.substr(0, 259);
  EXPECT_TRUE(CreateInstallFolder(platform, longest));
  EXPECT_TRUE(fs::is_directory(platform.Native(longest)));
  EXPECT_TRUE(CreateInstallFolder(platform, longest)); // already there
}

TEST_F(InstallRunTest, UnpackingFailureIsReportedAfterEarlierFiles) {
  WriteWholeFile(platform.executable,
                 Concat({FakeImage(),
                         RawSegment(Concat({RawEntry(ENTRY_FILE, "DEC09.ELD", "doc"), RawEntry(4, "bad", "")})),
                         RawSegment({})}));
  EXPECT_EQ(RunInstaller(platform), kExitFailure);
  EXPECT_EQ(platform.agreementShown, 0);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Error unpacking files");
  EXPECT_EQ(platform.messages[0].caption, "Fatal Error");
  EXPECT_EQ(platform.messages[0].kind, MessageKind::Error);
  EXPECT_EQ(ReadWholeFile(Installed("DEC09.ELD")), "doc");
  EXPECT_TRUE(platform.shellOpened.empty());
}

TEST_F(InstallRunTest, MissingPayloadIsAnUnpackingFailure) {
  fs::remove(platform.executable);
  EXPECT_EQ(RunInstaller(platform), kExitFailure);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Error unpacking files");
}

TEST_F(InstallRunTest, WorkspacesReachEveryInstallationWithoutReplacing) {
  // Two installations in each program folder, one without "MyWork", a file
  // matching the installation pattern, a workspace already in place, and an
  // older workspace left in the install folder (extension in lower case).
  fs::create_directories(OnDrive('C', "Program Files/TradeStation 10.0/MyWork"));
  fs::create_directories(OnDrive('C', "Program Files/TradeStation/MyWork"));
  fs::create_directories(OnDrive('C', "Program Files/TradeStation 8.8"));
  WriteWholeFile(OnDrive('C', "Program Files/TradeStation.txt"), "not an installation");
  fs::create_directories(OnDrive('C', "Program Files (x86)/TradeStation 9.5/MyWork"));
  WriteWholeFile(OnDrive('C', "Program Files (x86)/TradeStation 9.5/MyWork/ZRVOMO.tsw"), "user's own");
  WriteWholeFile(Installed("Older.tsw"), "older workspace");
  fs::create_directories(OnDrive('C', "Program Files/OtherStation/MyWork"));

  EXPECT_EQ(RunInstaller(platform), kExitSuccess);

  for (const char* work : {"Program Files/TradeStation 10.0/MyWork", "Program Files/TradeStation/MyWork"}) {
    EXPECT_EQ(ReadWholeFile(OnDrive('C', work) / "ZRVOMO.tsw"), "new ZRVOMO.tsw") << work;
    EXPECT_EQ(ReadWholeFile(OnDrive('C', work) / "Older.tsw"), "older workspace") << work;
  }
  EXPECT_EQ(ReadWholeFile(OnDrive('C', "Program Files (x86)/TradeStation 9.5/MyWork/ZRVOMO.tsw")), "user's own");
  EXPECT_TRUE(fs::exists(OnDrive('C', "Program Files (x86)/TradeStation 9.5/MyWork/Older.tsw")));
  EXPECT_FALSE(fs::exists(OnDrive('C', "Program Files/TradeStation 8.8/MyWork")));
  EXPECT_TRUE(fs::is_empty(OnDrive('C', "Program Files/OtherStation/MyWork")));
}

TEST_F(InstallRunTest, WorkspacePathOf260CharactersIsSkipped) {
  // "C:\Program Files\" + name + "\MyWork\ZRVOMO.tsw" reaches 260 characters.
  const std::string longName = "TradeStation" + std::string(260 - 17 - 18 - 12, 'x');
  fs::create_directories(OnDrive('C', "Program Files/" + longName + "/MyWork"));
  const std::string fitting = longName.substr(0, longName.size() - 1);
  fs::create_directories(OnDrive('C', "Program Files/" + fitting + "/MyWork"));

  EXPECT_EQ(RunInstaller(platform), kExitSuccess);

  EXPECT_TRUE(fs::is_empty(OnDrive('C', "Program Files/" + longName + "/MyWork")));
  EXPECT_TRUE(fs::exists(OnDrive('C', "Program Files/" + fitting + "/MyWork/ZRVOMO.tsw")));
}

TEST(InstallApplication, IsTheCurrentApplicationWhileItLives) {
  EXPECT_EQ(WApp::Current(), nullptr);
  {
    const Install install(nullptr);
    EXPECT_EQ(WApp::Current(), &install);
    EXPECT_STREQ(install.DisplayName(), install.ProductName());
    EXPECT_STREQ(install.Caption(), kCaption);
    const std::string web = install.WebAddress();
    EXPECT_TRUE(web.ends_with(".example/")) << web;
    EXPECT_EQ(web.find_first_of(":\\ "), std::string::npos) << web;
  }
  EXPECT_EQ(WApp::Current(), nullptr);
}

} // namespace
} // namespace zarnsetup::testing
