// SPDX-License-Identifier: MIT
// The exporter's HTTP server, on libmicrohttpd: one thread watches every connection, so a client
// that connects and sends nothing, or trickles its headers, holds a descriptor and never a
// thread; a request whose headers are in is answered on a worker thread (a probe waits for its
// meter there, holding only its own connection). Bounds on everything a client can hold (see
// HttpLimits). A connection is kept for the client's next request, as Prometheus keeps it from
// one scrape to the next, so that a scrape over TLS costs no handshake; between requests it
// counts as waiting for headers.
#pragma once

#include "exporter/header_watch.hpp"
#include "exporter/request_workers.hpp"
#include "exporter/target_policy.hpp"
#include "exporter/web_config.hpp"

#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct MHD_Connection;
struct MHD_Daemon;

namespace kexp {

struct HttpLimits {
    unsigned connections = 256;         // open at once, from all clients
    unsigned per_client = 64;           // open at once from one address
    unsigned idle_timeout_s = 2;        // silence on a connection before it is closed
    unsigned header_time_s = 5;         // from accept to the end of the headers, at any pace
    std::size_t request_bytes = 16384;  // request line and headers; beyond: 431
};

// One request as a handler sees it, taken from its connection before the handler runs.
class HttpRequest {
public:
    HttpRequest(MHD_Connection* connection, std::string method, std::string path,
                std::string version);
    const std::string& method() const { return method_; }
    const std::string& path() const { return path_; }
    const QueryParams& params() const { return params_; }
    // The header's value, nothing when absent (names compare without case).
    std::optional<std::string> header(const char* name) const;
    // The client's address, without port.
    const std::string& remote_address() const { return remote_address_; }
    // The basic auth user and password the request carries; null when it carries none.
    const std::string* user() const { return user_ ? &*user_ : nullptr; }
    const std::string* password() const { return password_ ? &*password_ : nullptr; }
    // Whether the request announced a body, which is never read.
    bool has_body() const { return has_body_; }
    // Over TLS: whether the client showed a certificate, and whether it verified against the
    // client CA.
    enum class ClientCert { NONE, VERIFIED, NOT_VERIFIED };
    ClientCert client_cert() const { return client_cert_; }
    // True once the client has left: nobody awaits the answer. A client that closed only its
    // sending side after the request (a half-close) still awaits it; an HTTP/1.1 client is told
    // from one that left by an interim answer, which only one that left resets the connection
    // on. An HTTP/1.0 client, or one over TLS, that closes its side is taken to have left.
    bool client_gone() const;

private:
    std::string method_, path_;
    QueryParams params_;
    std::map<std::string, std::string> headers_;  // names in lower case
    std::string remote_address_;
    std::optional<std::string> user_, password_;
    ClientCert client_cert_ = ClientCert::NONE;
    bool http_1_1_ = false;
    bool over_tls_ = false;
    bool has_body_ = false;              // never read: the connection closes after the answer
    int socket_ = -1;                    // open while the request is answered
    mutable std::atomic<bool> asked_{};  // the interim answer went out
};

struct HttpAnswer {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;  // a 401 asks for basic auth
};

class HttpServer {
public:
    using Handler = std::function<HttpAnswer(const HttpRequest&)>;
    // Runs on the worker before the handler: an answer to give instead (401, 403), or nothing.
    using Gate = std::function<std::optional<HttpAnswer>(const HttpRequest&)>;

    HttpServer(HttpLimits limits, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Starts serving on HOST:PORT (port 0: the kernel picks one), over TLS with `tls`, and
    // returns the bound port; -1 when the address cannot be listened on.
    int start(const std::string& host, int port, const std::optional<TlsSettings>& tls = {});
    void set_gate(Gate gate) { gate_ = std::move(gate); }
    // Serves the listening socket over TLS with `tls` from the next connection on; the
    // connections open keep theirs until their requests are answered. False, with the former
    // settings kept, when libmicrohttpd takes no listener with them. Throws std::runtime_error
    // when it listens no more.
    bool replace_tls(const TlsSettings& tls);
    // The TLS settings new connections get; nothing over plain HTTP.
    std::optional<TlsSettings> tls() const;
    // Stops serving, after the requests being answered are done.
    void stop();

private:
    friend struct RequestDispatch;
    struct Listener;

    // A daemon on `socket`, or bound to `address` when the socket is invalid; null when
    // libmicrohttpd refuses.
    std::unique_ptr<Listener> launch(int socket, const sockaddr* address,
                                     const std::optional<TlsSettings>& tls);
    // Once the listener's requests are answered, stops its daemon.
    void retire(Listener& listener);

    HttpLimits limits_;
    Handler handler_;
    Gate gate_;
    unsigned flags_ = 0;  // libmicrohttpd's, for every daemon on the socket
    RequestWorkers workers_;
    std::unique_ptr<HeaderWatch> header_watch_;
    mutable std::mutex listener_mutex_;  // the listener is replaced or stopped
    std::unique_ptr<Listener> listener_;
};

}  // namespace kexp
