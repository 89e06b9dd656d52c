#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct x509_store_st X509_STORE;

namespace dravik {

// The certificate authorities a connection trusts: the system's, as OpenSSL and libcurl find them
// on this system, and the build's extra authority besides them, never instead of them. Every
// source is read on its own, and a damaged certificate in it costs only itself.
class TrustStore {
public:
    // Certificates in PEM text, named for the diagnostics by the file they came from.
    struct Pem {
        std::string name;
        std::string text;
    };

    // Where the system keeps its authorities: bundle files and hashed folders (c_rehash style).
    struct SystemSources {
        std::vector<std::string> files;
        std::vector<std::string> folders;

        // OpenSSL's default file and folder and the bundle file and folder libcurl was built with,
        // each once.
        static SystemSources current();
    };

    // What building the store has to say: damaged blocks go to standard output; an empty system
    // set goes to standard output and to the run log as well.
    using Report = std::function<void(const std::string& text)>;

    // Reads every source now.
    static TrustStore build(const SystemSources& system, const std::optional<Pem>& extra,
                            const Report& runLog);
    // The certificates of the text that OpenSSL reads, as PEM text; the others are left out with
    // one diagnostic naming the source.
    static std::string readableCertificates(const Pem& pem);
    // The file's text, named by the file; none (with a diagnostic) when it cannot be read.
    static std::optional<Pem> readFile(const std::string& path);

    TrustStore(TrustStore&&) noexcept;
    TrustStore& operator=(TrustStore&&) noexcept;
    ~TrustStore();

    // Null only when OpenSSL could not make a store.
    X509_STORE* store() const { return m_store.get(); }
    // Whether the system's sources gave at least one authority.
    bool hasSystemAuthorities() const { return m_systemAuthorities; }

private:
    struct StoreDeleter {
        void operator()(X509_STORE* store) const;
    };

    TrustStore() = default;

    std::unique_ptr<X509_STORE, StoreDeleter> m_store;
    bool m_systemAuthorities = false;
};

} // namespace dravik
