#pragma once

#include <memory>

namespace dravik {

// Held by an object that hands out work which reports back to it later (a transfer, posted work):
// the work keeps token() and, on the owner's thread, reaches the owner only while the token has
// not expired. The token expires when the owner is destroyed.
class Lifetime {
public:
    Lifetime() = default;
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    std::weak_ptr<const void> token() const { return m_alive; }

private:
    std::shared_ptr<const void> m_alive = std::make_shared<char>();
};

} // namespace dravik
