// The file-system layer against real files: the two tests, listing, folder creation and the atomic copy.
#include "fs/fsys.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using fsys::Path;

namespace {

// A name that is hidden on either platform: a leading dot for POSIX, the attribute for Windows.
void hide(const Path& path)
{
#ifdef _WIN32
    ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
#else
    (void)path;
#endif
}

void makeReadOnly(const Path& path)
{
#ifdef _WIN32
    ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_READONLY);
#else
    ::chmod(path.c_str(), 0444);
#endif
}

bool privileged()
{
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

class TempFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path()
            / (std::string("fsys-") + info->test_suite_name() + "-" + info->name() + "-"
               + std::to_string(fsys::detail::randomBits() % 1000000));
        fs::create_directories(root);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }

    // Names in the folder that belong to a copy in progress; a finished or failed copy leaves none.
    std::vector<std::string> temporaries() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(root)) {
            if (fsys::isTemporaryName(entry.path().filename()))
                found.push_back(entry.path().filename().string());
        }
        return found;
    }

    Path root;
};

using FolderAndFileTest = TempFolder;

// Each path with what the folder test and the file test say of it.
TEST_F(FolderAndFileTest, AnswerForThePathGiven)
{
    fs::create_directory(root / "BACKUP");
    fs::create_directory(root / "with space");
    writeBytes(root / "a.ZIP", "x");
    writeBytes(root / "empty.ZIP", "");
    writeBytes(root / "readonly.ZIP", "x");
    makeReadOnly(root / "readonly.ZIP");
    writeBytes(root / ".hidden.ZIP", "x");
    hide(root / ".hidden.ZIP");
    fs::create_directory(root / ".hiddenfolder");
    hide(root / ".hiddenfolder");
    writeBytes(root / ".hiddenfolder" / "inside.ZIP", "x");
    const struct
    {
        Path path;
        bool folder;
        bool file;
    } cases[] = {
        {root / "BACKUP", true, false},
        {root / "BACKUP" / "", true, false},
        {root / "missing", false, false},
        {Path(), false, false},
        {root / "a.ZIP", true, true}, // an existing ordinary file passes the folder test too
        {root / "empty.ZIP", true, true},
        {root / "readonly.ZIP", true, true},
        {root / ".hidden.ZIP", false, false},
        {root / ".hiddenfolder", false, false},
        // With a trailing separator the question is about the contents, which a hidden folder has like any other.
        {root / ".hiddenfolder" / "", true, false},
        // Only the last name counts, as for the platform's attribute.
        {root / ".hiddenfolder" / "inside.ZIP", true, true},
        // Wildcards are never expanded, and spaces are part of the path.
        {root / "*.ZIP", false, false},
        {root / "a.ZI?", false, false},
        {root / "with space", true, false},
        {root / " with space", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fsys::folderTest(c.path), c.folder) << c.path;
        EXPECT_EQ(fsys::fileTest(c.path), c.file) << c.path;
    }
}

#ifndef _WIN32
TEST_F(FolderAndFileTest, PosixSystemFilesAndLinks)
{
    ASSERT_EQ(::mkfifo((root / "pipe.ZIP").c_str(), 0600), 0);
    EXPECT_FALSE(fsys::fileTest(root / "pipe.ZIP"));
    EXPECT_FALSE(fsys::folderTest(root / "pipe.ZIP"));
    EXPECT_TRUE(fsys::attributes(root / "pipe.ZIP")->system);

    writeBytes(root / "real.ZIP", "x");
    fs::create_symlink(root / "real.ZIP", root / "link.ZIP");
    fs::create_symlink(root / "gone", root / "dangling.ZIP");
    EXPECT_TRUE(fsys::fileTest(root / "link.ZIP"));
    EXPECT_FALSE(fsys::fileTest(root / "dangling.ZIP"));

    // A name the platform would treat as a pattern elsewhere is just a name here.
    writeBytes(root / "a*b.ZIP", "x");
    EXPECT_TRUE(fsys::fileTest(root / "a*b.ZIP"));
}
#endif

using Listing = TempFolder;

TEST_F(Listing, ReportsEveryEntryWithItsKind)
{
    writeBytes(root / "b.zip", "x");
    writeBytes(root / ".hidden.ZIP", "x");
    hide(root / ".hidden.ZIP");
    fs::create_directory(root / "x.ZIP");
    std::error_code error;
    auto entries = fsys::listFolder(root, error);
    ASSERT_FALSE(error);
    std::map<std::string, fsys::EntryKind> kinds;
    for (const auto& entry : entries)
        kinds[entry.name.string()] = entry.kind;
    EXPECT_EQ(kinds.size(), 3u);
    EXPECT_EQ(kinds["b.zip"], fsys::EntryKind::OrdinaryFile);
    EXPECT_EQ(kinds[".hidden.ZIP"], fsys::EntryKind::Other);
    EXPECT_EQ(kinds["x.ZIP"], fsys::EntryKind::Folder);
}

