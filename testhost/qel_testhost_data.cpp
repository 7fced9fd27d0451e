// The test host's data: its volume, groups and rendered image, the data boards it fills for
// clients and the clients' data boards it reads. Whatever a client's board holds is read
// with the bounded unpackers, and only as far as the board really reaches.
#include <algorithm>
#include <cstring>

#include "ipc/qel_board_formats.h"
#include "ipc/qel_board_group.h"
#include "ipc/qel_ipc_client.hpp"
#include "ipc/qel_ipc_layout.hpp"
#include "testhost/qel_testhost.h"
#include "testhost/qel_testhost_volume.h"

namespace qel::testhost {
namespace {

using namespace qel::ipc;

void data_board_name(char* name, int id) { format_board_name(name, kBoardNameSize, kDataStem, id); }

}  // namespace

void Host::set_volume(const QelRawVolumeData* volume, const std::vector<int>& channelIDs) {
    QelRawVolumeData* copy = volume ? QEL_CopyRawVolumeData(volume) : nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    QEL_DeleteRawVolumeData(volume_);
    volume_ = nullptr;
    ids_.clear();
    if (copy) {
        int n = copy->size->nChannels;
        for (int c = 0; c < n; ++c)
            ids_.push_back(c < static_cast<int>(channelIDs.size()) ? channelIDs[c] : c + 1);
    }
    take_volume(copy);
}

VolumePtr Host::volume() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return VolumePtr(volume_ ? QEL_CopyRawVolumeData(volume_) : nullptr);
}

std::vector<int> Host::channel_ids() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ids_;
}

void Host::set_image(const QelRawImageData* image) {
    QelRawImageData* copy = image ? QEL_CopyRawImageData(image) : nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    QEL_DeleteRawImageData(image_);
    image_ = copy;
    imageFixed_ = copy != nullptr;
}

ImagePtr Host::image() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ImagePtr(image_ ? QEL_CopyRawImageData(image_) : nullptr);
}

int Host::renders() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return renders_;
}

std::map<int, HostGroup> Host::groups() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return groups_;
}

int Host::unread_boards() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unread_;
}

void Host::set_faults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
    // A request no longer held is forgotten, not answered: its client has given up on it.
    if (held_ && std::find(faults_.held.begin(), faults_.held.end(), held_->code) == faults_.held.end())
        held_.reset();
}

void Host::answer_held() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!held_) return;
    auto& held = faults_.held;
    held.erase(std::remove(held.begin(), held.end(), held_->code), held.end());
    Request r = *held_;
    held_.reset();
    respond(r);
}

// Caller holds the lock. Takes ownership of volume (NULL: no volume); the IDs are set.
void Host::take_volume(QelRawVolumeData* volume) {
    if (volume != volume_) QEL_DeleteRawVolumeData(volume_);
    volume_ = volume;
    HostState& s = state_;
    if (volume_) {
        const QelSize4i* size = volume_->size;
        s.volumeMatrix[0] = size->nx;
        s.volumeMatrix[1] = size->ny;
        s.volumeMatrix[2] = size->nz;
        s.volumeMatrix[3] = size->nChannels;
        if (!ids_.empty() && channel_index(s.channelID) < 0) s.channelID = ids_[0];
    } else {
        std::fill(std::begin(s.volumeMatrix), std::end(s.volumeMatrix), 0);
    }
    publish_state();
}

// Caller holds the lock. -1 when no channel has that ID.
int Host::channel_index(int channelID) const {
    if (!volume_) return -1;
    auto it = std::find(ids_.begin(), ids_.end(), channelID);
    return it == ids_.end() ? -1 : static_cast<int>(it - ids_.begin());
}

// Caller holds the lock.
void Host::render() {
    if (imageFixed_) return;
    QelRawImageData* image = new_projection(volume_, channel_index(state_.channelID));
    if (!image) return;  // nothing to show: the last picture stays
    QEL_DeleteRawImageData(image_);
    image_ = image;
}

// Caller holds the lock. Replaces the host's data board by one of exactly the payload's size;
// no board when there is nothing to send. The client then finds none and fails its download.
template <class Size, class Pack>
void Host::fill_board(Size size, Pack pack) {
    close_board();
    char name[kBoardNameSize];
    data_board_name(name, id_);
    if (faults_.dataBoard) {
        std::vector<unsigned char> bytes = std::move(*faults_.dataBoard);
        faults_.dataBoard.reset();
        db_ = QELipc_CreateBoard(name, static_cast<unsigned>(bytes.size()));
        void* base = QELipc_MapBoard(db_);
        if (base) store_bytes(base, bytes.data(), bytes.size());
        QELipc_UnmapBoard(base);
        return;
    }
    int bytes = size();
    if (bytes <= 0) return;
    db_ = QELipc_CreateBoard(name, static_cast<unsigned>(bytes));
    void* base = QELipc_MapBoard(db_);
    if (!base || pack(base) != 0) close_board();
    QELipc_UnmapBoard(base);
}

