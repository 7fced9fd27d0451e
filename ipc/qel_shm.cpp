// POSIX shared memory behind the five board operations.
#include "ipc/qel_shm.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

struct QelBoard {
    int fd;
    int created;   // this process created the object, so it removes the name on close
    dev_t device;  // identity of the object, to recognise the name still being ours
    ino_t inode;
    char name[256];  // "/" + board name
};

namespace qel::ipc {
namespace {

thread_local unsigned long t_opens = 0;
thread_local unsigned long t_maps = 0;

// Unmapping is given only the address, so the length of every live mapping is kept here.
// The in-process test host maps boards from its own thread, hence the lock.
std::mutex& mapping_lock() {
    static std::mutex m;
    return m;
}
std::unordered_map<const void*, size_t>& mappings() {
    static std::unordered_map<const void*, size_t> m;
    return m;
}

// The POSIX object name: a leading '/' and the board name, which must not contain '/'.
bool object_name(const char* name, char* out, size_t size) {
    if (!name || !*name || std::strchr(name, '/')) return false;
    int n = std::snprintf(out, size, "/%s", name);
    return n > 0 && static_cast<size_t>(n) < size;
}

QelBoard* new_board(int fd, const char* object, int created) {
    struct stat st;
    if (fstat(fd, &st) != 0) return nullptr;
    auto* b = static_cast<QelBoard*>(std::calloc(1, sizeof(QelBoard)));
    if (!b) return nullptr;
    b->fd = fd;
    b->created = created;
    b->device = st.st_dev;
    b->inode = st.st_ino;
    std::snprintf(b->name, sizeof b->name, "%s", object);
    return b;
}

}  // namespace

void* map_board(QelBoard* board, size_t* length) {
    if (!board) return nullptr;
    // The size is asked every time: the whole object is mapped, never more than it holds.
    struct stat st;
    if (fstat(board->fd, &st) != 0 || st.st_size <= 0) return nullptr;
    size_t size = static_cast<size_t>(st.st_size);
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, board->fd, 0);
    if (p == MAP_FAILED) return nullptr;
    ++t_maps;
    {
        std::lock_guard<std::mutex> lock(mapping_lock());
        mappings()[p] = size;
    }
    if (length) *length = size;
    return p;
}

int remove_board_name(const char* name) {
    char object[256];
    if (!object_name(name, object, sizeof object)) return -1;
    return shm_unlink(object) == 0 ? 0 : -1;
}

bool board_identity(QelBoard* board, BoardIdentity* identity) {
    if (!board || !identity) return false;
    identity->device = board->device;
    identity->inode = board->inode;
    return true;
}

unsigned long board_opens_on_this_thread() { return t_opens; }
unsigned long board_maps_on_this_thread() { return t_maps; }

}  // namespace qel::ipc

QelBoard* QELipc_CreateBoard(const char* name, unsigned size) {
    char object[256];
    if (size == 0 || !qel::ipc::object_name(name, object, sizeof object)) return nullptr;
    int fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) {
        // A board of this name is left over (its creator died, or an old data board):
        // the new one replaces it; whoever still has the old one open keeps it.
        shm_unlink(object);
        fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL, 0600);
    }
    if (fd < 0) return nullptr;
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close(fd);
        shm_unlink(object);
        return nullptr;
    }
    QelBoard* b = qel::ipc::new_board(fd, object, 1);
    if (!b) {
        close(fd);
        shm_unlink(object);
    }
    return b;
}

QelBoard* QELipc_OpenBoard(const char* name) {
    char object[256];
    if (!qel::ipc::object_name(name, object, sizeof object)) return nullptr;
    int fd = shm_open(object, O_RDWR, 0);  // shm_open sets close-on-exec
    if (fd < 0) return nullptr;
    ++qel::ipc::t_opens;
    QelBoard* b = qel::ipc::new_board(fd, object, 0);
    if (!b) close(fd);
    return b;
}

void* QELipc_MapBoard(QelBoard* board) { return qel::ipc::map_board(board, nullptr); }

int QELipc_UnmapBoard(const void* address) {
    size_t size = 0;
    {
        std::lock_guard<std::mutex> lock(qel::ipc::mapping_lock());
        auto& m = qel::ipc::mappings();
        auto it = m.find(address);
        if (it == m.end()) return 0;
        size = it->second;
        m.erase(it);
    }
    munmap(const_cast<void*>(address), size);
    return 0;
}

int QELipc_CloseBoard(QelBoard* board) {
    if (!board) return 0;
    if (board->created) {
        // Remove the name only while it still names our object: a later creator may have
        // replaced it, and that board is not ours to remove.
        int fd = shm_open(board->name, O_RDONLY, 0);
        if (fd >= 0) {
            struct stat st;
            if (fstat(fd, &st) == 0 && st.st_dev == board->device && st.st_ino == board->inode)
                shm_unlink(board->name);
            close(fd);
        }
    }
    close(board->fd);
    std::free(board);
    return 0;
}
