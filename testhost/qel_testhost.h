// A host for tests and examples: it creates the broadcast, message and request boards of a
// server ID, publishes its state on BB, serves the plug-in's requests on a thread of its
// own and logs every request it takes. A request re-posted while the client waits for its
// acceptance is logged once; so is the same request sent again while its acceptance is still
// shown, which the client takes as its answer. Its state is set and read by the test.
//
// It holds a volume with a host ID per channel, data-object groups by ID and a rendered
// image, fills data boards from them and reads the clients' data boards into them.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ipc/qel_ipc.h"
#include "ipc/qel_shm.hpp"

namespace qel::testhost {

// What the host publishes on BB, and what it answers to the voxel-size and int3 queries.
struct HostState {
    int volumeMatrix[4] = {0, 0, 0, 0};
    float cursor[3] = {0, 0, 0};
    int voiOrigin[3] = {0, 0, 0};
    int voiSize[3] = {1, 1, 1};
    float greyscale[2] = {0, 0};  // lower, upper
    int channelID = 0;
    float view[12] = {};          // position, u, v, w
    float distance = 0;
    float viewAngle = 0;
    float voxelSize = 1;
    int int3[3] = {0, 0, 0};      // the three integers that request 601 is answered with
};

// One request as the host took it from RB.
struct Request {
    int code = 0;
    std::string clientID;
    QelIpcParameterBlock block{};

    int32_t word(int i) const { return block.word[i]; }
    float real(int i) const;
    // A 32-bit word or a 16-bit field at a byte offset of the block.
    int32_t word_at(int offset) const;
    float real_at(int offset) const;
    uint16_t half_at(int offset) const;
};

// Owners of the records that the host hands out.
struct RecordDeleter {
    void operator()(QelRawVolumeData* v) const { QEL_DeleteRawVolumeData(v); }
    void operator()(QelRawImageData* i) const { QEL_DeleteRawImageData(i); }
    void operator()(QelDataObjectGroup* g) const { QEL_DeleteDataObjectGroup(g); }
};
using VolumePtr = std::unique_ptr<QelRawVolumeData, RecordDeleter>;
using ImagePtr = std::unique_ptr<QelRawImageData, RecordDeleter>;

// A data-object group as the host holds it: the payload of the last board read into it,
// byte for byte (empty while nothing was sent), and that payload unpacked (NULL while empty
// or when the unpacker refused it).
struct HostGroup {
    std::vector<unsigned char> payload;
    std::shared_ptr<QelDataObjectGroup> record;
    int updates = 0;  // boards read into it
};

// Misbehaviour on demand, for the clients' failure paths.
struct Faults {
    // Requests of these codes are logged once and then left unanswered (no acceptance, no
    // action, no message) until answer_held().
    std::vector<int> held;
    // Requests of these codes are served (and accepted), but the message that should follow
    // them (55, 66 or 77) never comes.
    std::vector<int> silent;
    // The host's next data board holds exactly these bytes instead of its payload.
    std::optional<std::vector<unsigned char>> dataBoard;
};

class Host {
public:
    // Creates the boards of serverID (0 picks one that no other live process uses) and
    // starts serving. NULL when a board cannot be created.
    static std::unique_ptr<Host> start(int serverID = 0);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Stops serving and removes every board of its server ID: its own three and a data
    // board that a plug-in left behind. Called by the destructor.
    void stop();

    int server_id() const { return id_; }

    HostState state() const;
    void set_state(const HostState& state);  // published on BB at once

    bool connected() const;
    std::string connected_client() const;
    // Publishes a connection of another client (or a free server) as if it had connected.
    void set_connection(bool connected, const std::string& clientID);
    bool locked() const;