TEST_F(Listing, MissingFolderIsAnError)
{
    std::error_code error;
    EXPECT_TRUE(fsys::listFolder(root / "missing", error).empty());
    EXPECT_TRUE(error);
}

using MakeFolder = TempFolder;

TEST_F(MakeFolder, CreatesOneLevelOnly)
{
    EXPECT_FALSE(fsys::makeFolder(root / "BACKUP"));
    EXPECT_TRUE(fsys::folderTest(root / "BACKUP"));
    EXPECT_TRUE(fsys::makeFolder(root / "BACKUP"));
    EXPECT_TRUE(fsys::makeFolder(root / "a" / "b"));
    EXPECT_FALSE(fs::exists(root / "a"));
}

TEST(ExecutableFolder, HoldsThisTest)
{
    const Path folder = fsys::executableFolder();
    ASSERT_TRUE(fsys::folderTest(folder));
    bool found = false;
    for (const auto& entry : fs::directory_iterator(folder))
        found = found || entry.path().filename().string().starts_with("fsys_test");
    EXPECT_TRUE(found);
}

using CopyReplace = TempFolder;

TEST_F(CopyReplace, TargetBecomesAByteForByteCopy)
{
    const std::string bytes = sampleBytes(20u << 20, 1); // more than one chunk
    writeBytes(root / "data1.vzd", bytes);
    EXPECT_FALSE(fsys::copyReplace(root / "data1.vzd", root / "new.ZIP"));
    EXPECT_EQ(readBytes(root / "new.ZIP"), bytes);
    writeBytes(root / "data1.vzd", "");
    EXPECT_FALSE(fsys::copyReplace(root / "data1.vzd", root / "new.ZIP")); // replaced, and empty is fine
    EXPECT_TRUE(fsys::fileTest(root / "new.ZIP"));
    EXPECT_EQ(fs::file_size(root / "new.ZIP"), 0u);
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(CopyReplace, BadSourcesAndMissingFoldersFailWithoutTouchingTheTarget)
{
    writeBytes(root / "old.ZIP", "old");
    fs::create_directory(root / "folder");
    for (const Path& source : {root / "missing", root / "folder", Path()}) {
        EXPECT_TRUE(fsys::copyReplace(source, root / "old.ZIP")) << source;
        EXPECT_EQ(readBytes(root / "old.ZIP"), "old");
    }
    EXPECT_EQ(fsys::copyReplace(root / "old.ZIP", root / "nowhere" / "x.ZIP").operation, "create");
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(CopyReplace, TargetsThatFailTheFileTestAreNeverReplaced)
{
    writeBytes(root / "data1.vzd", "new");
    fs::create_directory(root / "folder.ZIP");
    writeBytes(root / ".hidden.ZIP", "old");
    hide(root / ".hidden.ZIP");
    EXPECT_TRUE(fsys::copyReplace(root / "data1.vzd", root / "folder.ZIP"));
    EXPECT_TRUE(fs::is_directory(root / "folder.ZIP"));
    EXPECT_TRUE(fsys::copyReplace(root / "data1.vzd", root / ".hidden.ZIP"));
    EXPECT_EQ(readBytes(root / ".hidden.ZIP"), "old");
    EXPECT_TRUE(temporaries().empty());
}

// A failure at any step before the rename leaves the old target whole and no temporary file behind.
TEST_F(CopyReplace, FaultsBeforeTheRenameKeepTheOldTarget)
{
    writeBytes(root / "data1.vzd", sampleBytes(3u << 20, 4));
    for (const auto failing : {fsys::CopyStep::Created, fsys::CopyStep::Wrote, fsys::CopyStep::Flushed}) {
        writeBytes(root / "old.ZIP", "old backup");
        const auto error = fsys::copyReplace(root / "data1.vzd", root / "old.ZIP",
                                             [failing](fsys::CopyStep step, const Path&) -> std::error_code {
                                                 if (step == failing)
                                                     return std::make_error_code(std::errc::no_space_on_device);
                                                 return {};
                                             });
        EXPECT_EQ(error.code, std::make_error_code(std::errc::no_space_on_device));
        EXPECT_EQ(readBytes(root / "old.ZIP"), "old backup");
        EXPECT_TRUE(temporaries().empty());
    }
}

TEST_F(CopyReplace, FaultAfterTheRenameReportsFailureWithTheNewTargetWhole)
{
    writeBytes(root / "data1.vzd", "new");
    writeBytes(root / "old.ZIP", "old");
    const auto error = fsys::copyReplace(root / "data1.vzd", root / "old.ZIP", [](fsys::CopyStep step, const Path&) {
        return step == fsys::CopyStep::Renamed ? std::make_error_code(std::errc::io_error) : std::error_code {};
    });
    EXPECT_TRUE(error);
    EXPECT_EQ(readBytes(root / "old.ZIP"), "new");
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(CopyReplace, TemporaryFileIsBesideTheTargetAndNamedAsOurs)
{
    writeBytes(root / "data1.vzd", "new");
    fs::create_directory(root / "BACKUP");
    Path seen;
    EXPECT_FALSE(fsys::copyReplace(root / "data1.vzd", root / "BACKUP" / "x.ZIP",
                                   [&](fsys::CopyStep step, const Path& temporary) {
                                       if (step == fsys::CopyStep::Created)
                                           seen = temporary;
                                       return std::error_code {};
                                   }));
    EXPECT_EQ(seen.parent_path(), root / "BACKUP");
    EXPECT_TRUE(fsys::isTemporaryName(seen.filename()));
    // The temporary is an ordinary visible file, so the staging check of a restore can see it.
    EXPECT_FALSE(fsys::detail::hiddenName(seen));
}

TEST_F(CopyReplace, SourceChangedDuringTheCopyFails)
{
    writeBytes(root / "data1.vzd", sampleBytes(1u << 20, 5));
    writeBytes(root / "old.ZIP", "old");
    bool appended = false;
    const auto error = fsys::copyReplace(root / "data1.vzd", root / "old.ZIP", [&](fsys::CopyStep step, const Path&) {
        if (step == fsys::CopyStep::Wrote) {
            std::ofstream more(root / "data1.vzd", std::ios::binary | std::ios::app);
            more << "written by the host application meanwhile";
            appended = appended || more.good();
        }
        return std::error_code {};
    });
#ifdef _WIN32
    // Windows keeps writers out while the source is open for the copy, so the copy is whole.
    EXPECT_FALSE(appended);
    EXPECT_FALSE(error);
    EXPECT_EQ(readBytes(root / "old.ZIP"), sampleBytes(1u << 20, 5));
#else
    EXPECT_TRUE(appended);
    EXPECT_TRUE(error);
    EXPECT_EQ(readBytes(root / "old.ZIP"), "old");
#endif
    EXPECT_TRUE(temporaries().empty());
}

#ifndef _WIN32
TEST_F(CopyReplace, ReplacementKeepsThePermissionsOfTheOldFile)
{
    writeBytes(root / "data1.vzd", "new");
    writeBytes(root / "target", "old");
    ::chmod((root / "target").c_str(), 0640);
    ASSERT_FALSE(fsys::copyReplace(root / "data1.vzd", root / "target"));
    struct stat st;
    ASSERT_EQ(::stat((root / "target").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
#endif

TEST_F(Listing, ExtensionsAreMatchedByName)
{
    // Windows' short names make the platform's own "*.ZIP" pattern match "a.zipx"; the program never uses it.
    for (const char* name : {"a.zipx", "b.ZIP", "c.zip", "d.Zip", "zip", "e.zip.bak"})
        writeBytes(root / name, "x");
    std::error_code error;
    std::set<std::string> matched;
    for (const auto& entry : fsys::listFolder(root, error)) {
        if (fsys::hasExtension(entry.name, ".zip"))
            matched.insert(entry.name.string());
    }
    EXPECT_EQ(matched, (std::set<std::string> {"b.ZIP", "c.zip", "d.Zip"}));
}

TEST_F(CopyReplace, ChineseNames)
{
    const Path data = root / u8"账套";
    fs::create_directory(data);
    writeBytes(data / "data1.vzd", "books");
    const Path backup = data / u8"2026年12月06日备份.ZIP";
    ASSERT_FALSE(fsys::copyReplace(data / "data1.vzd", backup));
    EXPECT_TRUE(fsys::fileTest(backup));
    EXPECT_EQ(readBytes(backup), "books");
    std::error_code error;
    bool listed = false;
    for (const auto& entry : fsys::listFolder(data, error))
        listed = listed || entry.name == backup.filename();
    EXPECT_TRUE(listed);
}

#ifdef _WIN32
using WindowsOnly = TempFolder;

TEST_F(WindowsOnly, BackslashesAndTheRootOfTheCurrentDrive)
{
    fs::create_directory(root / "BACKUP");
    const std::wstring folder = root.wstring() + L"\\BACKUP";
    EXPECT_TRUE(fsys::folderTest(Path(folder)));
    EXPECT_TRUE(fsys::folderTest(Path(folder + L"\\")));
    // A lone backslash is the root of the current drive, where an empty path box would put a backup.
    EXPECT_TRUE(fsys::folderTest(Path(L"\\")));
    EXPECT_TRUE(fsys::attributes(Path(L"\\"))->directory);
}

TEST_F(WindowsOnly, HiddenSystemAndReadOnlyAttributes)
{
    const auto set = [](const Path& path, DWORD bits) {
        ASSERT_TRUE(::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | bits));
    };
    for (const char* name : {"hidden.ZIP", "system.ZIP", "both.ZIP", "readonly.ZIP"})
        writeBytes(root / name, "x");
    set(root / "hidden.ZIP", FILE_ATTRIBUTE_HIDDEN);
    set(root / "system.ZIP", FILE_ATTRIBUTE_SYSTEM);
    // Hidden and system first, then read-only: one combined call loses attributes.
    set(root / "both.ZIP", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    set(root / "both.ZIP", FILE_ATTRIBUTE_READONLY);
    set(root / "readonly.ZIP", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(fsys::fileTest(root / "hidden.ZIP"));
    EXPECT_FALSE(fsys::fileTest(root / "system.ZIP"));
    EXPECT_FALSE(fsys::fileTest(root / "both.ZIP"));
    EXPECT_TRUE(fsys::fileTest(root / "readonly.ZIP"));
    EXPECT_TRUE(fsys::attributes(root / "both.ZIP")->readOnly);

    std::error_code error;
    std::map<std::string, fsys::EntryKind> kinds;
    for (const auto& entry : fsys::listFolder(root, error))
        kinds[entry.name.string()] = entry.kind;
    EXPECT_EQ(kinds["hidden.ZIP"], fsys::EntryKind::Other);
    EXPECT_EQ(kinds["system.ZIP"], fsys::EntryKind::Other);
    EXPECT_EQ(kinds["readonly.ZIP"], fsys::EntryKind::OrdinaryFile);

    // Wine would let a rename replace these; the program refuses by their attributes.
    writeBytes(root / "data1.vzd", "new");
    for (const char* name : {"hidden.ZIP", "system.ZIP", "readonly.ZIP"}) {
        EXPECT_TRUE(fsys::copyReplace(root / "data1.vzd", root / name)) << name;
        EXPECT_EQ(readBytes(root / name), "x") << name;
    }
    EXPECT_TRUE(temporaries().empty());
}
#endif

// Permission cases: root ignores them, so ctest also runs this group as an unprivileged user.
using Permissions = TempFolder;

TEST_F(Permissions, ReadOnlyTargetIsNotReplaced)
{
    if (privileged())
        GTEST_SKIP() << "root may write anything";
    writeBytes(root / "data1.vzd", "new");
    writeBytes(root / "old.ZIP", "old");
    makeReadOnly(root / "old.ZIP");
    EXPECT_TRUE(fsys::attributes(root / "old.ZIP")->readOnly);
    EXPECT_TRUE(fsys::copyReplace(root / "data1.vzd", root / "old.ZIP"));
    EXPECT_EQ(readBytes(root / "old.ZIP"), "old");
    EXPECT_TRUE(temporaries().empty());
}

#ifndef _WIN32
TEST_F(Permissions, UnreadableSourceAndUnwritableFolderFail)
{
    if (privileged())
        GTEST_SKIP() << "root may read and write anything";
    writeBytes(root / "data1.vzd", "new");
    ::chmod((root / "data1.vzd").c_str(), 0);
    EXPECT_EQ(fsys::copyReplace(root / "data1.vzd", root / "x.ZIP").operation, "open");
    ::chmod((root / "data1.vzd").c_str(), 0600);

    fs::create_directory(root / "locked");
    ::chmod((root / "locked").c_str(), 0555);
    EXPECT_EQ(fsys::copyReplace(root / "data1.vzd", root / "locked" / "x.ZIP").operation, "create");
    EXPECT_TRUE(fsys::makeFolder(root / "locked" / "BACKUP"));
    ::chmod((root / "locked").c_str(), 0755);
}
#endif

} // namespace
