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

// A pointer to an object that holds a Lifetime, for work that reaches the object later: get() is
// null once the object is gone. Copy it on any thread; call get() and use the object on the
// thread the object lives and dies on (the main thread for a view).
template <typename T> class Guarded {
public:
    Guarded(T* object, const Lifetime& lifetime) : m_object(object), m_token(lifetime.token()) {}

    T* get() const { return m_token.expired() ? nullptr : m_object; }

private:
    T* m_object;
    std::weak_ptr<const void> m_token;
};

} // namespace dravik