// Caller holds the lock. Opens the client's data board and hands what it holds to read.
template <class Read>
bool Host::read_board(Read read) {
    char name[kBoardNameSize];
    data_board_name(name, id_);
    QelBoard* board = QELipc_OpenBoard(name);
    boardRead_.reset();
    BoardIdentity identity;
    if (board_identity(board, &identity)) boardRead_ = identity;
    size_t size = 0;
    void* base = board ? map_board(board, &size) : nullptr;
    bool ok = base && read(static_cast<const unsigned char*>(base), size);
    QELipc_UnmapBoard(base);
    QELipc_CloseBoard(board);
    if (!ok) ++unread_;
    return ok;
}

// Caller holds the lock.
void Host::close_board() {
    QELipc_CloseBoard(db_);
    db_ = nullptr;
}

void Host::delete_data() {
    std::lock_guard<std::mutex> lock(mutex_);
    QEL_DeleteRawVolumeData(volume_);
    QEL_DeleteRawImageData(image_);
    volume_ = nullptr;
    image_ = nullptr;
    groups_.clear();
}

// Caller holds the lock. Serves the data-board requests; returns the message that completes
// the request, if one does.
std::optional<Host::Message> Host::serve_data(const Request& r) {
    Message m{};
    HostState& s = state_;
    switch (r.code) {
    case QELipc_REQUEST_TYPE_UPLOAD_RAW_VOLUMEDATA:
        fill_board([&] { return volume_ ? QELipc_SizeOfRawVolumeData(volume_) : 0; },
                   [&](void* b) { return QELipc_PackRawVolumeData(volume_, b); });
        // The export program learns the voxel size from this message.
        set_block_float(m.block, 0, s.voxelSize);
        break;
    case QELipc_REQUEST_TYPE_UPLOAD_CURRENT_CHANNEL:
    case QELipc_REQUEST_TYPE_UPLOAD_SINGLE_CHANNEL: {
        int id = r.code == QELipc_REQUEST_TYPE_UPLOAD_CURRENT_CHANNEL ? s.channelID : r.word(0);
        int index = channel_index(id);
        fill_board([&] { return index < 0 ? 0 : QELipc_SizeOfSingleChannel(volume_, index); },
                   [&](void* b) { return QELipc_PackSingleChannel(volume_, index, b); });
        m.block.word[0] = index < 0 ? -1 : id;
        break;
    }
    case QELipc_REQUEST_TYPE_UPLOAD_3D_IMAGE:
        if (!image_) render();
        fill_board([&] { return image_ ? QELipc_SizeOfRawImageData(image_) : 0; },
                   [&](void* b) { return QELipc_PackRawImageData(image_, b); });
        break;
    case QELipc_REQUEST_TYPE_CLOSE_DATABOARD: close_board(); return std::nullopt;
    case QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA:
        read_board([&](const unsigned char* b, size_t size) {
            QelRawVolumeData* v = QELipc_UnpackRawVolumeData(b, size);
            if (!v) return false;
            // Channels keep their IDs by index; new ones get IDs beyond every ID in use.
            int next = ids_.empty() ? 1 : *std::max_element(ids_.begin(), ids_.end()) + 1;
            size_t kept = ids_.size(), n = static_cast<size_t>(v->size->nChannels);
            ids_.resize(n);
            for (size_t c = kept; c < n; ++c) ids_[c] = next++;
            take_volume(v);
            return true;
        });
        break;
    case QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA:
    case QELipc_REQUEST_TYPE_DOWNLOAD_LOCKED_VOLUMEDATA: {
        // The locked transfer names no channel: it replaces the current one.
        int id = r.code == QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA ? r.word(0) : s.channelID;
        int index = channel_index(id);
        read_board([&](const unsigned char* b, size_t size) {
            return index >= 0 && QELipc_UnpackSingleChannelInto(volume_, index, b, size) == 0;
        });
        break;
    }
    case QELipc_REQUEST_TYPE_RENDER_3D_IMAGE:
        ++renders_;
        render();
        return std::nullopt;
    case QELipc_REQUEST_TYPE_CREATE_DATA_OBJECT_GROUP: {
        int id = nextGroup_++;
        groups_[id] = HostGroup{};
        m.block.word[0] = id;
        m.code = QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED;
        return m;
    }
    case QELipc_REQUEST_TYPE_DOWNLOAD_DATA_OBJECT_GROUP: {
        auto it = groups_.find(r.word(0));
        read_board([&](const unsigned char* b, size_t size) {
            if (it == groups_.end()) return false;
            HostGroup& g = it->second;
            g.payload.assign(b, b + size);
            ++g.updates;
            // Unpacked from the copy: the board is the client's and may change under us.
            g.record.reset(QELipc_UnpackDataObjectGroup(g.payload.data(), g.payload.size()),
                           RecordDeleter());
            return g.record != nullptr;
        });
        break;
    }
    case QELipc_REQUEST_TYPE_DELETE_DATA_OBJECT_GROUP: groups_.erase(r.word(0)); return std::nullopt;
    default: return std::nullopt;
    }
    m.code = r.code == QELipc_REQUEST_TYPE_UPLOAD_RAW_VOLUMEDATA ||
                     r.code == QELipc_REQUEST_TYPE_UPLOAD_CURRENT_CHANNEL ||
                     r.code == QELipc_REQUEST_TYPE_UPLOAD_SINGLE_CHANNEL ||
                     r.code == QELipc_REQUEST_TYPE_UPLOAD_3D_IMAGE
                 ? QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED
                 : QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED;
    return m;
}

}  // namespace qel::testhost
