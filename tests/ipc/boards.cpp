// Board names, the five board operations and the board accessors.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ipc/ipc_test.hpp"

using namespace ipctest;

namespace {

bool shm_exists(const std::string& name) {
    struct stat st;
    return stat(("/dev/shm/" + name).c_str(), &st) == 0;
}

class Boards : public IpcTest {};

}  // namespace

TEST_F(Boards, NamesCarryTheServerIdWithAtLeastFourDigits) {
    // No host runs for these IDs: the names are formed even though opening fails.
    struct Case {
        int id;
        const char* bb;
        const char* mb;
        const char* rb;
        const char* db;
    } cases[] = {
        {7, "QEL_IPC_BB(0007)", "QEL_IPC_MB(0007)", "QEL_IPC_RB(0007)", "QEL_IPC_DB(0007)"},
        {12345, "QEL_IPC_BB(12345)", "QEL_IPC_MB(12345)", "QEL_IPC_RB(12345)", "QEL_IPC_DB(12345)"},
    };
    for (const Case& c : cases) {
        if (!shm_objects_of(c.id).empty()) GTEST_SKIP() << "a host of server " << c.id << " runs here";
        EXPECT_EQ(QELipc_InitializeClient("Names", c.id), -1);
        const auto& s = qel::ipc::client();
        EXPECT_EQ(s.serverID, c.id);
        EXPECT_STREQ(s.bbName, c.bb);
        EXPECT_STREQ(s.mbName, c.mb);
        EXPECT_STREQ(s.rbName, c.rb);
        EXPECT_STREQ(s.dbName, c.db);
    }
}

TEST_F(Boards, BoardIsThePosixObjectOfItsName) {
    int id = qel::testhost::unique_server_id();
    std::string name = board_name("QEL_IPC_BB", id);
    QelBoard* created = QELipc_CreateBoard(name.c_str(), 300);
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(shm_exists(name));

    // Another side opening the object by its POSIX name sees what the board holds.
    int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    struct stat st;
    ASSERT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 300);
    ASSERT_EQ(QELipc_WriteBoardInt(created, 16, 0x12345678), 0);
    int word = 0;
    ASSERT_EQ(pread(fd, &word, 4, 16), 4);
    EXPECT_EQ(word, 0x12345678);
    close(fd);

    QelBoard* opened = QELipc_OpenBoard(name.c_str());
    ASSERT_NE(opened, nullptr);
    size_t length = 0;
    void* p = qel::ipc::map_board(opened, &length);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(length, 300u);
    EXPECT_EQ(QELipc_UnmapBoard(p), 0);

    // Only the creator removes the name.
    EXPECT_EQ(QELipc_CloseBoard(opened), 0);
    EXPECT_TRUE(shm_exists(name));
    EXPECT_EQ(QELipc_CloseBoard(created), 0);
    EXPECT_FALSE(shm_exists(name));
    EXPECT_EQ(QELipc_OpenBoard(name.c_str()), nullptr);
    expect_no_boards(id);
}

TEST_F(Boards, CreatingOverAStaleBoardReplacesIt) {
    int id = qel::testhost::unique_server_id();
    std::string name = board_name("QEL_IPC_DB", id);
    QelBoard* stale = QELipc_CreateBoard(name.c_str(), 64);
    ASSERT_NE(stale, nullptr);
    ASSERT_EQ(QELipc_WriteBoardInt(stale, 0, 77), 0);

    QelBoard* fresh = QELipc_CreateBoard(name.c_str(), 128);
    ASSERT_NE(fresh, nullptr);
    int v = -1;
    ASSERT_EQ(QELipc_ReadBoardInt(fresh, 0, &v), 0);
    EXPECT_EQ(v, 0);
    // The old holder keeps its own object.
    ASSERT_EQ(QELipc_ReadBoardInt(stale, 0, &v), 0);
    EXPECT_EQ(v, 77);
    QelBoard* opened = QELipc_OpenBoard(name.c_str());
    size_t length = 0;
    void* p = qel::ipc::map_board(opened, &length);
    EXPECT_EQ(length, 128u);
    QELipc_UnmapBoard(p);
    QELipc_CloseBoard(opened);

    // Closing the replaced board leaves the new board's name alone.
    QELipc_CloseBoard(stale);
    EXPECT_TRUE(shm_exists(name));
    QELipc_CloseBoard(fresh);
    EXPECT_FALSE(shm_exists(name));
    expect_no_boards(id);
}

