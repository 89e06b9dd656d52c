#include "system/curl/TrustStore.h"

#include "common/Diagnostics.h"
#include "common/File.h"

#include <algorithm>
#include <cctype>
#include <curl/curl.h>
#include <dirent.h>
#include <filesystem>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <string_view>

namespace dravik {

namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";

struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, X509Deleter>;

// One "-----BEGIN <label>-----" ... "-----END <label>-----" block of a PEM text.
struct Block {
    std::string_view label;
    std::string_view text; // the whole block, both lines included
};

// The certificate blocks of a PEM text, in order; a block without its end line runs to the end
// of the text. Other blocks (keys, parameters) are not certificates and are passed over.
std::vector<Block> certificateBlocks(std::string_view pem) {
    std::vector<Block> blocks;
    size_t at = 0;
    while ((at = pem.find(kBegin, at)) != std::string_view::npos) {
        size_t labelStart = at + kBegin.size();
        size_t labelEnd = pem.find(kDashes, labelStart);
        if (labelEnd == std::string_view::npos)
            break;
        std::string_view label = pem.substr(labelStart, labelEnd - labelStart);
        std::string end = std::string(kEnd) + std::string(label) + std::string(kDashes);
        size_t endAt = pem.find(end, labelEnd);
        size_t blockEnd = endAt == std::string_view::npos ? pem.size() : endAt + end.size();
        if (label == "CERTIFICATE" || label == "TRUSTED CERTIFICATE" || label == "X509 CERTIFICATE")
            blocks.push_back({label, pem.substr(at, blockEnd - at)});
        at = blockEnd;
    }
    return blocks;
}

Certificate parseBlock(std::string_view block) {
    BIO* bio = BIO_new_mem_buf(block.data(), static_cast<int>(block.size()));
    if (bio == nullptr)
        return nullptr;
    // The AUX reader takes plain and trusted certificates alike.
    Certificate certificate(PEM_read_bio_X509_AUX(bio, nullptr, nullptr, nullptr));
    BIO_free(bio);
    return certificate;
}

void reportDamaged(const std::string& name, size_t damaged, size_t total) {
    if (damaged == 0)
        return;
    printDiagnostic("Certificate bundle " + name + ": " + std::to_string(damaged) + " of " +
                    std::to_string(total) + " certificates are damaged and are not trusted");
}

// Adds every readable certificate of the text; the number added.
size_t addCertificates(X509_STORE* store, const TrustStore::Pem& pem) {
    std::vector<Block> blocks = certificateBlocks(pem.text);
    size_t added = 0;
    for (const Block& block : blocks) {
        if (Certificate certificate = parseBlock(block.text)) {
            X509_STORE_add_cert(store, certificate.get());
            ++added;
        }
    }
    if (blocks.empty() && !pem.text.empty())
        printDiagnostic("Certificate bundle " + pem.name + ": no certificate in it");
    reportDamaged(pem.name, blocks.size() - added, blocks.size());
    return added;
}

// A name c_rehash gives: eight hexadecimal digits, a dot and a number.
bool isHashName(std::string_view name) {
    size_t dot = name.find('.');
    if (dot != 8 || dot + 1 >= name.size())
        return false;
    return std::all_of(name.begin(), name.begin() + 8,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }) &&
           std::all_of(name.begin() + 9, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether the folder holds at least one hashed certificate name. The folder itself is read by
// OpenSSL one certificate at a time when a connection needs it.
bool holdsHashedCertificates(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return false;
    while (dirent* entry = ::readdir(dir.get())) {
        if (isHashName(entry->d_name))
            return true;
    }
    return false;
}

std::string canonicalPath(const std::string& path) {
    std::error_code error;
    std::string canonical = std::filesystem::weakly_canonical(path, error).string();
    return error ? path : canonical;
}

// Adds the path unless it names a file already listed (through a link or not).
void addUnique(std::vector<std::string>& paths, const char* path) {
    if (path == nullptr || *path == '\0')
        return;
    std::string canonical = canonicalPath(path);
    for (const std::string& known : paths) {
        if (canonicalPath(known) == canonical)
            return;
    }
    paths.push_back(path);
}

} // namespace

void TrustStore::StoreDeleter::operator()(X509_STORE* store) const {
    X509_STORE_free(store);
}

TrustStore::TrustStore(TrustStore&&) noexcept = default;
TrustStore& TrustStore::operator=(TrustStore&&) noexcept = default;
TrustStore::~TrustStore() = default;

TrustStore::SystemSources TrustStore::SystemSources::current() {
    SystemSources sources;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info != nullptr) {
        addUnique(sources.files, info->cainfo);
        addUnique(sources.folders, info->capath);
    }
    addUnique(sources.files, X509_get_default_cert_file());
    addUnique(sources.folders, X509_get_default_cert_dir());
    return sources;
}

std::optional<TrustStore::Pem> TrustStore::readFile(const std::string& path) {
    Expected<std::string> text = File::readAll(path);
    if (!text) {
        printDiagnostic("Cannot read the certificate bundle " + path + ": " + text.error());
        return std::nullopt;
    }
    return Pem{path, std::move(*text)};
}

std::string TrustStore::readableCertificates(const Pem& pem) {
    std::vector<Block> blocks = certificateBlocks(pem.text);
    std::string readable;
    size_t kept = 0;
    for (const Block& block : blocks) {
        if (parseBlock(block.text)) {
            readable.append(block.text).push_back('\n');
            ++kept;
        }
    }
    reportDamaged(pem.name, blocks.size() - kept, blocks.size());
    return readable;
}

TrustStore TrustStore::build(const SystemSources& system, const std::optional<Pem>& extra,
                             const Report& runLog) {
    TrustStore trust;
    trust.m_store.reset(X509_STORE_new());
    X509_STORE* store = trust.m_store.get();
    if (store == nullptr)
        return trust;
    size_t systemCount = 0;
    for (const std::string& file : system.files) {
        Expected<std::string> text = File::readAll(file);
        if (text)
            systemCount += addCertificates(store, {file, std::move(*text)});
    }
    bool hashedFolder = false;
    for (const std::string& folder : system.folders) {
        if (!holdsHashedCertificates(folder))
            continue;
        X509_LOOKUP* lookup = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir());
        if (lookup != nullptr &&
            X509_LOOKUP_add_dir(lookup, folder.c_str(), X509_FILETYPE_PEM) == 1)
            hashedFolder = true;
    }
    trust.m_systemAuthorities = systemCount > 0 || hashedFolder;
    if (!trust.m_systemAuthorities) {
        std::string looked;
        for (const auto& source : {system.files, system.folders}) {
            for (const std::string& path : source)
                looked += (looked.empty() ? "" : ", ") + path;
        }
        std::string text = "No certificate authorities of the system were found (looked in: " +
                           (looked.empty() ? std::string("nothing") : looked) +
                           "); only the built-in authority is trusted";
        printDiagnostic(text);
        if (runLog)
            runLog(text);
    }
    if (extra)
        addCertificates(store, *extra);
    // As libcurl sets up its own stores: an intermediate certificate in a bundle is a trust
    // anchor of its own.
    X509_STORE_set_flags(store, X509_V_FLAG_PARTIAL_CHAIN);
    return trust;
}

} // namespace dravik
