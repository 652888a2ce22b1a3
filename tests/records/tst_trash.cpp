// The copy a clear keeps in the desktop's trash, as the freedesktop.org Trash standard lays it out: the copy under
// the file's own name, numbered when the name is taken, an information file that leads back to the file, and the
// place and the system's error when the trash cannot take it. Each test has a data home of its own
// (ScopedWorkDir), so the user's trash is never touched.
#include "filesupport.h"
#include "records/trash.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace files;

namespace {

const std::string kCp932Ledger = "\x83\x65\x81\x5b\x83\x7d\x82\x50.TXT"; // テーマ１.TXT unpacked from a Windows archive

const std::string kABC = Deposit("A", "100") + Deposit("B", "20") + Deposit("C", "3");
const std::string kXYZ = Item("X", "1") + Item("Y", "2") + Item("Z", "3");

std::string HomeTrash(const ScopedWorkDir& dir) {
    return dir.dataHome() + "/Trash";
}

class Trash : public testing::Test {
protected:
    ScopedWorkDir m_dir;
};

} // namespace

TEST_F(Trash, CopyKeepsTheFileAsItWas) {
    WriteBytes(kLedgerName, kABC);
    ASSERT_EQ(chmod(kLedgerName, 0640), 0);
    const utimbuf times{1'200'000'000, 1'210'000'000};
    ASSERT_EQ(utime(kLedgerName, &times), 0);
    const std::time_t before = std::time(nullptr);
    const records::TrashedCopy copy = records::CopyToTrash(kLedgerName);
    ASSERT_TRUE(copy.status.ok()) << Describe(copy.status);
    const std::string trash = HomeTrash(m_dir);
    ASSERT_EQ(copy.path, trash + "/files/" + kLedgerName);

    const std::vector<Trashed> entries = TrashEntries(trash);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, kLedgerName);
    EXPECT_EQ(entries[0].bytes, kABC);
    EXPECT_EQ(TrashInfoFault(entries[0].info, Here(kLedgerName), before), "");
    struct stat kept {};
    ASSERT_EQ(stat(copy.path.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777, mode_t(0640));
    EXPECT_EQ(kept.st_mtime, time_t(1'210'000'000));
    for (const char* sub : {"", "/files", "/info"}) { // the user's own, as the standard asks
        ASSERT_EQ(stat((trash + sub).c_str(), &kept), 0);
        EXPECT_EQ(kept.st_mode & 07777, mode_t(0700));
    }
    EXPECT_EQ(ReadBytes(kLedgerName), kABC); // the file itself is left to the caller

    // The same name again: numbered as file managers number theirs, the first copy untouched.
    WriteBytes(kLedgerName, kABC + Deposit("D", "4"));
    ASSERT_TRUE(records::CopyToTrash(kLedgerName).status.ok());
    WriteBytes(kLedgerName, kABC.substr(0, 10));
    EXPECT_EQ(records::CopyToTrash(kLedgerName).path, trash + "/files/テーマ１.3.txt");
    const std::vector<Trashed> three = TrashEntries(trash);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0].bytes, kABC);
    EXPECT_EQ(three[1].name, "テーマ１.2.txt");
    EXPECT_EQ(three[1].bytes, kABC + Deposit("D", "4"));
    EXPECT_EQ(three[2].bytes, kABC.substr(0, 10));
    for (const Trashed& entry : three)
        EXPECT_EQ(TrashInfoFault(entry.info, Here(kLedgerName), before), "");
}

