#include <gtest/gtest.h>

#include "removal/FileRemoval.h"
#include "simulator/Text.h"
#include "tests/common/Commands.h"
#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

// --- DeleteDriverComponent

struct ComponentFile {
    bool inWindows;  // else in the driver directory's "3" folder
    const char* name;
};

// Every file of the table, both programs.
const ComponentFile kComponentFiles[] = {
    {true, "ZMP40.dll"},   {false, "ZMP40.dll"},  {false, "ZMP40.GPD"}, {true, "ZMP40.GPD"},
    {false, "ZMP40.BUD"},  {false, "ZPUI40.dll"}, {true, "ZPUI40.dll"}, {true, "ZPUNI40.dll"},
    {false, "ZPUNI40.dll"}, {true, "ZPUI40.INI"},
};

class DeleteDriverComponent : public ::testing::Test {
protected:
    std::string PathOf(RemoverRun& run, const ComponentFile& f) {
        return f.inWindows ? run.WindowsDirectory() + "\\" + f.name : run.DriverDirectory() + "\\3\\" + f.name;
    }
    void CreateAll(RemoverRun& run) {
        for (const ComponentFile& f : kComponentFiles) run.machine->WriteFile(PathOf(run, f), "data");
    }
};

TEST_F(DeleteDriverComponent, UninstallerDeletesEveryFileWithTheSpoolerStopped) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    CreateAll(run);
    const std::string w = run.WindowsDirectory(), d = run.DriverDirectory();

    run.remover.DeleteDriverComponent();

    for (const ComponentFile& f : kComponentFiles) EXPECT_FALSE(run.machine->FileExists(PathOf(run, f))) << f.name;
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeleteDriverComponent BEGIN",
                                  "PrinterDriverDirectory : " + d,
                                  "WindowsDirectory : " + w,
                                  // the second attempt at the UI DLL in the driver directory
                                  "DeleteFile Error : " + d + "\\3\\ZPUI40.dll , (2)",
                                  "DeleteDriverComponent END",
                              }));
    EXPECT_EQ(run.Events(), (std::vector<std::string>{"SLEEP 100", test::NetEvent("stop", "C:\\WINDOWS\\system32"), "SLEEP 1500",
                                                       test::NetEvent("start", "C:\\WINDOWS\\system32"), "SLEEP 2000"}));
    EXPECT_EQ(run.progress.reports, std::vector<std::string>{"step Deleting driver-components..."});
}

TEST_F(DeleteDriverComponent, InstallerLogsItAsDeleteFilesUsedAndKeepsTheDriverDll) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    CreateAll(run);
    const std::string d = run.DriverDirectory();

    run.remover.DeleteDriverComponent();

    EXPECT_TRUE(run.machine->FileExists(d + "\\3\\ZMP40.dll"));
    EXPECT_FALSE(run.machine->FileExists(d + "\\3\\ZMP40.GPD"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeleteFilesUsed BEGIN",
                                  "DeleteFile Error : " + d + "\\3\\ZPUI40.dll , (2)",
                                  "DeleteFilesUsed END",
                              }));
    EXPECT_TRUE(run.progress.reports.empty());
    EXPECT_EQ(run.Events(), (std::vector<std::string>{test::NetEvent("stop", "C:\\WINDOWS\\system32"), "SLEEP 1500",
                                                       test::NetEvent("start", "C:\\WINDOWS\\system32"), "SLEEP 2000"}));
}

TEST_F(DeleteDriverComponent, MissingAndReadOnlyFilesAreLoggedAndTheRestDeleted) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    CreateAll(run);
    const std::string w = run.WindowsDirectory(), d = run.DriverDirectory();
    run.machine->Remove(d + "\\3\\ZMP40.GPD");
    run.machine->SetAttributes(w + "\\ZPUI40.INI", file::kAttributeReadOnly);

    run.remover.DeleteDriverComponent();

    EXPECT_TRUE(run.machine->FileExists(w + "\\ZPUI40.INI"));
    EXPECT_FALSE(run.machine->FileExists(w + "\\ZMP40.GPD"));
    EXPECT_FALSE(run.machine->FileExists(d + "\\3\\ZPUNI40.dll"));
    std::vector<std::string> lines = run.StepLines("DeleteDriverComponent");
    std::vector<std::string> errors;
    for (const std::string& line : lines)
        if (line.rfind("DeleteFile Error", 0) == 0) errors.push_back(line);
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "DeleteFile Error : " + d + "\\3\\ZMP40.GPD , (2)",
                          "DeleteFile Error : " + d + "\\3\\ZPUI40.dll , (2)",
                          "DeleteFile Error : " + w + "\\ZPUI40.INI , (5)",
                      }));
}

