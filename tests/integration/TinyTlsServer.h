#pragma once

// A few lines of HTTPS server for what the substitute service cannot show: how many connections
// a client opened, answers in HTTP/1.0, connections closed after a number of answers and bodies
// cut off in the middle. Every path answers bodySize bytes, "/cut" half of what it announces,
// "/slow" after a pause and "/trickle" one byte at a time with a pause before each; "/hangup"
// reads the request and closes the connection without an answer.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace dravik::test {

class TinyTlsServer {
public:
    struct Options {
        bool http10 = false;          // answer as HTTP/1.0 and close
        int answersPerConnection = 0; // close silently after this many answers; 0: never
        size_t bodySize = 10 * 1024;
        std::chrono::milliseconds slowPause{3000};
        std::chrono::milliseconds tricklePause{50};
    };

    TinyTlsServer(const std::string& certificate, const std::string& key, Options options)
        : m_options(options) {
        // Writing to a connection the client has closed must fail, not end the test program.
        signal(SIGPIPE, SIG_IGN);
        m_context = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(m_context, certificate.c_str());
        SSL_CTX_use_PrivateKey_file(m_context, key.c_str(), SSL_FILETYPE_PEM);
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 16);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { acceptConnections(); });
    }

    ~TinyTlsServer() {
        m_stopping = true;
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        m_acceptor.join();
        {
            std::lock_guard lock(m_mutex);
            for (int fd : m_open)
                shutdown(fd, SHUT_RDWR);
        }
        for (auto& thread : m_connections)
            thread.join();
        SSL_CTX_free(m_context);
    }

    std::string url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int connections() const { return m_accepted; }
    // How many requests for the path were read, whatever their method.
    int requestsFor(const std::string& path) const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count(m_paths.begin(), m_paths.end(), path));
    }

private:
    void acceptConnections() {
        for (;;) {
            int fd = accept(m_listener, nullptr, nullptr);
            if (fd < 0 || m_stopping) {
                if (fd >= 0)
                    close(fd);
                return;
            }
            ++m_accepted;
            std::lock_guard lock(m_mutex);
            m_open.push_back(fd);
            m_connections.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        SSL* ssl = SSL_new(m_context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            for (int answers = 0; !m_stopping; ++answers) {
                if (m_options.answersPerConnection > 0 && answers == m_options.answersPerConnection)
                    break;
                std::string path = readRequest(ssl);
                if (!path.empty()) {
                    std::lock_guard lock(m_mutex);
                    m_paths.push_back(path);
                }
                if (path.empty() || path == "/hangup" || !answer(ssl, path))
                    break;
            }
        }
        SSL_free(ssl);
        std::lock_guard lock(m_mutex);
        std::erase(m_open, fd);
        close(fd);
    }

    // The path of the next request, read with its body; empty when the connection ended.
    static std::string readRequest(SSL* ssl) {
        std::string head;
        char c;
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (SSL_read(ssl, &c, 1) != 1)
                return {};
            head.push_back(c);
        }
        const std::string length = "\r\nContent-Length: ";
        size_t at = head.find(length);
        for (size_t body = at == std::string::npos ? 0
                                                   : std::stoul(head.substr(at + length.size()));
             body > 0; --body) {
            if (SSL_read(ssl, &c, 1) != 1)
                return {};
        }
        size_t begin = head.find(' ') + 1;
        return head.substr(begin, head.find(' ', begin) - begin);
    }

    // False when the connection is to be closed.
    bool answer(SSL* ssl, const std::string& path) {
        if (path == "/slow")
            std::this_thread::sleep_for(m_options.slowPause);
        std::string body(m_options.bodySize, 'x');
        std::string head = std::string(m_options.http10 ? "HTTP/1.0" : "HTTP/1.1") +
                           " 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        bool cut = path == "/cut";
        if (cut)
            body.resize(body.size() / 2);
        if (path == "/trickle") {
            if (SSL_write(ssl, head.data(), static_cast<int>(head.size())) <= 0)
                return false;
            for (char byte : body) {
                std::this_thread::sleep_for(m_options.tricklePause);
                if (m_stopping || SSL_write(ssl, &byte, 1) <= 0)
                    return false;
            }
            return true;
        }
        std::string reply = head + body;
        if (SSL_write(ssl, reply.data(), static_cast<int>(reply.size())) <= 0)
            return false;
        return !cut && !m_options.http10;
    }

    Options m_options;
    SSL_CTX* m_context = nullptr;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_accepted{0};
    mutable std::mutex m_mutex;
    std::vector<int> m_open;
    std::vector<std::string> m_paths;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};

} // namespace dravik::test
