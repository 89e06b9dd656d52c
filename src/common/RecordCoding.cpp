#include "common/RecordCoding.h"

#include "common/JsonText.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace dravik {

namespace {

using Json = nlohmann::json;

// Where a value lies in the document. Spelled out only when a failure names it: a hall lists
// thousands of members.
struct MemberPath {
    const MemberPath* parent = nullptr;
    const char* name = nullptr; // the member's name; null for an array element
    size_t index = 0;

    bool isRoot() const { return parent == nullptr; }
    std::string text() const {
        if (isRoot())
            return {};
        std::string above = parent->text();
        if (name == nullptr)
            return above + "[" + std::to_string(index) + "]";
        return above.empty() ? std::string(name) : above + "." + name;
    }
};

// Collects the first failure with the path of the member that caused it.
struct Decoder {
    std::string error;

    bool failAt(const MemberPath& path, const std::string& reason) {
        error = path.isRoot() ? "not a JSON object: " + reason : path.text() + ": " + reason;
        return false;
    }
};

// Every reader is declared first so the templates below see all overloads.
bool read(Decoder& d, Json& value, const MemberPath& path, int64_t& out);
bool read(Decoder& d, Json& value, const MemberPath& path, bool& out);
bool read(Decoder& d, Json& value, const MemberPath& path, std::string& out);
template <typename T>
bool read(Decoder& d, Json& value, const MemberPath& path, std::vector<T>& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_AUTH& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_EXHIBITION& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_HALLINFO& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_MAIL& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_CODE& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_ERROR_RESPONSE& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_ERROR& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_VERSION& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_HALL& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_BOOTHS& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_FILES& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_FILE& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_UPDATED_ATS& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_UPDATED_AT& out);
bool read(Decoder& d, Json& value, const MemberPath& path, QZ_USER& out);

template <typename T>
bool required(Decoder& d, Json& object, const MemberPath& path, const char* name, T& out) {
    MemberPath at{&path, name};
    auto it = object.find(name);
    if (it == object.end())
        return d.failAt(at, "required member is missing");
    if (it->is_null())
        return d.failAt(at, "required member is null");
    return read(d, *it, at, out);
}

template <typename T>
bool optional(Decoder& d, Json& object, const MemberPath& path, const char* name,
              std::optional<T>& out) {
    out.reset();
    auto it = object.find(name);
    if (it == object.end() || it->is_null())
        return true;
    T value{};
    if (!read(d, *it, MemberPath{&path, name}, value))
        return false;
    out = std::move(value);
    return true;
}

bool expectObject(Decoder& d, Json& value, const MemberPath& path) {
    if (value.is_object())
        return true;
    return d.failAt(path,
                    path.isRoot() ? "the body is " + jsonTypeName(value) : "expected an object");
}

bool read(Decoder& d, Json& value, const MemberPath& path, int64_t& out) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (value.is_number_unsigned()) {
        auto number = value.get<uint64_t>();
        if (number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            return d.failAt(path, "integer out of the 64-bit range");
        out = static_cast<int64_t>(number);
        return true;
    }
    if (value.is_number_integer()) {
        out = value.get<int64_t>();
        return true;
    }
    if (value.is_number_float()) {
        double number = value.get<double>();
        if (std::trunc(number) != number)
            return d.failAt(path, "expected an integer");
        // -2^63 itself is refused too: as a float it may be a rounded, smaller integer.
        if (!(number > -kLimit && number < kLimit))
            return d.failAt(path, "integer out of the 64-bit range");
        out = static_cast<int64_t>(number);
        return true;
    }
    return d.failAt(path, "expected an integer");
}

bool read(Decoder& d, Json& value, const MemberPath& path, bool& out) {
    if (!value.is_boolean())
        return d.failAt(path, "expected a boolean");
    out = value.get<bool>();
    return true;
}

bool read(Decoder& d, Json& value, const MemberPath& path, std::string& out) {
    if (!value.is_string())
        return d.failAt(path, "expected a string");
    // The document is the decoder's own: its strings move into the record.
    out = std::move(value.get_ref<std::string&>());
    return true;
}

template <typename T>
bool read(Decoder& d, Json& value, const MemberPath& path, std::vector<T>& out) {
    if (!value.is_array())
        return d.failAt(path, "expected an array");
    out.clear();
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        T element{};
        if (!read(d, value[i], MemberPath{&path, nullptr, i}, element))
            return false;
        out.push_back(std::move(element));
    }
    return true;
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_AUTH& out) {
    return expectObject(d, v, p) && required(d, v, p, "exhibitions", out.exhibitions) &&
           required(d, v, p, "token", out.token);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_EXHIBITION& out) {
    return expectObject(d, v, p) && required(d, v, p, "id", out.id) &&
           required(d, v, p, "name", out.name) &&
           required(d, v, p, "start_datetime", out.start_datetime) &&
           required(d, v, p, "end_datetime", out.end_datetime) &&
           optional(d, v, p, "halls", out.halls);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_HALLINFO& out) {
    return expectObject(d, v, p) && required(d, v, p, "id", out.id) &&
           required(d, v, p, "name", out.name);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_MAIL& out) {
    return expectObject(d, v, p) && required(d, v, p, "result", out.result);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_CODE& out) {
    return expectObject(d, v, p) && required(d, v, p, "result", out.result) &&
           required(d, v, p, "errorMessage", out.errorMessage) &&
           required(d, v, p, "errorCode", out.errorCode) &&
           optional(d, v, p, "exhibition_id", out.exhibition_id) &&
           optional(d, v, p, "hall_id", out.hall_id);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_ERROR_RESPONSE& out) {
    return expectObject(d, v, p) && required(d, v, p, "error", out.error);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_ERROR& out) {
    return expectObject(d, v, p) && required(d, v, p, "code", out.code) &&
           required(d, v, p, "message", out.message);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_VERSION& out) {
    return expectObject(d, v, p) && optional(d, v, p, "file_url", out.file_url) &&
           optional(d, v, p, "entry_url", out.entry_url) &&
           optional(d, v, p, "help_url", out.help_url) &&
           required(d, v, p, "version", out.version) &&
           optional(d, v, p, "delete_files", out.delete_files) &&
           optional(d, v, p, "delete_folders", out.delete_folders) &&
           optional(d, v, p, "copy_files", out.copy_files) &&
           optional(d, v, p, "copy_folders", out.copy_folders);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_HALL& out) {
    return expectObject(d, v, p) && required(d, v, p, "id", out.id) &&
           required(d, v, p, "name", out.name) && required(d, v, p, "updated_at", out.updated_at) &&
           required(d, v, p, "booths", out.booths) && required(d, v, p, "files", out.files) &&
           required(d, v, p, "hallSize", out.hallSize);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_BOOTHS& out) {
    return expectObject(d, v, p) && required(d, v, p, "files", out.files) &&
           required(d, v, p, "updated_ats", out.updated_ats);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_FILES& out) {
    return expectObject(d, v, p) && required(d, v, p, "id", out.id) &&
           required(d, v, p, "files", out.files);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_FILE& out) {
    return expectObject(d, v, p) && required(d, v, p, "fileName", out.fileName) &&
           required(d, v, p, "uri", out.uri);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_UPDATED_ATS& out) {
    return expectObject(d, v, p) && required(d, v, p, "id", out.id) &&
           required(d, v, p, "updated_at", out.updated_at);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_UPDATED_AT& out) {
    return expectObject(d, v, p) && required(d, v, p, "updated_at", out.updated_at);
}