// The name the lookup finds is the one trashed, in its own bytes; a link leads to the file it points to, which
// is the one a clear empties.
TEST_F(Trash, NamesAsTheFileSystemHasThem) {
    WriteBytes(kCp932Ledger, kABC);
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(records::CopyToTrash(kLedgerName).status.ok());
    const std::vector<Trashed> entries = TrashEntries(HomeTrash(m_dir));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, kCp932Ledger);
    EXPECT_EQ(entries[0].bytes, kABC);
    EXPECT_EQ(TrashInfoFault(entries[0].info, Here(kCp932Ledger), before), "");
    EXPECT_NE(entries[0].info.find("/%83e%81%5B%83%7D%82P.TXT\n"), std::string::npos);

    ASSERT_EQ(mkdir("real", 0700), 0);
    WriteBytes("real/items.txt", kXYZ);
    ASSERT_EQ(symlink("real/items.txt", kItemsName), 0);
    ASSERT_TRUE(records::CopyToTrash(kItemsName).status.ok());
    const std::vector<Trashed> both = TrashEntries(HomeTrash(m_dir));
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].name, "items.txt");
    EXPECT_EQ(both[0].bytes, kXYZ);
    EXPECT_EQ(TrashInfoFault(both[0].info, Here("real/items.txt"), before), "");
}

// Names already in the trash, with or without their information, are never overwritten.
TEST_F(Trash, TakenNamesAreLeftAlone) {
    const std::string trash = HomeTrash(m_dir);
    for (const std::string& made : {trash, trash + "/files", trash + "/info"})
        ASSERT_EQ(mkdir(made.c_str(), 0700), 0);
    WriteBytes(trash + "/info/テーマ１.txt.trashinfo", "someone else's");
    WriteBytes(trash + "/files/テーマ１.2.txt", "a stray file");
    WriteBytes(kLedgerName, kABC);
    EXPECT_EQ(records::CopyToTrash(kLedgerName).path, trash + "/files/テーマ１.3.txt");
    EXPECT_EQ(ReadBytes(trash + "/info/テーマ１.txt.trashinfo"), "someone else's");
    EXPECT_EQ(ReadBytes(trash + "/files/テーマ１.2.txt"), "a stray file");
    EXPECT_EQ(ReadBytes(trash + "/files/テーマ１.3.txt"), kABC);
    EXPECT_FALSE(FileExists(trash + "/info/テーマ１.2.txt.trashinfo"));
}

TEST_F(Trash, NothingToKeep) {
    records::TrashedCopy copy = records::CopyToTrash(kLedgerName); // no file
    EXPECT_TRUE(copy.status.ok() && copy.path.empty());
    WriteBytes(kLedgerName, "");
    copy = records::CopyToTrash(kLedgerName);
    EXPECT_TRUE(copy.status.ok() && copy.path.empty());
    EXPECT_EQ(Listing(m_dir.dataHome()).size(), 2u); // "." and "..": not even a trash made
}

// Without a usable $XDG_DATA_HOME the home trash is under $HOME, made with the folders above it.
TEST_F(Trash, HomeTrashWithoutADataHome) {
    TemporaryDir home;
    const ScopedEnv homeEnv("HOME", home.path().c_str());
    for (const char* dataHome : {"relative/data", ""}) {
        const ScopedEnv dataHomeEnv("XDG_DATA_HOME", dataHome);
        WriteBytes(kLedgerName, kABC);
        ASSERT_TRUE(records::CopyToTrash(kLedgerName).status.ok());
    }
    const std::vector<Trashed> entries = TrashEntries(home.path() + "/.local/share/Trash");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].bytes, kABC);
    EXPECT_FALSE(FileExists("relative"));
}

