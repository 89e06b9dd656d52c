// Exhibition/FPSControllerParameter.json is written by the viewer too. The reader decodes it
// strictly; the writer patches the parsed document and writes it back, so whatever it parsed
// must come out again unchanged.

#include "FuzzCheck.h"
#include "common/JsonText.h"
#include "parameters/ParameterFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace dravik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    auto record = ParameterFile::decode(bytes);
    FUZZ_CHECK(record.hasValue() || !record.error().empty());

    auto document = parseOrderedJson(bytes);
    if (!document)
        return 0;
    auto pretty = parseOrderedJson(prettyJson(*document));
    FUZZ_CHECK(pretty.hasValue());
    FUZZ_CHECK(*pretty == *document);
    auto compact = parseOrderedJson(compactJson(*document));
    FUZZ_CHECK(compact.hasValue());
    FUZZ_CHECK(*compact == *document);
    return 0;
}