// --- DeleteDirectoryTree

class DeleteDirectoryTreeTest : public ::testing::Test {
protected:
    DeleteDirectoryTreeTest() : run("xp", false, Variant::Uninstaller) {}
    RemoverRun run;
    FileSystem& files() { return run.platform->files; }
};

TEST_F(DeleteDirectoryTreeTest, NestedReadOnlyTreeIsDeletedWithOrWithoutTrailingBackslash) {
    for (const char* suffix : {"", "\\"}) {
        const std::string root = "C:\\Tree";
        run.machine->WriteFile(root + "\\a.txt", "a");
        run.machine->WriteFile(root + "\\sub\\b.txt", "b");
        run.machine->WriteFile(root + "\\sub\\deeper\\c.txt", "c");
        run.machine->MakeDirectory(root + "\\sub\\empty");
        run.machine->SetAttributes(root + "\\a.txt", file::kAttributeReadOnly);
        run.machine->SetAttributes(root + "\\sub\\deeper\\c.txt", file::kAttributeReadOnly | file::kAttributeHidden);
        run.machine->SetAttributes(root + "\\sub", file::kAttributeDirectory | file::kAttributeReadOnly);

        DeleteDirectoryTree(files(), root + suffix);

        EXPECT_FALSE(run.machine->DirectoryExists(root)) << "suffix '" << suffix << "'";
        EXPECT_TRUE(run.LogLines().empty());
    }
}

TEST_F(DeleteDirectoryTreeTest, JunctionInsideTheTreeIsRemovedButNotFollowed) {
    run.machine->WriteFile("C:\\Precious\\keep.txt", "keep");
    run.machine->SetAttributes("C:\\Precious\\keep.txt", file::kAttributeReadOnly);
    run.machine->WriteFile("C:\\Tree\\a.txt", "a");
    run.machine->MakeJunction("C:\\Tree\\link", "C:\\Precious");

    DeleteDirectoryTree(files(), "C:\\Tree");

    EXPECT_FALSE(run.machine->DirectoryExists("C:\\Tree"));
    EXPECT_TRUE(run.machine->FileExists("C:\\Precious\\keep.txt"));
    EXPECT_EQ(run.machine->Attributes("C:\\Precious\\keep.txt") & file::kAttributeReadOnly,
              file::kAttributeReadOnly);
}

TEST_F(DeleteDirectoryTreeTest, JunctionGivenAsTheTreeIsRemovedAlone) {
    run.machine->WriteFile("C:\\Precious\\keep.txt", "keep");
    run.machine->MakeJunction("C:\\Tree", "C:\\Precious");

    DeleteDirectoryTree(files(), "C:\\Tree\\");

    EXPECT_FALSE(run.machine->DirectoryExists("C:\\Tree"));
    EXPECT_TRUE(run.machine->FileExists("C:\\Precious\\keep.txt"));
}

TEST_F(DeleteDirectoryTreeTest, MissingPathDoesNothing) {
    std::size_t before = run.sys->Calls().size();
    DeleteDirectoryTree(files(), "C:\\NoSuchTree");
    EXPECT_EQ(run.sys->Calls().size(), before + 1);  // the attribute query only
    EXPECT_TRUE(run.LogLines().empty());
}

TEST_F(DeleteDirectoryTreeTest, FileHeldOpenKeepsItsDirectories) {
    run.machine->WriteFile("C:\\Tree\\sub\\held.dll", "MZ");
    run.machine->WriteFile("C:\\Tree\\other.txt", "x");
    run.machine->HoldOpen("C:\\Tree\\sub\\held.dll");

    DeleteDirectoryTree(files(), "C:\\Tree");

    EXPECT_TRUE(run.machine->FileExists("C:\\Tree\\sub\\held.dll"));
    EXPECT_FALSE(run.machine->FileExists("C:\\Tree\\other.txt"));
    EXPECT_TRUE(run.LogLines().empty());
}