TEST_F(Boards, RefusedNamesSizesAndHandles) {
    EXPECT_EQ(QELipc_CreateBoard("QEL_IPC_BB(0001)", 0), nullptr);
    EXPECT_EQ(QELipc_CreateBoard("a/b", 16), nullptr);
    EXPECT_EQ(QELipc_CreateBoard("", 16), nullptr);
    EXPECT_EQ(QELipc_CreateBoard(nullptr, 16), nullptr);
    EXPECT_EQ(QELipc_OpenBoard(nullptr), nullptr);
    EXPECT_EQ(QELipc_MapBoard(nullptr), nullptr);
    EXPECT_EQ(QELipc_CloseBoard(nullptr), 0);
    int local = 0;
    EXPECT_EQ(QELipc_UnmapBoard(&local), 0);  // not a mapping: ignored
    int v;
    EXPECT_EQ(QELipc_ReadBoardInt(nullptr, 0, &v), -1);
    EXPECT_EQ(QELipc_WriteBoardInt(nullptr, 0, 1), -1);
}

TEST_F(Boards, AccessorsStayInsideTheBoardAndMapOncePerAccess) {
    int id = qel::testhost::unique_server_id();
    std::string name = board_name("QEL_IPC_MB", id);
    QelBoard* b = QELipc_CreateBoard(name.c_str(), 100);
    ASSERT_NE(b, nullptr);
    MapCount maps;
    int v = 0;
    EXPECT_EQ(QELipc_WriteBoardInt(b, 96, -5), 0);
    EXPECT_EQ(QELipc_ReadBoardInt(b, 96, &v), 0);
    EXPECT_EQ(v, -5);
    EXPECT_EQ(maps(), 2u);
    EXPECT_EQ(QELipc_ReadBoardInt(b, 97, &v), -1);
    EXPECT_EQ(QELipc_WriteBoardInt(b, 100, 1), -1);
    EXPECT_EQ(QELipc_ReadBoardInt(b, -4, &v), -1);

    unsigned char all[100];
    EXPECT_EQ(QELipc_ReadBoardBytes(b, 0, all, 100), 0);
    EXPECT_EQ(QELipc_ReadBoardBytes(b, 1, all, 100), -1);
    EXPECT_EQ(QELipc_WriteBoardBytes(b, 99, all, 2), -1);
    EXPECT_EQ(QELipc_WriteBoardBytes(b, 100, all, 0), 0);

    EXPECT_EQ(QELipc_WriteBoardString(b, 95, "abcd"), 0);   // 5 bytes end at 100
    EXPECT_EQ(QELipc_WriteBoardString(b, 95, "abcde"), -1);
    char text[64];
    EXPECT_EQ(QELipc_ReadBoardString(b, 95, text, sizeof text), 0);
    EXPECT_STREQ(text, "abcd");

    // A string without its NUL ends at the caller's room or at the end of the board.
    std::memset(all, 'x', sizeof all);
    ASSERT_EQ(QELipc_WriteBoardBytes(b, 0, all, 100), 0);
    EXPECT_EQ(QELipc_ReadBoardString(b, 90, text, sizeof text), 0);
    EXPECT_STREQ(text, "xxxxxxxxxx");
    EXPECT_EQ(QELipc_ReadBoardString(b, 0, text, 4), 0);
    EXPECT_STREQ(text, "xxx");
    EXPECT_EQ(QELipc_ReadBoardString(b, 100, text, sizeof text), -1);
    EXPECT_EQ(QELipc_ReadBoardString(b, 0, text, 0), -1);

    // A refused access still maps only once; nothing is left mapped.
    unsigned long before = maps();
    EXPECT_EQ(QELipc_ReadBoardInt(b, 200, &v), -1);
    EXPECT_EQ(maps() - before, 1u);
    QELipc_CloseBoard(b);
    expect_no_boards(id);
}

TEST_F(Boards, AnEmptyBoardCannotBeMapped) {
    int id = qel::testhost::unique_server_id();
    std::string name = board_name("QEL_IPC_BB", id);
    QelBoard* b = QELipc_CreateBoard(name.c_str(), 64);
    ASSERT_NE(b, nullptr);
    int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    close(fd);
    EXPECT_EQ(QELipc_MapBoard(b), nullptr);
    int v;
    EXPECT_EQ(QELipc_ReadBoardInt(b, 0, &v), -1);
    QELipc_CloseBoard(b);
    expect_no_boards(id);
}
