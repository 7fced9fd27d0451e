// The test host's boards and serving loop.
//
// The client busy-polls and re-posts a request that waits for acceptance before every test
// of MB, so the host sees most requests several times, and RB holds one request at a time.
// The host therefore takes a request only when two snapshots agree (the client writes ID,
// block and code in that order), consumes it by swapping the code for the empty mark (a
// newer code written meanwhile is never wiped out), and recognises a re-post as the same
// request while its acceptance is still shown.
#include "testhost/qel_testhost.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ipc/qel_ipc_client.hpp"
#include "ipc/qel_ipc_layout.hpp"
#include "ipc/qel_shm.hpp"

extern char** environ;

namespace qel::testhost {
namespace {

using namespace qel::ipc;
using Clock = std::chrono::steady_clock;

// The smallest boards that the client may rely on, so that its bounds are exercised.
constexpr unsigned kRequestBoardSize = kRequestBoardUsed;
constexpr unsigned kMessageBoardSize = kRequestBoardUsed;
constexpr unsigned kBroadcastBoardSize = kBroadcastBoardUsed;
// RB offsets 8..47: the client's ID and its NUL, before the block.
constexpr int kRbClientIdBytes = kRbBlock - kRbClientId;
// After this long without a request the loop naps between polls instead of spinning.
constexpr auto kBusyPeriod = std::chrono::milliseconds(20);
constexpr auto kNap = std::chrono::microseconds(100);
// How long a request that may be a left-over re-post waits for the client's next post.
constexpr auto kSettlePeriod = std::chrono::milliseconds(100);
// Far below the client's time between two posts (several board mappings).
constexpr auto kFreshWindow = std::chrono::microseconds(5);
// Far above it: RB empty this long means the client has most likely stopped re-posting (a
// client held up longer is recognised by its late re-posts).
constexpr auto kQuietPeriod = std::chrono::milliseconds(20);

// Requests that the client sends with wait, and the host therefore accepts.
bool accepts(int code) {
    switch (code) {
    case QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA:
    case QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA:
    case QELipc_REQUEST_TYPE_CLOSE_DATABOARD:
    case QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA:
    case QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA:
    case QELipc_REQUEST_TYPE_DOWNLOAD_LOCKED_VOLUMEDATA:
    case QELipc_REQUEST_TYPE_RENDER_3D_IMAGE:
    case QELipc_REQUEST_TYPE_SET_CURSOR_POSITION:
    case QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST:
    case QELipc_REQUEST_TYPE_SET_GREYSCALE:
    case QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL:
    case QELipc_REQUEST_TYPE_SET_VIEW_PARAMETERS:
    case QELipc_REQUEST_TYPE_SET_STATE:
    case QELipc_REQUEST_TYPE_DELETE_DATA_OBJECT_GROUP:
    case QELipc_REQUEST_TYPE_QUERY_INT3: return true;
    default: return false;
    }
}

bool same_block(const QelIpcParameterBlock& a, const QelIpcParameterBlock& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

void store_float(unsigned char* board, int offset, float f) {
    int32_t w;
    std::memcpy(&w, &f, sizeof w);
    store_word(board + offset, w);
}

}  // namespace

float Request::real(int i) const { return block_float(block, i); }

int32_t Request::word_at(int offset) const {
    int32_t w;
    std::memcpy(&w, reinterpret_cast<const unsigned char*>(&block) + offset, sizeof w);
    return w;
}

float Request::real_at(int offset) const {
    float f;
    std::memcpy(&f, reinterpret_cast<const unsigned char*>(&block) + offset, sizeof f);
    return f;
}

uint16_t Request::half_at(int offset) const {
    uint16_t h;
    std::memcpy(&h, reinterpret_cast<const unsigned char*>(&block) + offset, sizeof h);
    return h;
}

std::unique_ptr<Host> Host::start(int serverID) {
    std::unique_ptr<Host> host(new Host());
    host->id_ = serverID != 0 ? serverID : unique_server_id();
    char name[kBoardNameSize];
    format_board_name(name, sizeof name, kBroadcastStem, host->id_);
    host->bb_ = QELipc_CreateBoard(name, kBroadcastBoardSize);
    format_board_name(name, sizeof name, kMessageStem, host->id_);
    host->mb_ = QELipc_CreateBoard(name, kMessageBoardSize);
    format_board_name(name, sizeof name, kRequestStem, host->id_);
    host->rb_ = QELipc_CreateBoard(name, kRequestBoardSize);
    // The host keeps its boards mapped; the one-access-one-mapping rule is the client's.
    host->bbp_ = static_cast<unsigned char*>(QELipc_MapBoard(host->bb_));
    host->mbp_ = static_cast<unsigned char*>(QELipc_MapBoard(host->mb_));
    host->rbp_ = static_cast<unsigned char*>(QELipc_MapBoard(host->rb_));
    if (!host->bbp_ || !host->mbp_ || !host->rbp_) return nullptr;

    store_word(host->rbp_ + kRbCode, QELipc_NO_VALUE);
    store_word(host->mbp_ + kMbAccepted, QELipc_NO_VALUE);
    store_word(host->mbp_ + kMbCode, QELipc_NO_VALUE);
    {
        std::lock_guard<std::mutex> lock(host->mutex_);
        host->publish_state();
        host->publish_connection();
    }
    host->thread_ = std::thread(&Host::serve, host.get());
    return host;
}

Host::~Host() {
    stop();
    delete_data();
}

void Host::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        thread_.join();
    }
    QELipc_UnmapBoard(bbp_);
    QELipc_UnmapBoard(mbp_);
    QELipc_UnmapBoard(rbp_);
    bbp_ = mbp_ = rbp_ = nullptr;
    QELipc_CloseBoard(bb_);
    QELipc_CloseBoard(mb_);
    QELipc_CloseBoard(rb_);
    bb_ = mb_ = rb_ = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        close_board();
    }
    if (id_ != 0) {
        // A plug-in that died between creating its data board and closing it leaves the
        // name behind; it belongs to this server ID, so it goes too.
        char name[kBoardNameSize];
        format_board_name(name, sizeof name, kDataStem, id_);
        remove_board_name(name);
    }
}