    // The volume (copied) and the host ID of each of its channels; without IDs the channels
    // are numbered from 1. The volume matrix follows the volume, and the current channel
    // becomes the first one unless its ID is among the new ones.
    void set_volume(const QelRawVolumeData* volume, const std::vector<int>& channelIDs = {});
    VolumePtr volume() const;  // a copy; NULL when the host holds none
    std::vector<int> channel_ids() const;
    // A fixed rendered image (copied). Without one, or after set_image(NULL), rendering
    // projects the current channel (maximum along z, grey as packed RGBA).
    void set_image(const QelRawImageData* image);
    ImagePtr image() const;  // a copy; NULL when nothing was rendered yet
    int renders() const;
    std::map<int, HostGroup> groups() const;
    // Clients' data boards that were missing or refused by the unpacker.
    int unread_boards() const;

    void set_faults(const Faults& faults);
    // Answers the request held last (see Faults::held) and stops holding its code.
    void answer_held();

    std::vector<Request> log() const;
    std::vector<int> codes() const;
    // Waits at most timeoutMs until count requests are logged; false if they were not.
    bool wait_for_requests(size_t count, int timeoutMs) const;
    void clear_log();

private:
    Host() = default;
    void serve();
    bool poll();
    bool take_request(Request* r);
    bool is_repost(const Request& r) const;
    bool next_post(int32_t* code, QelIpcParameterBlock* block);
    bool is_left_over(const Request& r, bool fresh);
    void handle(const Request& r, bool fresh);
    enum class Late { No, Repost, Stale };
    Late late_repost(const Request& r);
    void respond(const Request& r);
    void apply(const Request& r);
    void post_pending();

    // Data boards (testhost/qel_testhost_data.cpp); callers hold the lock.
    struct Message {
        int code;
        QelIpcParameterBlock block;
    };
    std::optional<Message> serve_data(const Request& r);
    template <class Size, class Pack>
    void fill_board(Size size, Pack pack);
    template <class Read>
    bool read_board(Read read);
    void close_board();
    void take_volume(QelRawVolumeData* volume);
    int channel_index(int channelID) const;
    void render();
    void delete_data();
    void publish_state();
    void publish_connection();
    bool acceptance_shown(int code) const;

    int id_ = 0;
    QelBoard* bb_ = nullptr;
    QelBoard* mb_ = nullptr;
    QelBoard* rb_ = nullptr;
    unsigned char* bbp_ = nullptr;
    unsigned char* mbp_ = nullptr;
    unsigned char* rbp_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable logged_;
    HostState state_;
    bool connected_ = false;
    std::string client_;
    bool locked_ = false;
    std::vector<Request> log_;
    std::optional<Request> last_;  // the request served last, to recognise its re-posts
    std::chrono::steady_clock::time_point last_empty_;  // when RB was last seen empty

    QelRawVolumeData* volume_ = nullptr;
    std::vector<int> ids_;
    QelRawImageData* image_ = nullptr;
    bool imageFixed_ = false;
    int renders_ = 0;
    std::map<int, HostGroup> groups_;
    int nextGroup_ = 1;
    int unread_ = 0;
    QelBoard* db_ = nullptr;  // the host's own data board, kept until request 233
    Faults faults_;
    std::optional<Request> held_;
    // The message that completes an accepted request, posted once the client has stopped
    // re-posting (it must see the acceptance first), and whether it went out.
    std::optional<Message> pending_;
    std::optional<Message> completed_;
    // The client's data board read last, to tell a late re-post from the same request sent
    // anew with a new board.
    std::optional<qel::ipc::BoardIdentity> boardRead_;
};

// A server ID that no other live process picks: derived from the process ID.
int unique_server_id();

// Starts program as the host starts plug-ins (program, server ID, optional argument), in a
// process group of its own, and waits at most timeoutMs for it; the group is killed at the
// end. With output, stdout and stderr of the program are collected there. Returns the exit
// code, 128 + the signal that ended it, or -1 when it could not start or ran out of time.
// A set *cancel ends the wait early, like a time-out.
int run_plugin(const std::string& program, int serverID, const char* argument, int timeoutMs,
               std::string* output, const volatile std::sig_atomic_t* cancel = nullptr);

}  // namespace qel::testhost
