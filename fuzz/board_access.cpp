// The board accessors on a board of any size (0 included) holding any bytes. The input's
// first 8 bytes choose the access (offset int32, length and string room uint16), the rest is
// the board. Every access is checked against the board's bytes: inside the board it reads
// and writes exactly those bytes, beyond it it fails with -1 and touches nothing.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "ipc/qel_ipc.h"
#include "ipc/qel_shm.h"

namespace {

constexpr size_t kParams = 8;

// A board made by hand at exactly the input's size, opened as a client opens a host's board.
// Its name is removed at once: nothing is left in /dev/shm, whatever happens next.
QelBoard* open_board(const uint8_t* bytes, size_t size) {
    static const std::string name = "QEL_FUZZ_BOARD_" + std::to_string(getpid());
    const std::string object = "/" + name;
    shm_unlink(object.c_str());
    const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    fuzz::check(fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0, "shm board");
    fuzz::check(size == 0 || pwrite(fd, bytes, size, 0) == static_cast<ssize_t>(size), "shm board bytes");
    close(fd);
    QelBoard* board = QELipc_OpenBoard(name.c_str());
    shm_unlink(object.c_str());
    fuzz::check(board != nullptr, "a board that exists opens");
    return board;
}

bool inside(int64_t offset, int64_t length, int64_t size) {
    return size > 0 && offset >= 0 && length >= 0 && offset + length <= size;
}

// The board's whole content as the accessors see it.
std::vector<uint8_t> content(QelBoard* board, size_t size) {
    std::vector<uint8_t> bytes(size);
    fuzz::check(size == 0 || QELipc_ReadBoardBytes(board, 0, bytes.data(), static_cast<unsigned>(size)) == 0,
                "the whole board reads");
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t params[kParams] = {};
    std::memcpy(params, data, size < kParams ? size : kParams);
    int32_t offset;
    std::memcpy(&offset, params, 4);
    const unsigned length = params[4] | params[5] << 8;
    const unsigned room = params[6] | params[7] << 8;
    const uint8_t* bytes = size > kParams ? data + kParams : data;
    const size_t boardSize = size > kParams ? size - kParams : 0;
    std::vector<uint8_t> expected(bytes, bytes + boardSize);

    QelBoard* board = open_board(bytes, boardSize);
    const int64_t n = static_cast<int64_t>(boardSize);

    void* mapped = QELipc_MapBoard(board);
    fuzz::check((mapped != nullptr) == (n > 0), "a board maps unless it is empty");
    QELipc_UnmapBoard(mapped);

    int word = 0;
    const bool wordInside = inside(offset, 4, n);
    fuzz::check(QELipc_ReadBoardInt(board, offset, &word) == (wordInside ? 0 : -1), "int read bound");
    fuzz::check(!wordInside || std::memcmp(&word, bytes + offset, 4) == 0, "int read value");
    fuzz::check(QELipc_ReadBoardInt(board, offset, nullptr) == -1, "int read needs its output");

    std::vector<uint8_t> got(length + 1, 0xEE);
    const bool bytesInside = inside(offset, length, n);
    fuzz::check(QELipc_ReadBoardBytes(board, offset, got.data(), length) == (bytesInside ? 0 : -1), "bytes read bound");
    fuzz::check(!bytesInside || std::memcmp(got.data(), bytes + offset, length) == 0, "bytes read value");
    fuzz::check(got[length] == 0xEE, "bytes read stays in its buffer");

    std::vector<char> text(room + 1, 'Z');
    const bool textInside = room > 0 && inside(offset, 1, n);
    fuzz::check(QELipc_ReadBoardString(board, offset, text.data(), room) == (textInside ? 0 : -1), "string read bound");
    if (textInside) {
        const size_t limit = std::min<size_t>(static_cast<size_t>(n - offset), room - 1);
        size_t k = 0;
        while (k < limit && bytes[offset + k] != 0) ++k;
        fuzz::check(std::memcmp(text.data(), bytes + offset, k) == 0 && text[k] == '\0', "string read value");
    }
    fuzz::check(text[room] == 'Z', "string read stays in its buffer");

    // Writes: the same bounds, and nothing but the field changes.
    const int32_t pattern = 0x5A6B7C8D;
    fuzz::check(QELipc_WriteBoardInt(board, offset, pattern) == (wordInside ? 0 : -1), "int write bound");
    if (wordInside) std::memcpy(expected.data() + offset, &pattern, 4);
    std::vector<uint8_t> source(length, 0xA5);
    fuzz::check(QELipc_WriteBoardBytes(board, offset, source.data(), length) == (bytesInside ? 0 : -1),
                "bytes write bound");
    if (bytesInside && length > 0) std::memcpy(expected.data() + offset, source.data(), length);
    const std::string line(room % 64, 'q');
    const bool lineInside = inside(offset, static_cast<int64_t>(line.size()) + 1, n);
    fuzz::check(QELipc_WriteBoardString(board, offset, line.c_str()) == (lineInside ? 0 : -1), "string write bound");
    if (lineInside) std::memcpy(expected.data() + offset, line.c_str(), line.size() + 1);
    fuzz::check(content(board, boardSize) == expected, "writes change exactly their field");

    QELipc_CloseBoard(board);
    return 0;
}