HostState Host::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void Host::set_state(const HostState& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
    publish_state();
}

bool Host::connected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
}

std::string Host::connected_client() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_ ? client_ : std::string();
}

void Host::set_connection(bool connected, const std::string& clientID) {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = connected;
    client_ = clientID;
    publish_connection();
}

bool Host::locked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return locked_;
}

std::vector<Request> Host::log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::vector<int> Host::codes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int> codes;
    for (const Request& r : log_) codes.push_back(r.code);
    return codes;
}

bool Host::wait_for_requests(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return logged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return log_.size() >= count; });
}

void Host::clear_log() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

void Host::serve() {
    auto last_request = Clock::now();
    while (!stopping_) {
        if (poll()) {
            last_request = Clock::now();
            continue;
        }
        auto quiet = Clock::now() - last_request;
        if (quiet >= kQuietPeriod) post_pending();
        if (quiet > kBusyPeriod)
            std::this_thread::sleep_for(kNap);
        else
            cpu_relax();
    }
}

// The client re-posts a request until it sees its acceptance; a message that replaced the
// acceptance before that would leave it re-posting for ever. RB quiet for a while means it
// has seen it.
void Host::post_pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending_) return;
    store_bytes(mbp_ + kMbBlock, &pending_->block, sizeof pending_->block);
    store_word(mbp_ + kMbCode, pending_->code);
    completed_ = pending_;
    pending_.reset();
}

// True when RB held a request (taken or not yet settled).
bool Host::poll() {
    // The time is taken before the look: a host held up in between must not date its
    // observation later than it was made.
    auto now = Clock::now();
    if (load_word(rbp_ + kRbCode) == QELipc_NO_VALUE) {
        last_empty_ = now;
        return false;
    }
    Request r;
    if (!take_request(&r)) return true;
    // Seen empty just before the request was taken: its code was written moments ago, over
    // the block of the same post (the client needs far longer than this between two posts).
    // Measured after the taking, so that a host held up while taking it does not count.
    bool fresh = Clock::now() - last_empty_ < kFreshWindow;
    handle(r, fresh);
    return true;
}