// The status names the place and the system's error, and nothing is left in the trash; the file is untouched.
TEST_F(Trash, TrashThatCannotTakeIt) {
    const struct {
        const char* name;
        const char* inTheWay; // a file where the trash needs a directory
        rlim_t sizeLimit;     // a full disk, for the copy
        const char* named;    // the place the status names
        int error;
    } rows[] = {
        {"a file for the trash", "/Trash", 0, "/Trash", ENOTDIR},
        {"a file for its files", "/Trash/files", 0, "/Trash/files", ENOTDIR},
        {"a file for its information", "/Trash/info", 0, "/Trash/info", ENOTDIR},
        {"a full disk", "", 1000, "/Trash/files/テーマ１.txt", EFBIG},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedWorkDir dir;
        const std::string home = dir.dataHome();
        if (row.inTheWay[0] != '\0') {
            const std::string place = home + row.inTheWay;
            if (place.rfind('/') > home.size()) {
                ASSERT_EQ(mkdir(place.substr(0, place.rfind('/')).c_str(), 0700), 0);
            }
            WriteBytes(place, "not a directory");
        }
        std::string ledger;
        while (ledger.size() < 5000)
            ledger += kABC;
        WriteBytes(kLedgerName, ledger);
        records::TrashedCopy copy;
        {
            std::unique_ptr<FileSizeLimit> full;
            if (row.sizeLimit > 0)
                full = std::make_unique<FileSizeLimit>(row.sizeLimit);
            copy = records::CopyToTrash(kLedgerName);
        }
        EXPECT_EQ(copy.status.code(), records::Status::Code::System);
        EXPECT_EQ(copy.status.what(), records::Status::What::SystemCall);
        EXPECT_EQ(copy.status.place(), home + row.named);
        EXPECT_EQ(copy.status.error(), row.error);
        EXPECT_TRUE(copy.path.empty());
        EXPECT_EQ(ReadBytes(kLedgerName), ledger);
        EXPECT_TRUE(TrashEntries(home + "/Trash").empty());
        for (const char* sub : {"/Trash/files", "/Trash/info"})
            EXPECT_LE(Listing(home + sub).size(), 2u); // nothing but "." and "..", or no directory at all
    }
}

// A data folder on another file system than the home trash: the trash at the top of its own file system, with a
// path relative to that top, as the standard has it. /dev/shm is one where the machine has it apart.
TEST_F(Trash, OtherFileSystemUsesItsOwnTrash) {
    TemporaryDir there("/dev/shm/tsumotto-trash-XXXXXX");
    struct stat shm {
    }, home{};
    if (!there.valid() || stat(there.path().c_str(), &shm) != 0 || stat(m_dir.dataHome().c_str(), &home) != 0 ||
        shm.st_dev == home.st_dev)
        GTEST_SKIP() << "no file system apart from the temporary directory's";
    const std::string back = Here("");
    ASSERT_EQ(chdir(there.path().c_str()), 0);
    WriteBytes(kLedgerName, kABC);
    const std::time_t before = std::time(nullptr);
    const records::TrashedCopy copy = records::CopyToTrash(kLedgerName);
    const std::string relative = Here(kLedgerName);
    ASSERT_EQ(chdir(back.c_str()), 0);
    ASSERT_TRUE(copy.status.ok()) << Describe(copy.status);

    // The top of the file system, where it is mounted: the longest mount point the folder is in.
    std::string top = "/";
    std::ifstream mounts("/proc/self/mounts");
    for (std::string device, point, rest; mounts >> device >> point && std::getline(mounts, rest);)
        if (point.size() > top.size() && there.path().starts_with(point) && there.path()[point.size()] == '/')
            top = point;
    const std::string uid = std::to_string(getuid());
    const std::string trash = copy.path.substr(0, copy.path.rfind("/files/"));
    ASSERT_TRUE(trash == top + "/.Trash-" + uid || trash == top + "/.Trash/" + uid) << copy.path;
    std::string ours; // this test's entry, among any others the machine's trash there holds
    for (const Trashed& entry : TrashEntries(trash))
        if (trash + "/files/" + entry.name == copy.path)
            ours = entry.info;
    EXPECT_EQ(TrashInfoFault(ours, relative.substr(top.size() + 1), before), "");
    EXPECT_EQ(ReadBytes(copy.path), kABC);
    EXPECT_TRUE(TrashEntries(HomeTrash(m_dir)).empty());
    const std::string info = trash + "/info/" + copy.path.substr(copy.path.rfind('/') + 1) + ".trashinfo";
    EXPECT_TRUE(unlink(copy.path.c_str()) == 0 && unlink(info.c_str()) == 0);
    for (const std::string& made : {trash + "/files", trash + "/info", trash}) // only when nothing else is there
        (void)rmdir(made.c_str());
}
