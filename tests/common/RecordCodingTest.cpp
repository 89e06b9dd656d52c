#include "common/RecordCoding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dravik {
namespace {

using ::testing::StartsWith;

// error empty: the body decodes; otherwise the description starts with it.
struct Case {
    std::string body;
    std::string error;
};

template <typename Record> void expectDecoding(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        auto record = decodeRecord<Record>(c.body);
        if (c.error.empty()) {
            EXPECT_TRUE(record.hasValue()) << record.error();
        } else {
            ASSERT_FALSE(record.hasValue());
            EXPECT_THAT(record.error(), StartsWith(c.error));
        }
    }
}

TEST(RecordCodingTest, BodiesThatAreNotJsonObjectsFail) {
    expectDecoding<QZ_MAIL>({
        {"", "not JSON: "},
        {"{\"result\": true", "not JSON: "},
        {"<html>502 Bad Gateway</html>", "not JSON: "},
        {"{\"result\": \"\xff\"}", "not JSON: "},
        {"[{\"result\": true}]", "not a JSON object: the body is an array"},
        {"null", "not a JSON object: the body is null"},
        {"{\"result\": true}", ""},
        {" \n{\"result\": false}\n", ""},
    });
}

TEST(RecordCodingTest, ParseErrorsDoNotQuoteTheBody) {
    auto record = decodeRecord<QZ_AUTH>("{\"token\": \"secret-token-value");
    ASSERT_FALSE(record.hasValue());
    EXPECT_EQ(record.error().find("secret"), std::string::npos) << record.error();
}

TEST(RecordCodingTest, IntegersMustBeIntegralAndFit64Bits) {
    struct IntegerCase {
        std::string number;
        std::optional<int64_t> value; // none: fails with error
        std::string error;
    };
    const std::vector<IntegerCase> cases = {
        {"0", 0, ""},
        {"-0", 0, ""},
        {"42", 42, ""},
        {"-5", -5, ""},
        {"3.0", 3, ""},
        {"1e3", 1000, ""},
        {"9223372036854775807", INT64_MAX, ""},
        {"-9223372036854775808", INT64_MIN, ""},
        {"9223372036854775808", std::nullopt, "id: integer out of the 64-bit range"},
        {"18446744073709551616", std::nullopt, "id: integer out of the 64-bit range"},
        {"-9223372036854775809", std::nullopt, "id: integer out of the 64-bit range"},
        {"1e30", std::nullopt, "id: integer out of the 64-bit range"},
        {"1e400", std::nullopt, "not JSON: "},
        {"3.5", std::nullopt, "id: expected an integer"},
        {"\"3\"", std::nullopt, "id: expected an integer"},
        {"true", std::nullopt, "id: expected an integer"},
        {"null", std::nullopt, "id: required member is null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        auto hall = decodeRecord<QZ_HALLINFO>("{\"id\": " + c.number + ", \"name\": \"H\"}");
        if (c.value) {
            ASSERT_TRUE(hall.hasValue()) << hall.error();
            EXPECT_EQ(hall->id, *c.value);
        } else {
            ASSERT_FALSE(hall.hasValue());
            EXPECT_THAT(hall.error(), StartsWith(c.error));
        }
    }
}

TEST(RecordCodingTest, RequiredBooleansAndStrings) {
    expectDecoding<QZ_MAIL>({
        {R"({"result": false})", ""},
        {R"({"result": 1})", "result: expected a boolean"},
        {R"({"result": "true"})", "result: expected a boolean"},
        {R"({"Result": true})", "result: required member is missing"},
        {R"({})", "result: required member is missing"},
    });
    expectDecoding<QZ_ERROR_RESPONSE>({
        {R"({"error": {"code": "AUTH", "message": "bad"}})", ""},
        {R"({"error": {"code": 401, "message": "bad"}})", "error.code: expected a string"},
        {R"({"error": {"code": "AUTH"}})", "error.message: required member is missing"},
        {R"({"error": "AUTH"})", "error: expected an object"},
        {R"({"error": null})", "error: required member is null"},
    });
}

TEST(RecordCodingTest, SignInReply) {
    auto auth = decodeRecord<QZ_AUTH>(R"({"token": "t0k", "extra": [1, 2],
        "exhibitions": [
          {"id": 7, "name": "Spring", "start_datetime": "2024-04-01 10:00:00",
           "end_datetime": "2024-04-30 18:00:00", "halls": [{"id": 3, "name": "A"}]},
          {"id": 8, "name": "Summer", "start_datetime": "s", "end_datetime": "e"},
          {"id": 9, "name": "Autumn", "start_datetime": "s", "end_datetime": "e", "halls": null}]})");
    ASSERT_TRUE(auth.hasValue()) << auth.error();
    EXPECT_EQ(auth->token, "t0k");
    ASSERT_EQ(auth->exhibitions.size(), 3u);
    EXPECT_EQ(auth->exhibitions[0].end_datetime, "2024-04-30 18:00:00");
    ASSERT_TRUE(auth->exhibitions[0].halls.has_value());
    EXPECT_EQ(auth->exhibitions[0].halls->at(0).name, "A");
    EXPECT_FALSE(auth->exhibitions[1].halls.has_value());
    EXPECT_FALSE(auth->exhibitions[2].halls.has_value());

    const std::string exhibition =
        R"({"id": 1, "name": "E", "start_datetime": "s", "end_datetime": "e")";
    expectDecoding<QZ_AUTH>({
        {R"({"exhibitions": []})", "token: required member is missing"},
        {R"({"exhibitions": [], "token": null})", "token: required member is null"},
        {R"({"exhibitions": {}, "token": "t"})", "exhibitions: expected an array"},
        {R"({"exhibitions": [1], "token": "t"})", "exhibitions[0]: expected an object"},
        {R"({"token": "t", "exhibitions": [)" + exhibition + "}, " + exhibition +
             R"(, "halls": [{"id": 1, "name": "a"}, {"id": "2", "name": "b"}]}]})",
         "exhibitions[1].halls[1].id: expected an integer"},
        {R"({"token": "t", "exhibitions": [)" + exhibition + R"(, "halls": {}}]})",
         "exhibitions[0].halls: expected an array"},
        {R"({"token": "t", "exhibitions": [{"id": 1, "name": "E", "start_datetime": "s"}]})",
         "exhibitions[0].end_datetime: required member is missing"},
    });
}

