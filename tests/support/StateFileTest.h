#pragma once

// Shared by the tests of the JSON state files in Exhibition/: a launcher context over a temporary
// folder and the path of the file under test.

#include "support/Fakes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace dravik::test {

class StateFileTest : public ::testing::Test {
protected:
    explicit StateFileTest(std::string name) : m_name(std::move(name)) {}
    std::string file() const { return t.exhibition(m_name); }

    TestLauncher t;

private:
    std::string m_name;
};

// The keys of a JSON object's text, in the order they stand there.
inline std::vector<std::string> keysInOrder(const std::string& text) {
    std::vector<std::string> keys;
    auto json = nlohmann::ordered_json::parse(text);
    for (const auto& item : json.items())
        keys.push_back(item.key());
    return keys;
}

} // namespace dravik::test