bool read(Decoder& d, Json& v, const MemberPath& p, QZ_USER& out) {
    return expectObject(d, v, p) && required(d, v, p, "invitecode", out.invitecode) &&
           required(d, v, p, "email", out.email);
}

template <typename Record> Expected<Record> decode(std::string_view bytes) {
    auto json = parseJson(bytes);
    if (!json)
        return fail(json.error());
    Decoder decoder;
    Record record{};
    if (!read(decoder, *json, MemberPath{}, record))
        return fail(decoder.error);
    return record;
}

} // namespace

#define DRAVIK_DECODE_RECORD(Record)                                                               \
    template <> Expected<Record> decodeRecord<Record>(std::string_view bytes) {                    \
        return decode<Record>(bytes);                                                              \
    }

DRAVIK_DECODE_RECORD(QZ_AUTH)
DRAVIK_DECODE_RECORD(QZ_EXHIBITION)
DRAVIK_DECODE_RECORD(QZ_HALLINFO)
DRAVIK_DECODE_RECORD(QZ_MAIL)
DRAVIK_DECODE_RECORD(QZ_CODE)
DRAVIK_DECODE_RECORD(QZ_ERROR_RESPONSE)
DRAVIK_DECODE_RECORD(QZ_ERROR)
DRAVIK_DECODE_RECORD(QZ_VERSION)
DRAVIK_DECODE_RECORD(QZ_HALL)
DRAVIK_DECODE_RECORD(QZ_BOOTHS)
DRAVIK_DECODE_RECORD(QZ_FILES)
DRAVIK_DECODE_RECORD(QZ_FILE)
DRAVIK_DECODE_RECORD(QZ_UPDATED_ATS)
DRAVIK_DECODE_RECORD(QZ_UPDATED_AT)
DRAVIK_DECODE_RECORD(QZ_USER)

#undef DRAVIK_DECODE_RECORD

std::string encodeRecord(const QZ_UPDATED_AT& record) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["updated_at"] = record.updated_at;
    return compactJson(object);
}

std::string encodeRecord(const QZ_USER& record) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["invitecode"] = record.invitecode;
    object["email"] = record.email;
    return compactJson(object);
}

} // namespace dravik
