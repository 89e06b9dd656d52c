// Every reply of the service and every record file Dravik keeps goes through decodeRecord. The
// first byte picks the record (see kDecoders), the rest is the JSON body.

#include "FuzzCheck.h"
#include "common/RecordCoding.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace dravik;

namespace {

template <typename Record> void decode(std::string_view body) {
    auto record = decodeRecord<Record>(body);
    FUZZ_CHECK(record.hasValue() || !record.error().empty());
}

// The two records Dravik writes itself must read back as they were written.
template <typename Record>
void roundTrip(std::string_view body, bool (*same)(const Record&, const Record&)) {
    auto record = decodeRecord<Record>(body);
    if (!record)
        return;
    auto again = decodeRecord<Record>(encodeRecord(*record));
    FUZZ_CHECK(again.hasValue());
    FUZZ_CHECK(same(*record, *again));
}

bool sameUpdatedAt(const QZ_UPDATED_AT& a, const QZ_UPDATED_AT& b) {
    return a.updated_at == b.updated_at;
}

bool sameUser(const QZ_USER& a, const QZ_USER& b) {
    return a.invitecode == b.invitecode && a.email == b.email;
}

struct Decoder {
    char tag;
    void (*decode)(std::string_view body);
};

const Decoder kDecoders[] = {
    {'a', decode<QZ_AUTH>},
    {'e', decode<QZ_EXHIBITION>},
    {'i', decode<QZ_HALLINFO>},
    {'m', decode<QZ_MAIL>},
    {'c', decode<QZ_CODE>},
    {'r', decode<QZ_ERROR_RESPONSE>},
    {'o', decode<QZ_ERROR>},
    {'v', decode<QZ_VERSION>},
    {'h', decode<QZ_HALL>},
    {'b', decode<QZ_BOOTHS>},
    {'s', decode<QZ_FILES>},
    {'f', decode<QZ_FILE>},
    {'t', decode<QZ_UPDATED_ATS>},
    {'u',
     [](std::string_view body) {
         roundTrip<QZ_UPDATED_AT>(body, sameUpdatedAt);
     }},
    {'p',
     [](std::string_view body) {
         roundTrip<QZ_USER>(body, sameUser);
     }},
};
constexpr size_t kDecoderCount = sizeof(kDecoders) / sizeof(kDecoders[0]);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Decoder* chosen = &kDecoders[data[0] % kDecoderCount];
    for (const Decoder& decoder : kDecoders)
        if (decoder.tag == static_cast<char>(data[0]))
            chosen = &decoder;
    chosen->decode(body);
    return 0;
}