TEST(RecordCodingTest, InvitationReply) {
    auto accepted =
        decodeRecord<QZ_CODE>(R"({"result": true, "errorMessage": "", "errorCode": 0})");
    ASSERT_TRUE(accepted.hasValue()) << accepted.error();
    EXPECT_TRUE(accepted->result);
    EXPECT_FALSE(accepted->exhibition_id.has_value());
    EXPECT_FALSE(accepted->hall_id.has_value());

    auto withIds = decodeRecord<QZ_CODE>(
        R"({"result": true, "errorMessage": "", "errorCode": 0, "exhibition_id": 12, "hall_id": null})");
    ASSERT_TRUE(withIds.hasValue()) << withIds.error();
    EXPECT_EQ(withIds->exhibition_id, std::optional<int64_t>(12));
    EXPECT_FALSE(withIds->hall_id.has_value());

    expectDecoding<QZ_CODE>({
        {R"({"result": true, "errorCode": 0})", "errorMessage: required member is missing"},
        {R"({"result": false, "errorMessage": "x", "errorCode": "1400"})",
         "errorCode: expected an integer"},
        {R"({"result": true, "errorMessage": "", "errorCode": 0, "hall_id": "5"})",
         "hall_id: expected an integer"},
        {R"({"result": true, "errorMessage": "", "errorCode": 0, "exhibition_id": 1.5})",
         "exhibition_id: expected an integer"},
    });
}