bool Host::take_request(Request* r) {
    auto snapshot = [&](Request* s) {
        s->code = load_word(rbp_ + kRbCode);
        char id[kRbClientIdBytes + 1];
        load_bytes(id, rbp_ + kRbClientId, kRbClientIdBytes);
        id[kRbClientIdBytes] = '\0';
        s->clientID = id;
        load_bytes(&s->block, rbp_ + kRbBlock, sizeof s->block);
    };
    // Settled: the client has finished writing when two snapshots agree and the code stayed.
    Request again;
    snapshot(r);
    snapshot(&again);
    if (again.code != r->code || again.clientID != r->clientID || !same_block(again.block, r->block))
        return false;
    int32_t expected = r->code;
    return __atomic_compare_exchange_n(reinterpret_cast<int32_t*>(rbp_ + kRbCode), &expected,
                                       QELipc_NO_VALUE, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

bool Host::acceptance_shown(int code) const {
    return load_word(mbp_ + kMbCode) == QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED &&
           load_word(mbp_ + kMbAccepted) == code;
}

// Caller holds the lock. A re-post changes nothing and is not logged again.
bool Host::is_repost(const Request& r) const {
    if (held_ && r.code == held_->code && r.clientID == held_->clientID &&
        same_block(r.block, held_->block))
        return true;
    if (r.code == QELipc_REQUEST_TYPE_CONNECTION) return connected_ && client_ == r.clientID;
    if (!last_ || r.code != last_->code || r.clientID != last_->clientID) return false;
    // A connection attempt that times out re-posts its disconnection while the server is free.
    if (r.code == QELipc_REQUEST_TYPE_DISCONNECTION) return !connected_;
    return accepts(r.code) && same_block(r.block, last_->block) && acceptance_shown(r.code);
}

// Waits a little for the client's next post and tells its code and block, without taking it.
bool Host::next_post(int32_t* code, QelIpcParameterBlock* block) {
    auto until = Clock::now() + kSettlePeriod;
    while (Clock::now() < until && !stopping_) {
        int32_t next = load_word(rbp_ + kRbCode);
        if (next != QELipc_NO_VALUE) {
            *code = next;
            load_bytes(block, rbp_ + kRbBlock, sizeof *block);
            return true;
        }
        cpu_relax();
    }
    return false;
}

// A request of the code just accepted, from the same client, which is not a plain re-post:
// - same block, but the acceptance is gone (the client cleared MB): the client's last
//   re-post landing late, or the same request sent anew. Only the latter is re-posted again.
// - another block, taken late: RB may show the last re-post's code over the block of the
//   client's next request, whose code then follows over exactly that block. Connection
//   requests write no block, and a request sent anew is re-posted with its own block.
bool Host::is_left_over(const Request& r, bool fresh) {
    bool same;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!last_ || !accepts(r.code) || r.code != last_->code || r.clientID != last_->clientID)
            return false;
        same = same_block(r.block, last_->block);
    }
    if (!same && fresh) return false;
    int32_t next;
    QelIpcParameterBlock block;
    bool posted = next_post(&next, &block);
    bool reposted = posted && next == r.code && same_block(block, r.block);
    if (same) return !reposted;
    return posted && !reposted && next != QELipc_REQUEST_TYPE_CONNECTION &&
           next != QELipc_REQUEST_TYPE_DISCONNECTION && same_block(block, r.block);
}

void Host::handle(const Request& r, bool fresh) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (is_repost(r)) return;
    }
    switch (late_repost(r)) {
    case Late::Repost: {
        // Served already, but the client missed the acceptance: show it again and complete
        // again once the client has seen it this time.
        std::lock_guard<std::mutex> lock(mutex_);
        store_word(mbp_ + kMbAccepted, r.code);
        store_word(mbp_ + kMbCode, QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED);
        pending_ = completed_;
        completed_.reset();
        return;
    }
    case Late::Stale: return;
    case Late::No: break;
    }
    if (is_left_over(r, fresh)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(r);
    last_ = r;
    pending_.reset();
    completed_.reset();
    if (std::find(faults_.held.begin(), faults_.held.end(), r.code) != faults_.held.end())
        held_ = r;
    else
        respond(r);
    logged_.notify_all();
}

