#pragma once

// Strict decoding of the service records and encoding of the two records Dravik writes.
// Required members must be present, non-null and of their JSON type; optional members may be absent
// or null; integers must be integral and fit 64 bits. A failure's description names the member path
// and the reason, for example "booths.updated_ats[2].id: expected an integer".

#include "base/Expected.h"
#include "common/Records.h"

#include <string>
#include <string_view>

namespace dravik {

template <typename Record> Expected<Record> decodeRecord(std::string_view bytes);

template <> Expected<QZ_AUTH> decodeRecord<QZ_AUTH>(std::string_view bytes);
template <> Expected<QZ_EXHIBITION> decodeRecord<QZ_EXHIBITION>(std::string_view bytes);
template <> Expected<QZ_HALLINFO> decodeRecord<QZ_HALLINFO>(std::string_view bytes);
template <> Expected<QZ_MAIL> decodeRecord<QZ_MAIL>(std::string_view bytes);
template <> Expected<QZ_CODE> decodeRecord<QZ_CODE>(std::string_view bytes);
template <> Expected<QZ_ERROR_RESPONSE> decodeRecord<QZ_ERROR_RESPONSE>(std::string_view bytes);
template <> Expected<QZ_ERROR> decodeRecord<QZ_ERROR>(std::string_view bytes);
template <> Expected<QZ_VERSION> decodeRecord<QZ_VERSION>(std::string_view bytes);
template <> Expected<QZ_HALL> decodeRecord<QZ_HALL>(std::string_view bytes);
template <> Expected<QZ_BOOTHS> decodeRecord<QZ_BOOTHS>(std::string_view bytes);
template <> Expected<QZ_FILES> decodeRecord<QZ_FILES>(std::string_view bytes);
template <> Expected<QZ_FILE> decodeRecord<QZ_FILE>(std::string_view bytes);
template <> Expected<QZ_UPDATED_ATS> decodeRecord<QZ_UPDATED_ATS>(std::string_view bytes);
template <> Expected<QZ_UPDATED_AT> decodeRecord<QZ_UPDATED_AT>(std::string_view bytes);
template <> Expected<QZ_USER> decodeRecord<QZ_USER>(std::string_view bytes);

// Compact JSON objects with the members in their fixed order.
std::string encodeRecord(const QZ_UPDATED_AT& record);
std::string encodeRecord(const QZ_USER& record);

} // namespace dravik