TEST(RecordCodingTest, VersionRecord) {
    auto minimal = decodeRecord<QZ_VERSION>(R"({"version": "1.2.3"})");
    ASSERT_TRUE(minimal.hasValue()) << minimal.error();
    EXPECT_EQ(minimal->version, "1.2.3");
    EXPECT_FALSE(minimal->file_url || minimal->entry_url || minimal->help_url ||
                 minimal->delete_files || minimal->delete_folders || minimal->copy_files ||
                 minimal->copy_folders);

    auto full = decodeRecord<QZ_VERSION>(
        R"({"version": "2.0", "file_url": "https://h/r/a.zip", "help_url": null,
            "delete_files": ["a", "b"], "copy_folders": []})");
    ASSERT_TRUE(full.hasValue()) << full.error();
    EXPECT_EQ(full->file_url, std::optional<std::string>("https://h/r/a.zip"));
    EXPECT_FALSE(full->help_url.has_value());
    EXPECT_EQ(full->delete_files, std::optional(std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(full->copy_folders, std::optional(std::vector<std::string>{}));

    expectDecoding<QZ_VERSION>({
        {R"({"file_url": "u"})", "version: required member is missing"},
        {R"({"version": 1})", "version: expected a string"},
        {R"({"version": "1", "delete_files": "a"})", "delete_files: expected an array"},
        {R"({"version": "1", "copy_files": ["a", null]})", "copy_files[1]: expected a string"},
        {R"({"version": "1", "entry_url": false})", "entry_url: expected a string"},
    });
}

TEST(RecordCodingTest, HallReply) {
    auto hall = decodeRecord<QZ_HALL>(R"({"id": 5, "name": "H", "updated_at": "u1", "hallSize": 3,
        "files": [],
        "booths": {"files": [{"id": 10, "files": [{"fileName": "a.png", "uri": "https://h/a"}]}],
                   "updated_ats": [{"id": 10, "updated_at": "b1"}]}})");
    ASSERT_TRUE(hall.hasValue()) << hall.error();
    EXPECT_EQ(hall->hallSize, 3);
    EXPECT_TRUE(hall->files.empty());
    ASSERT_EQ(hall->booths.files.size(), 1u);
    EXPECT_EQ(hall->booths.files[0].files[0].uri, "https://h/a");
    EXPECT_EQ(hall->booths.updated_ats[0].updated_at, "b1");

    auto body = [](const std::string& booths, const std::string& files = "[]",
                   const std::string& size = "1") {
        return R"({"id": 5, "name": "H", "updated_at": "u", "hallSize": )" + size +
               R"(, "files": )" + files + R"(, "booths": )" + booths + "}";
    };
    expectDecoding<QZ_HALL>({
        {body("[]"), "booths: expected an object"},
        {body(R"({"files": []})"), "booths.updated_ats: required member is missing"},
        {body(R"({"files": [], "updated_ats": [{"id": 1, "updated_at": "a"},
                   {"id": 2, "updated_at": "b"}, {"id": "3", "updated_at": "c"}]})"),
         "booths.updated_ats[2].id: expected an integer"},
        {body(R"({"updated_ats": [], "files": [{"id": 1, "files": [{"fileName": "a"}]}]})"),
         "booths.files[0].files[0].uri: required member is missing"},
        {body(R"({"files": [], "updated_ats": []})", R"([{"filename": "a", "uri": "u"}])"),
         "files[0].fileName: required member is missing"},
        {body(R"({"files": [], "updated_ats": []})", "null"), "files: required member is null"},
        {body(R"({"files": [], "updated_ats": []})", "[]", "3.5"), "hallSize: expected an integer"},
    });
}

TEST(RecordCodingTest, LocalRecordsRoundTrip) {
    auto stamp = decodeRecord<QZ_UPDATED_AT>(R"({"updated_at": ""})");
    ASSERT_TRUE(stamp.hasValue());
    EXPECT_EQ(stamp->updated_at, "");
    EXPECT_EQ(encodeRecord(QZ_UPDATED_AT{"2024-05-01 10:00:00"}),
              R"({"updated_at":"2024-05-01 10:00:00"})");

    auto user = decodeRecord<QZ_USER>(
        R"({"LobbyDisplay": true, "email": "a@b.jp", "invitecode": "1234-5678-9012"})");
    ASSERT_TRUE(user.hasValue()) << user.error();
    EXPECT_EQ(user->invitecode, "1234-5678-9012");
    expectDecoding<QZ_USER>({{R"({"invitecode": "1"})", "email: required member is missing"}});

    const std::vector<std::pair<QZ_USER, std::string>> encodings = {
        {{"123456789012", "a+b@c.jp"}, R"({"invitecode":"123456789012","email":"a+b@c.jp"})"},
        {{"", ""}, R"({"invitecode":"","email":""})"},
        {{"q\"uote", "back\\slash\n"}, R"({"invitecode":"q\"uote","email":"back\\slash\n"})"},
        {{"招待", "メール@例.jp"}, "{\"invitecode\":\"招待\",\"email\":\"メール@例.jp\"}"},
        {{"bad\xff", "x"}, "{\"invitecode\":\"bad\xEF\xBF\xBD\",\"email\":\"x\"}"},
    };
    for (const auto& [record, text] : encodings) {
        EXPECT_EQ(encodeRecord(record), text);
        auto back = decodeRecord<QZ_USER>(encodeRecord(record));
        ASSERT_TRUE(back.hasValue()) << back.error();
        EXPECT_EQ(back->email, record.email);
    }
}

} // namespace
} // namespace dravik