// Caller holds the lock.
void Host::respond(const Request& r) {
    apply(r);
    std::optional<Message> message = serve_data(r);
    if (accepts(r.code)) {
        // The accepted code before the message code: a client that sees 22 sees which request.
        store_word(mbp_ + kMbAccepted, r.code);
        store_word(mbp_ + kMbCode, QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED);
    }
    if (!message || std::find(faults_.silent.begin(), faults_.silent.end(), r.code) !=
                        faults_.silent.end())
        return;
    if (accepts(r.code)) {
        pending_ = message;
        return;
    }
    // The block before the code: a client that sees the code reads the block of this message.
    store_bytes(mbp_ + kMbBlock, &message->block, sizeof message->block);
    store_word(mbp_ + kMbCode, message->code);
}

// The same request once more after the host completed it, while the client still holds the
// board that the host read. Either the client's re-post landed after the completion had
// replaced the acceptance, so that the client never saw it accepted and goes on re-posting
// (Repost); or the client wrote its last re-post just before it saw the acceptance, and the
// host took it only after the completion (Stale). A request sent anew comes with a new board.
Host::Late Host::late_repost(const Request& r) {
    char name[kBoardNameSize];
    format_board_name(name, sizeof name, kDataStem, id_);
    auto board_is_read_one = [&] {
        QelBoard* board = QELipc_OpenBoard(name);
        BoardIdentity now;
        bool same = board_identity(board, &now) && boardRead_ && now == *boardRead_;
        QELipc_CloseBoard(board);
        return same;
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!completed_ || !last_ || r.code != last_->code || r.clientID != last_->clientID ||
            !same_block(r.block, last_->block) || !board_is_read_one())
            return Late::No;
    }
    int32_t next;
    QelIpcParameterBlock block;
    bool reposting = next_post(&next, &block) && next == r.code && same_block(block, r.block);
    std::lock_guard<std::mutex> lock(mutex_);
    return reposting && completed_ && board_is_read_one() ? Late::Repost : Late::Stale;
}

// Caller holds the lock.
void Host::apply(const Request& r) {
    HostState& s = state_;
    switch (r.code) {
    case QELipc_REQUEST_TYPE_CONNECTION:
        if (!connected_) {
            connected_ = true;
            client_ = r.clientID;
            publish_connection();
        }
        return;
    case QELipc_REQUEST_TYPE_DISCONNECTION:
        connected_ = false;
        publish_connection();
        return;
    case QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA: locked_ = true; return;
    case QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA: locked_ = false; return;
    case QELipc_REQUEST_TYPE_SET_VOXEL_SIZE: s.voxelSize = r.real(0); return;
    case QELipc_REQUEST_TYPE_SET_CURSOR_POSITION:
        for (int i = 0; i < 3; ++i) s.cursor[i] = r.real(i);
        break;
    case QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST:
        for (int i = 0; i < 3; ++i) {
            s.voiOrigin[i] = r.word(i);
            s.voiSize[i] = r.word(3 + i);
        }
        break;
    case QELipc_REQUEST_TYPE_SET_GREYSCALE:
        s.greyscale[0] = r.real(0);
        s.greyscale[1] = r.real(1);
        break;
    case QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL: s.channelID = r.word(0); break;
    case QELipc_REQUEST_TYPE_SET_VIEW_PARAMETERS:
        for (int i = 0; i < 12; ++i) s.view[i] = r.real(i);
        s.distance = r.real(12);
        s.viewAngle = r.real(13);
        break;
    case QELipc_REQUEST_TYPE_SET_STATE: {
        // The block holds the whole state in the BB layout; the mask says what to take.
        uint16_t mask = r.half_at(kApplyMask);
        if (mask & QELipc_APPLY_CURSOR_POSITION)
            for (int i = 0; i < 3; ++i) s.cursor[i] = r.real_at(kBbCursor + 4 * i);
        if (mask & QELipc_APPLY_CHANNEL_ID) s.channelID = r.word_at(kBbChannel);
        if (mask & QELipc_APPLY_GREYSCALE)
            for (int i = 0; i < 2; ++i) s.greyscale[i] = r.real_at(kBbGreyscale + 4 * i);
        if (mask & QELipc_APPLY_VOLUME_OF_INTEREST)
            for (int i = 0; i < 3; ++i) {
                s.voiOrigin[i] = r.word_at(kBbVoiOrigin + 4 * i);
                s.voiSize[i] = r.word_at(kBbVoiSize + 4 * i);
            }
        if (mask & QELipc_APPLY_VIEW_PARAMETERS) {
            for (int i = 0; i < 12; ++i) s.view[i] = r.real_at(kBbView + 4 * i);
            s.distance = r.real_at(kBbDistance);
            s.viewAngle = r.real_at(kBbAngle);
        }
        break;
    }
    case QELipc_REQUEST_TYPE_QUERY_INT3: {
        // The answer travels in the block of the acceptance, written before its codes.
        QelIpcParameterBlock answer{};
        for (int i = 0; i < 3; ++i) answer.word[i] = s.int3[i];
        store_bytes(mbp_ + kMbBlock, &answer, sizeof answer);
        return;
    }
    // The data-board requests are served by serve_data.
    default: return;
    }
    publish_state();
}

