// Data-object groups from a data board: the group unpacker and every member kind's own
// unpacker, each on any bytes. A group never comes back larger than its board, and what it
// packs to unpacks to the same bytes again; a member body that unpacks, read exactly as packed
// (a colour flag of 0 or 1), packs again to the very bytes it came from.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.hpp"
#include "ipc/qel_board_group.h"
#include "objects/qel_mesh.h"

namespace {

template <class T>
struct Kind {
    T* (*unpack)(const void*, size_t);
    int (*size)(const T*);
    int (*pack)(const T*, void*);
    void (*remove)(T*);
    bool flagged;  // the body starts with a has-colours byte
};

template <class T>
void member(const Kind<T>& k, const uint8_t* data, size_t size) {
    T* record = k.unpack(data, size);
    if (!record) return;
    if (!k.flagged || data[0] <= 1)
        fuzz::expect_packs_to_board(
            data, size, [&] { return k.size(record); }, [&](void* b) { return k.pack(record, b); },
            "member body packs to its board");
    k.remove(record);
}

std::vector<uint8_t> pack(const QelDataObjectGroup* g) {
    const int n = QELipc_SizeOfDataObjectGroup(g);
    fuzz::check(n >= 4, "an unpacked group can be sized");
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    fuzz::check(QELipc_PackDataObjectGroup(g, bytes.data()) == 0, "an unpacked group packs");
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (QelDataObjectGroup* g = QELipc_UnpackDataObjectGroup(data, size)) {
        const std::vector<uint8_t> once = pack(g);
        fuzz::check(once.size() <= size, "a group holds no more than its board");
        QelDataObjectGroup* back = QELipc_UnpackDataObjectGroup(once.data(), once.size());
        fuzz::check(back != nullptr && pack(back) == once, "a packed group unpacks to the same bytes");
        QEL_DeleteDataObjectGroup(back);
        QEL_DeleteDataObjectGroup(g);
    }
    member(Kind<QelSphere>{QELipc_UnpackSphere, QELipc_SizeOfSphere, QELipc_PackSphere, QEL_DeleteSphere, false},
           data, size);
    member(Kind<QelDataObject12>{QELipc_UnpackDataObject12, QELipc_SizeOfDataObject12, QELipc_PackDataObject12,
                                 QEL_DeleteDataObject12, false},
           data, size);
    member(Kind<QelCone>{QELipc_UnpackCone, QELipc_SizeOfCone, QELipc_PackCone, QEL_DeleteCone, false}, data, size);
    member(Kind<QelDataObject14>{QELipc_UnpackDataObject14, QELipc_SizeOfDataObject14, QELipc_PackDataObject14,
                                 QEL_DeleteDataObject14, false},
           data, size);
    member(Kind<QelDataObject16>{QELipc_UnpackDataObject16, QELipc_SizeOfDataObject16, QELipc_PackDataObject16,
                                 QEL_DeleteDataObject16, false},
           data, size);
    member(Kind<QelDataObject17>{QELipc_UnpackDataObject17, QELipc_SizeOfDataObject17, QELipc_PackDataObject17,
                                 QEL_DeleteDataObject17, false},
           data, size);
    member(Kind<QelDataObject18>{QELipc_UnpackDataObject18, QELipc_SizeOfDataObject18, QELipc_PackDataObject18,
                                 QEL_DeleteDataObject18, false},
           data, size);
    member(Kind<QelPointList>{QELipc_UnpackPointList, QELipc_SizeOfPointList, QELipc_PackPointList,
                              QEL_DeletePointList, false},
           data, size);
    member(Kind<QelPointPairList>{QELipc_UnpackPointPairList, QELipc_SizeOfPointPairList,
                                  QELipc_PackPointPairList, QEL_DeletePointPairList, false},
           data, size);
    member(Kind<QelPointSet>{QELipc_UnpackPointSet, QELipc_SizeOfPointSet, QELipc_PackPointSet, QEL_DeletePointSet,
                             true},
           data, size);
    member(Kind<QelValuedPointSet>{QELipc_UnpackValuedPointSet, QELipc_SizeOfValuedPointSet,
                                   QELipc_PackValuedPointSet, QEL_DeleteValuedPointSet, true},
           data, size);
    member(Kind<QelTriangularMesh>{QELipc_UnpackTriangularMesh, QELipc_SizeOfTriangularMesh,
                                   QELipc_PackTriangularMesh, QEL_DeleteTriangularMesh, true},
           data, size);
    // Kinds 15 and 22 never come back from a board.
    fuzz::check(!QELipc_UnpackDataObject15(data, size) && !QELipc_UnpackDataObject22(data, size),
                "kinds 15 and 22 stay off boards");
    return 0;
}