// In code page 932 the second byte of a character may be 0x5C, a
// backslash's byte: such a name is a name, not a separator.
TEST(DeleteDirectoryTree, DoubleByteNamesEndingIn0x5CGoWhole) {
    const std::string hyo = "\x95\x5C", so = "\x83\x5C";  // two characters whose second byte is 0x5C
    struct Case {
        const char* what;
        std::string path;  // in the program's code page
    } cases[] = {
        {"the tree holding them", "C:\\Tree"},
        {"one of them", "C:\\Tree\\" + hyo},
        {"one of them with a backslash", "C:\\Tree\\" + hyo + "\\"},
    };
    for (const Case& c : cases) {
        RemoverRun run("7", false, Variant::Uninstaller);
        sim::OsInfo os = run.machine->Os();
        os.ansiCodePage = 932;
        run.machine->SetOs(os);
        const std::string hyoDir = "C:\\Tree\\" + sim::FromAnsi(932, hyo);
        run.machine->WriteFile(hyoDir + "\\" + sim::FromAnsi(932, so) + "\\a.txt", "a");
        run.machine->WriteFile(hyoDir + "\\b.txt", "b");

        DeleteDirectoryTree(run.platform->files, c.path);

        EXPECT_FALSE(run.machine->DirectoryExists(hyoDir)) << c.what;
        EXPECT_EQ(run.machine->DirectoryExists("C:\\Tree"), c.path != "C:\\Tree") << c.what;
    }
}

TEST(ReportDeleteFileError, LogsPathAndCodeAndIsFalse) {
    RemoverRun run("xp", false, Variant::InstallerEngine);
    EXPECT_FALSE(ReportDeleteFileError(*run.log, "C:\\x\\y.dll", 32));
    EXPECT_EQ(run.LogLines(), std::vector<std::string>{"DeleteFile Error : C:\\x\\y.dll , (32)"});
}

// --- DeleteInstalledDirectory

TEST(DeleteInstalledDirectory, ModelFolderAndEmptyParentAreRemoved) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.machine->WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\ZMPK40_Uninstaller.exe", "MZ");
    run.machine->WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\Tools\\readme.txt", "r");

    run.remover.DeleteInstalledDirectory();

    EXPECT_FALSE(run.machine->DirectoryExists("C:\\KORVANT Printer Driver"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteInstalledDirectory BEGIN",
                                                         "DIRECTORY : C:\\KORVANT Printer Driver\\ZMP-K40",
                                                         "DeleteInstalledDirectory END"}));
}

TEST(DeleteInstalledDirectory, ParentWithAnotherModelStaysSilently) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.machine->WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\a.txt", "a");
    run.machine->WriteFile("C:\\KORVANT Printer Driver\\ZMP-K30\\b.txt", "b");

    run.remover.DeleteInstalledDirectory();

    EXPECT_FALSE(run.machine->DirectoryExists("C:\\KORVANT Printer Driver\\ZMP-K40"));
    EXPECT_TRUE(run.machine->FileExists("C:\\KORVANT Printer Driver\\ZMP-K30\\b.txt"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteInstalledDirectory BEGIN",
                                                         "DIRECTORY : C:\\KORVANT Printer Driver\\ZMP-K40",
                                                         "DeleteInstalledDirectory END"}));
}

TEST(DeleteInstalledDirectory, NoModelFolderOnTheWindowsDrive) {
    RemoverRun run("2000", false, Variant::Uninstaller);
    sim::OsInfo os = run.machine->Os();
    os.windowsDirectory = "D:\\WINNT";
    run.machine->SetOs(os);
    run.machine->MakeDirectory("D:\\KORVANT Printer Driver");
    run.machine->WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\a.txt", "other drive");

    run.remover.DeleteInstalledDirectory();

    EXPECT_FALSE(run.machine->DirectoryExists("D:\\KORVANT Printer Driver"));
    EXPECT_TRUE(run.machine->FileExists("C:\\KORVANT Printer Driver\\ZMP-K40\\a.txt"));
    EXPECT_EQ(run.LogLines(),
              (std::vector<std::string>{"DeleteInstalledDirectory BEGIN", "DeleteInstalledDirectory END"}));
}

}  // namespace
}  // namespace zmp::test