// Caller holds the lock.
void Host::publish_state() {
    const HostState& s = state_;
    for (int i = 0; i < 4; ++i) store_word(bbp_ + kBbMatrix + 4 * i, s.volumeMatrix[i]);
    for (int i = 0; i < 3; ++i) {
        store_float(bbp_, kBbCursor + 4 * i, s.cursor[i]);
        store_word(bbp_ + kBbVoiOrigin + 4 * i, s.voiOrigin[i]);
        store_word(bbp_ + kBbVoiSize + 4 * i, s.voiSize[i]);
    }
    store_float(bbp_, kBbGreyscale, s.greyscale[0]);
    store_float(bbp_, kBbGreyscale + 4, s.greyscale[1]);
    store_word(bbp_ + kBbChannel, s.channelID);
    for (int i = 0; i < 12; ++i) store_float(bbp_, kBbView + 4 * i, s.view[i]);
    store_float(bbp_, kBbDistance, s.distance);
    store_float(bbp_, kBbAngle, s.viewAngle);
}

// Caller holds the lock. The ID goes up before the state word, so a client that sees
// "connected" reads the right ID.
void Host::publish_connection() {
    if (connected_) {
        char id[kBbClientIdChars] = {};
        std::memcpy(id, client_.data(), std::min(client_.size(), sizeof id));
        store_bytes(bbp_ + kBbClientId, id, sizeof id);
        store_word(bbp_ + kBbState, QELipc_SERVER_STATE_CONNECTED);
    } else {
        store_word(bbp_ + kBbState, QELipc_SERVER_STATE_FREE);
    }
}

int unique_server_id() {
    static std::atomic<int> next{0};
    // pid_max is at most 2^22, so 256 IDs per process stay within int and never meet
    // another live process's.
    return static_cast<int>((getpid() & 0x3FFFFF) * 256 + (next++ & 0xFF));
}

int run_plugin(const std::string& program, int serverID, const char* argument, int timeoutMs,
               std::string* output, const volatile std::sig_atomic_t* cancel) {
    char id[16];
    std::snprintf(id, sizeof id, "%d", serverID);
    std::string path = program;
    char* argv[] = {path.data(), id, const_cast<char*>(argument), nullptr};

    int fd = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) {
        char name[] = "/tmp/qel-plugin-XXXXXX";
        fd = mkstemp(name);
        if (fd >= 0) {
            unlink(name);
            posix_spawn_file_actions_adddup2(&actions, fd, 1);
            posix_spawn_file_actions_adddup2(&actions, fd, 2);
        }
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid;
    int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }

    int status = 0;
    bool done = false;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            done = true;
            break;
        }
        if ((w < 0 && errno != EINTR) || Clock::now() > deadline || (cancel && *cancel)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!done) {
        // Not yet reaped, so the group is still the plug-in's own.
        kill(-pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (fd >= 0) {
        output->clear();
        char buffer[4096];
        ssize_t n;
        off_t at = 0;
        while ((n = pread(fd, buffer, sizeof buffer, at)) > 0) {
            output->append(buffer, static_cast<size_t>(n));
            at += n;
        }
        close(fd);
    }
    if (!done) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace qel::testhost
